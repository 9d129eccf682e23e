// SPDX-License-Identifier: Apache-2.0
#include "core/write/sfm_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/common/copy_fork.h"
#include "core/common/shortfall.h"
#include "core/finder_info.h"
#include "core/write/safe_name.h"
#include "core/write/unique_name.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// AfpInfo layout; the words are little-endian.
constexpr std::size_t kSignatureAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kBackupTimeAt = 12;
constexpr std::size_t kFinderInfoAt = 16;
constexpr std::uint32_t kSignature = 0x00504641;  // "AFP\0"
// Windows, the Mac SMB client, Samba and netatalk write and check 0x00010000; a record with
// 0x00100000 is refused or ignored by them, which loses the type and creator.
constexpr std::uint32_t kVersion = 0x00010000;
constexpr std::uint32_t kBackupTimeNever = 0x80000000;

// A collision found only at creation (a file that appeared after the search) takes the next
// unique name; this bounds how often that may happen to one output.
constexpr int kCreateAttempts = 16;

void PutLittleEndian32(AfpInfo& record, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Keeps a long name within the buffer together with its stream suffix, extension preserved.
void FitName(std::string& name) {
    if (name.size() <= kMaxOutputNameChars) return;
    const std::string ext(NameExtension(name));
    if (ext.size() < kMaxOutputNameChars / 2)
        name = name.substr(0, kMaxOutputNameChars - ext.size()) + ext;
    else
        name.resize(kMaxOutputNameChars);
}

bool WriteStream(std::FILE* stream, const std::uint8_t* bytes, std::size_t count) {
    return std::fwrite(bytes, 1, count, stream) == count;
}

}  // namespace

AfpInfo MakeAfpInfo(const FinderInformation& finderInfo) {
    AfpInfo record{};
    PutLittleEndian32(record, kSignatureAt, kSignature);
    PutLittleEndian32(record, kVersionAt, kVersion);
    PutLittleEndian32(record, kBackupTimeAt, kBackupTimeNever);
    std::copy(finderInfo.begin(), finderInfo.end(), record.begin() + kFinderInfoAt);
    return record;
}

AfpInfo MakeAfpInfo(const TypeCreator& typeCreator) {
    FinderInformation info{};
    std::copy(typeCreator.begin(), typeCreator.end(), info.begin());
    // A bounded string copy: the first zero byte ends the type and creator alike.
    return MakeAfpInfo(TypeAndCreatorOnly(info));
}

namespace {

FinderInformation TypeCreatorInfo(const TypeCreator& typeCreator) {
    FinderInformation info{};
    std::copy(typeCreator.begin(), typeCreator.end(), info.begin());
    return TypeAndCreatorOnly(info);
}

}  // namespace

ImportResult DescribeSfmOutput(std::string& name, std::uint64_t dataBytes,
                               std::uint64_t resourceBytes, const FinderInformation& finderInfo,
                               ImportReport& report) {
    MakeSafeName(name);
    FitName(name);
    report.outputName = name;
    if (report.dryRun != DryRun::IntoNewFolder && FileNameExists(name) &&
        !MakeUniqueName(name, std::string(NameExtension(name)), kMaxOutputNameChars)) {
        report.detail = "every unique name for " + report.outputName + " is taken";
        return ImportResult::WriteFailed;
    }
    report.outputName = name;
    report.dataBytes = dataBytes;
    report.resourceBytes = resourceBytes;
    NoteFinderInfo(report, finderInfo);
    report.detail.clear();
    return ImportResult::Converted;
}

ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const TypeCreator& typeCreator, ImportReport* report) {
    return WriteSfmOutput(name, data, resource, TypeCreatorInfo(typeCreator), report);
}

ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const FinderInformation& finderInfo, ImportReport* report) {
    if (report && report->dryRun != DryRun::Off) {
        const std::uint64_t dataHeld = BytesAvailable(data);
        const std::uint64_t resourceHeld = BytesAvailable(resource);
        return WithShortfall(DescribeSfmOutput(name, dataHeld, resourceHeld, finderInfo, *report),
                             ForkShortfall(data, dataHeld, resource, resourceHeld), report);
    }
    ImportReport local;
    ImportReport& out = report ? *report : local;
    NoteFinderInfo(out, finderInfo);
    MakeSafeName(name);
    FitName(name);

    bool created = false;
    int slot = -1;  // the output stays registered for removal on an interrupt until complete
    auto failWith = [&](ImportResult result, std::string detail) {
        if (created &&
            !(slot >= 0 && platform::RemoveTrackedFile(slot, platform::OutputPath(name))))
            platform::RemoveFile(platform::OutputPath(name));
        out.outputName = name;
        out.detail = std::move(detail);
        out.dataBytes = out.resourceBytes = 0;
        return result;
    };
    auto fail = [&](std::string detail) {
        return failWith(ImportResult::WriteFailed, std::move(detail));
    };

    // An existing file or folder is never overwritten: a taken name gets a unique one, and
    // the data file is created exclusively so that a file appearing meanwhile is not replaced
    // either. A name the system answers as existing is taken even where a lookup does not
    // show it (the hidden system folders of an NTFS root, such as $Extend).
    std::FILE* dataFile = nullptr;
    bool taken = FileNameExists(name);
    for (int attempt = 0; attempt < kCreateAttempts && !dataFile; ++attempt) {
        if (taken && !MakeUniqueName(name, std::string(NameExtension(name)), kMaxOutputNameChars))
            return fail("every unique name for " + name + " is taken");
        platform::InterruptsHeld held;  // created and registered at once
        dataFile = platform::OpenStream(platform::OutputPath(name), "w+bx");
        if (dataFile) slot = platform::TrackTemporaryFile(platform::OutputPath(name));
        if (!dataFile) {
            const int error = errno;
            if (error != EEXIST && !FileNameExists(name)) {
                errno = error;
                return fail(SystemReason("cannot create " + platform::AnsiToNative(name)));
            }
        }
        taken = true;
    }
    if (!dataFile) return fail("no free name for " + platform::AnsiToNative(name));
    created = true;
    // The outputs are written beneath their streams, which stay unbuffered: a buffered
    // stream put back at the end of a fork reads the last block back first, and asks the
    // file's block size, each a request to the file system (FUSE's, for ntfs-3g).
    std::setvbuf(dataFile, nullptr, _IONBF, 0);
    platform::NoteCreatedInCurrentFolder(name);

    std::string detail;
    std::uint64_t dataCopied = 0;
    const CopyStatus dataStatus =
        CopyPlacedFork(data, dataFile, dataCopied, "the data fork", "the data fork", detail);
    if (dataStatus != CopyStatus::Done) {
        std::fclose(dataFile);
        return failWith(ResultOf(dataStatus), detail);
    }
    if (std::fclose(dataFile) != 0) return fail(SystemReason("cannot write the data fork"));

    // The streams are created exclusively, which makes a FUSE mount ask the file system
    // whether they exist: ntfs-3g's keeps a stream's name known as existing for a moment after
    // its file has gone, and would refuse the stream of a file made again by that name (a good
    // copy right after a damaged one was taken back, or a file converted again right after
    // its output was deleted). The data file was just made, so no stream of it can exist.
    std::uint64_t resourceCopied = 0;
    if (resource.length != 0) {
        std::FILE* stream =
            platform::OpenStream(platform::OutputPath(name, kResourceStream), "w+bx");
        if (!stream) return fail(SystemReason("cannot create the AFP_Resource stream"));
        std::setvbuf(stream, nullptr, _IONBF, 0);
        const CopyStatus status =
            CopyPlacedFork(resource, stream, resourceCopied, "the resource fork",
                           "the AFP_Resource stream", detail);
        if (std::fclose(stream) != 0 && status == CopyStatus::Done)
            return fail(SystemReason("cannot write the AFP_Resource stream"));
        if (status != CopyStatus::Done) return failWith(ResultOf(status), detail);
    }

    std::FILE* info = platform::OpenStream(platform::OutputPath(name, kAfpInfoStream), "w+bx");
    if (!info) return fail(SystemReason("cannot create the AFP_AfpInfo stream"));
    std::setvbuf(info, nullptr, _IONBF, 0);  // the record goes out in one write
    const AfpInfo record = MakeAfpInfo(finderInfo);
    const bool written = WriteStream(info, record.data(), record.size());
    if (std::fclose(info) != 0 || !written)
        return fail(SystemReason("cannot write the AFP_AfpInfo stream"));

    if (slot >= 0) platform::UntrackTemporaryFile(slot);
    out.outputName = name;
    out.dataBytes = dataCopied;
    out.resourceBytes = resourceCopied;
    out.detail.clear();
    return WithShortfall(ImportResult::Converted,
                         ForkShortfall(data, dataCopied, resource, resourceCopied), &out);
}

}  // namespace veskar
