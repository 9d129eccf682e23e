// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "core/common/c_stream.h"
#include "core/common/copy_fork.h"
#include "core/common/own_file.h"
#include "core/common/shortfall.h"
#include "core/finder_info.h"
#include "core/write/server_name.h"
#include "core/write/server_records.h"
#include "core/write/sfm_output.h"
#include "core/write/unique_name.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// The command line's copies, which these layouts are, move large chunks.
ForkPlace InLargeChunks(ForkPlace place) {
    place.chunk = kLargeCopySize;
    return place;
}

constexpr std::string_view kCompanionPrefix = "._";
// Linux keeps at most this many bytes in one attribute.
constexpr std::size_t kMaxAttributeValue = 65536;
constexpr const char* kAfpInfoAttribute = "DosStream.AFP_AfpInfo:$DATA";
constexpr const char* kResourceAttribute = "DosStream.AFP_Resource:$DATA";
// A collision found only at creation (a file that appeared after the search) takes the next
// unique name; this bounds how often that may happen to one output.
constexpr int kCreateAttempts = 16;

std::string Here(std::string_view name) {
    return "./" + std::string(name);
}

std::string CompanionOf(std::string_view name) {
    return std::string(kCompanionPrefix) + std::string(name);
}

bool Exists(std::string_view name) {
    return platform::FindNativeInCurrentFolder(std::string(name)) != platform::Found::Nothing;
}

// Taken when anything bears the name, or its "._" file's, in any letter case: a server that
// matches names regardless of case would otherwise pair the output with another's "._" file.
bool TakenWithCompanion(std::string_view name) {
    const std::array<std::string, 2> names{std::string(name), CompanionOf(name)};
    return platform::FindAnyNativeInCurrentFolder(names) != platform::Found::Nothing;
}

// Creates the file exclusively, registered for removal until it is kept. It is written
// beneath its stream, each piece at its own offset.
std::FILE* CreateOwned(OwnFile& owner, const std::string& name) {
    platform::InterruptsHeld held;
    std::FILE* file = platform::OpenStream(Here(name), "w+bx");
    if (file) owner.Adopt(Here(name));
    return file;
}

bool AllZero(const FinderInformation& info) {
    return std::all_of(info.begin(), info.end(), [](std::uint8_t b) { return b == 0; });
}

std::string FitsNoAttribute(std::uint64_t forkBytes, bool volumeLimit) {
    const std::string fork = "the resource fork (" + std::to_string(forkBytes) + " bytes)";
    const std::string instead = "; the fruit layout keeps it in a ._ file";
    if (!volumeLimit)
        return fork + " is larger than an extended attribute can be (64 KiB)" + instead;
    return fork +
           " does not fit in an extended attribute of this file system (ext4 keeps all of a "
           "file's attributes in one block of about 4 KiB unless made with ea_inode)" +
           instead;
}

}  // namespace

TargetNeeds ServerWriter::Needs() const {
    return layout_ == ServerLayout::AppleDouble ? TargetNeeds::Nothing
                                                : TargetNeeds::UserAttributes;
}

ImportResult ServerWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                 ImportReport* report) const {
    ImportReport local;
    ImportReport& out = report ? *report : local;
    const bool companion = layout_ != ServerLayout::StreamsXattr;
    const UniqueNameRules rules{kMaxServerNameBytes, companion ? TakenWithCompanion : Exists, true};
    const FinderInformation info = FinderInfoForAnotherMachine(file.finderInfo);
    std::string name = ServerName(file.name, sourcePath);
    out.nativeName = true;
    NoteFinderInfo(out, info);

    auto fail = [&](ImportResult result, std::string detail) {
        out.outputName = name;
        out.detail = std::move(detail);
        out.dataBytes = out.resourceBytes = 0;
        return result;
    };
    auto done = [&](std::uint64_t dataHeld, std::uint64_t resourceHeld) {
        out.outputName = name;
        out.dataBytes = dataHeld;
        out.resourceBytes = resourceHeld;
        out.detail.clear();
        const std::string shortfall =
            ForkShortfall(file.data, dataHeld, file.resource, resourceHeld);
        return WithShortfall(WithShortfall(ImportResult::Converted, shortfall, &out),
                             file.shortfall, &out);
    };
    auto takeUniqueName = [&] {
        return MakeUniqueName(name, std::string(NameExtension(name)), rules);
    };
    if (layout_ == ServerLayout::StreamsXattr && file.resource.length + 1 > kMaxAttributeValue)
        return fail(ImportResult::WriteFailed, FitsNoAttribute(file.resource.length, false));

    if (out.dryRun != DryRun::Off) {
        if (out.dryRun != DryRun::IntoNewFolder && rules.taken(name) && !takeUniqueName())
            return fail(ImportResult::WriteFailed, "every unique name for " + name + " is taken");
        return done(BytesAvailable(file.data), BytesAvailable(file.resource));
    }

    // Declared before the streams, so that a stream is closed before its file is removed.
    OwnFile dataOwner;
    OwnFile companionOwner;
    CStream data;
    bool taken = rules.taken(name);
    for (int attempt = 0; attempt < kCreateAttempts && !data; ++attempt) {
        if (taken && !takeUniqueName())
            return fail(ImportResult::WriteFailed, "every unique name for " + name + " is taken");
        data.reset(CreateOwned(dataOwner, name));
        if (!data) {
            const int error = errno;
            if (error != EEXIST && !rules.taken(name)) {
                errno = error;
                return fail(ImportResult::WriteFailed, SystemReason("cannot create " + name));
            }
        }
        taken = true;
    }
    if (!data) return fail(ImportResult::WriteFailed, "no free name for " + name);
    if (!companion) platform::NoteNativeCreatedInCurrentFolder(name);

    std::string detail;
    std::uint64_t dataCopied = 0;
    CopyStatus status =
        CopyForkTo(InLargeChunks(file.data), platform::RawOf(data.get()), 0, dataCopied);
    if (status != CopyStatus::Done)
        return fail(ResultOf(status), CopyFailure(status, "the data fork", "the data fork"));
    if (layout_ == ServerLayout::Fruit) {
        const NetatalkMetadata metadata = MakeNetatalkMetadata(info, std::time(nullptr));
        if (!platform::SetUserAttribute(platform::RawOf(data.get()), netatalk::kMetadataAttribute,
                                        metadata.data(), metadata.size()))
            return fail(ImportResult::WriteFailed,
                        SystemReason("cannot set the attribute user." +
                                     std::string(netatalk::kMetadataAttribute)));
    }
    if (!CloseWritten(data))
        return fail(ImportResult::WriteFailed, SystemReason("cannot write the data fork"));

    std::uint64_t resourceCopied = 0;
    if (companion) {
        const std::string companionName = CompanionOf(name);
        CStream appleDouble(CreateOwned(companionOwner, companionName));
        if (!appleDouble)
            return fail(ImportResult::WriteFailed, SystemReason("cannot create " + companionName));
        const std::array<std::string, 2> created{name, companionName};
        platform::NoteNativeCreatedInCurrentFolder(created);
        const platform::RawFile written = platform::RawOf(appleDouble.get());
        const AppleDoubleHeader header = MakeAppleDoubleHeader(info, file.resource.length);
        status = CopyForkTo(InLargeChunks(file.resource), written, header.size(), resourceCopied,
                            header);
        if (status != CopyStatus::Done)
            return fail(ResultOf(status), CopyFailure(status, "the resource fork", companionName));
        // A source that ended early: the entry says what the file holds.
        if (resourceCopied != file.resource.length) {
            const AppleDoubleHeader held =
                MakeAppleDoubleHeader(info, static_cast<std::uint32_t>(resourceCopied));
            if (!platform::RawWriteAllAt(written, 0, held.data(), held.size()))
                return fail(ImportResult::WriteFailed,
                            SystemReason("cannot write " + companionName));
        }
        if (!CloseWritten(appleDouble))
            return fail(ImportResult::WriteFailed, SystemReason("cannot write " + companionName));
    }

    if (layout_ == ServerLayout::StreamsXattr) {
        // Samba keeps a zero byte after each stream's bytes.
        std::vector<std::uint8_t> fork;
        status = ReadPlacedFork(file.resource, fork, "the resource fork", detail);
        if (status != CopyStatus::Done) return fail(ResultOf(status), detail);
        resourceCopied = fork.size();
        if (!fork.empty()) {
            fork.push_back(0);
            if (!platform::SetUserAttribute(Here(name), kResourceAttribute, fork.data(),
                                            fork.size())) {
                const bool tooLarge = errno == ENOSPC || errno == E2BIG || errno == ERANGE;
                return fail(ImportResult::WriteFailed,
                            tooLarge ? FitsNoAttribute(resourceCopied, true)
                                     : SystemReason("cannot set the attribute user." +
                                                    std::string(kResourceAttribute)));
            }
        }
        // Finder information that is all zero is none: Samba removes such a record.
        if (!AllZero(info)) {
            const AfpInfo record = MakeAfpInfo(info);
            std::vector<std::uint8_t> stored(record.begin(), record.end());
            stored.push_back(0);
            if (!platform::SetUserAttribute(Here(name), kAfpInfoAttribute, stored.data(),
                                            stored.size()))
                return fail(ImportResult::WriteFailed,
                            SystemReason("cannot set the attribute user." +
                                         std::string(kAfpInfoAttribute)));
        }
    }

    dataOwner.Keep();
    companionOwner.Keep();
    return done(dataCopied, resourceCopied);
}

}  // namespace veskar
