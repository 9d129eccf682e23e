// SPDX-License-Identifier: Apache-2.0
#include "core/write/sfm_output.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "core/common/name_extension.h"
#include "core/finder_info.h"
#include "core/write/safe_name.h"
#include "core/write/server_name.h"
#include "core/write/trial_names.h"
#include "core/write/unique_name.h"
#include "core/write/work_output.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// Keeps a long name within the buffer together with its stream suffix, extension preserved.
void FitName(std::string& name) {
    if (name.size() <= kMaxOutputNameChars) return;
    const std::string ext(NameExtension(name));
    if (ext.size() < kMaxOutputNameChars / 2)
        name = name.substr(0, kMaxOutputNameChars - ext.size()) + ext;
    else
        name.resize(kMaxOutputNameChars);
}

bool MakeUnique(std::string& name) {
    return MakeUniqueName(name, std::string(NameExtension(name)), kMaxOutputNameChars);
}

const OutputNaming& SfmNaming() {
    static const OutputNaming naming{
        .taken = [](const std::string& name) { return FileNameExists(name); },
        .makeUnique = MakeUnique,
        .native = [](const std::string& name) { return platform::AnsiToNative(name); },
    };
    return naming;
}

// Names as a Mac client stores them on NTFS, native (UTF-8 on Linux), NTFS's case rule.
bool TakenNative(std::string_view name) {
    return platform::FindNativeInCurrentFolder(std::string(name)) != platform::Found::Nothing;
}

// The command line's: codes people read ("Name.001"), counted for each name.
bool MakeUniqueNative(std::string& name) {
    return MakeReadableUniqueName(name, {kMaxOutputNameChars, TakenNative, true});
}

const OutputNaming& MacClientNaming() {
    static const OutputNaming naming{
        .taken = [](const std::string& name) { return TakenNative(name); },
        .makeUnique = MakeUniqueNative,
        .native = [](const std::string& name) { return name; },
    };
    return naming;
}

// The command line's codes for 8-bit names: "Name.001", counted for each name.
bool MakeUniqueReadable(std::string& name) {
    return MakeReadableUniqueName(name, {kMaxOutputNameChars, FileNameExists, false});
}

const OutputNaming& ReadableNaming() {
    static const OutputNaming naming{
        .taken = [](const std::string& name) { return FileNameExists(name); },
        .makeUnique = MakeUniqueReadable,
        .native = [](const std::string& name) { return platform::AnsiToNative(name); },
    };
    return naming;
}

const OutputNaming& NamingFor(bool macClientNames, bool readableCodes) {
    return macClientNames ? MacClientNaming() : readableCodes ? ReadableNaming() : SfmNaming();
}

// A name made fit for the target: code page 1252 made safe, or a Mac client's name cut to fit.
void PrepareName(std::string& name, bool macClientNames) {
    if (macClientNames) {
        FitStoredName(name, kMaxOutputNameChars);
        return;
    }
    MakeSafeName(name);
    FitName(name);
}

// One of the output's named streams, closed when it goes. Streams stay unbuffered: a
// buffered stream put back at the end of a fork reads the last block back first, and asks the
// file's block size, each a request to the file system (FUSE's, for ntfs-3g).
// NTFS takes stream names of 255 UTF-16 units; ntfs-3g's "file:stream" is one component of a
// Linux path, at most 255 bytes with the work file's name (a number) and the ':'.
constexpr std::size_t kMaxStreamNameUtf16 = 255;
constexpr std::size_t kMaxStreamNameBytes = 255 - 20 - 1;

class OutputStream {
  public:
    ~OutputStream() { Close(); }
    bool Create(const WorkOutput& output, std::string_view name, std::string& why) {
        stream_ = platform::CreateWorkStream(output.File(), name, why);
        if (stream_.stream) std::setvbuf(stream_.stream, nullptr, _IONBF, 0);
        return stream_.stream != nullptr;
    }
    std::FILE* get() const { return stream_.stream; }
    bool Close() { return platform::CloseWorkStream(stream_); }

  private:
    platform::WorkStream stream_;
};

FinderInformation TypeCreatorInfo(const TypeCreator& typeCreator) {
    FinderInformation info{};
    std::copy(typeCreator.begin(), typeCreator.end(), info.begin());
    return TypeAndCreatorOnly(info);
}

}  // namespace

ImportResult PlanSfmOutput(std::string& name, const FinderInformation& finderInfo,
                           bool intoEmptyFolder, ImportReport& report, bool macClientNames,
                           bool readableCodes) {
    PrepareName(name, macClientNames);
    const OutputNaming& naming = NamingFor(macClientNames, readableCodes);
    report.outputName = name;
    report.nativeName = macClientNames;
    const bool taken = (!intoEmptyFolder && naming.taken(name)) || trial_names::Taken(name);
    if (taken && !naming.makeUnique(name)) {
        report.detail = "every unique name for " + report.outputName + " is taken";
        return ImportResult::WriteFailed;
    }
    report.outputName = name;
    NoteFinderInfo(report, finderInfo);
    report.detail.clear();
    return ImportResult::Converted;
}

ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const TypeCreator& typeCreator, ImportReport* report) {
    return WriteSfmOutput(name, data, resource, TypeCreatorInfo(typeCreator), report);
}

ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const FinderInformation& finderInfo, ImportReport* report,
                            const SfmExtras& extras) {
    ImportReport local;
    ImportReport& out = report ? *report : local;
    NoteFinderInfo(out, finderInfo);
    PrepareName(name, extras.macClientNames);
    const OutputNaming& naming = NamingFor(extras.macClientNames, extras.readableCodes);
    out.nativeName = extras.macClientNames;

    // Held for this output when no run holds the current folder already.
    const platform::Holding holding;
    // The output is written whole in the work folder, then put in place. Its streams are made
    // on the very file made there, exclusively: ntfs-3g keeps a stream's name known as
    // existing for a moment after its file has gone, and an exclusive create makes it ask.
    WorkOutput output;
    OutputStream streams[2];
    auto fail = [&](ImportResult result, std::string detail) {
        for (OutputStream& stream : streams)
            stream.Close();
        output.Discard();
        if (!output.Leftover().empty()) detail += "; " + output.Leftover();
        out.outputName = name;
        out.detail = std::move(detail);
        out.dataBytes = out.resourceBytes = 0;
        return result;
    };

    std::string detail;
    if (!ChooseName(name, naming, detail) || !output.Create(detail))
        return fail(ImportResult::WriteFailed, detail);
    std::setvbuf(output.Stream(), nullptr, _IONBF, 0);
    std::uint64_t dataCopied = 0;
    const CopyStatus dataStatus =
        CopyPlacedFork(data, output.Stream(), dataCopied, "the data fork", "the data fork", detail);
    if (dataStatus != CopyStatus::Done) return fail(ResultOf(dataStatus), detail);

    std::uint64_t resourceCopied = 0;
    if (resource.length != 0) {
        OutputStream& stream = streams[0];
        if (!stream.Create(output, kResourceStream, detail))
            return fail(ImportResult::WriteFailed, detail);
        const CopyStatus status =
            CopyPlacedFork(resource, stream.get(), resourceCopied, "the resource fork",
                           "the AFP_Resource stream", detail);
        if (!stream.Close() && status == CopyStatus::Done)
            return fail(ImportResult::WriteFailed,
                        SystemReason("cannot write the AFP_Resource stream"));
        if (status != CopyStatus::Done) return fail(ResultOf(status), detail);
    }

    if (!extras.plain) {
        OutputStream& info = streams[1];
        if (!info.Create(output, kAfpInfoStream, detail))
            return fail(ImportResult::WriteFailed, detail);
        const AfpInfo record = MakeAfpInfo(finderInfo, extras.dates.backedUp);
        const bool written =
            std::fwrite(record.data(), 1, record.size(), info.get()) == record.size();
        if (!info.Close() || !written)
            return fail(ImportResult::WriteFailed,
                        SystemReason("cannot write the AFP_AfpInfo stream"));
    }

    if (extras.attributes)
        for (const ExtendedAttribute& attribute : *extras.attributes) {
            // A stream name cannot hold ':', nor what else Windows refuses: a Mac client stores
            // those in the private range, as Samba does.
            std::string why;
            const std::optional<std::string> stream =
                AttributeStreamName(attribute.name, kMaxStreamNameBytes, kMaxStreamNameUtf16, why);
            if (!stream) {
                out.warnings.push_back(std::move(why));
                continue;
            }
            OutputStream kept;
            if (!kept.Create(output, *stream, detail))
                return fail(ImportResult::WriteFailed,
                            detail + " (the extended attribute " + attribute.name + ")");
            const bool whole = attribute.value.empty() ||
                               std::fwrite(attribute.value.data(), 1, attribute.value.size(),
                                           kept.get()) == attribute.value.size();
            if (!kept.Close() || !whole)
                return fail(ImportResult::WriteFailed,
                            SystemReason("cannot write the stream of the extended attribute " +
                                         attribute.name));
        }
    // Last, so that no write of a stream moves the modification time on again.
    if (!platform::SetFileTimes(output.Raw(), extras.dates.modified, extras.dates.created))
        return fail(ImportResult::WriteFailed, SystemReason("cannot set the output's dates"));
    if (!output.Close())
        return fail(ImportResult::WriteFailed, SystemReason("cannot write the data fork"));

    WorkOutput* const files[] = {&output};
    const std::function<std::string(const std::string&)> asItIs[] = {
        [](const std::string& given) { return given; }};
    if (!PlaceOutput(files, asItIs, name, naming, detail))
        return fail(ImportResult::WriteFailed, detail);
    if (extras.macClientNames)
        platform::NoteNativeCreatedInCurrentFolder(name);
    else
        platform::NoteCreatedInCurrentFolder(name);

    out.outputName = name;
    out.dataBytes = dataCopied;
    out.resourceBytes = resourceCopied;
    out.detail.clear();
    return WithShortfall(ImportResult::Converted,
                         ForkShortfall(data, dataCopied, resource, resourceCopied), &out);
}

}  // namespace veskar
