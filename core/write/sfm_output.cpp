// SPDX-License-Identifier: Apache-2.0
#include "core/write/sfm_output.h"

#include <algorithm>
#include <cstdio>

#include "core/common/name_extension.h"
#include "core/finder_info.h"
#include "core/write/create_exclusive.h"
#include "core/write/safe_name.h"
#include "core/write/unique_name.h"
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
        .path = [](const std::string& name) { return platform::OutputPath(name); },
        .shown = [](const std::string& name) { return platform::AnsiToNative(name); },
    };
    return naming;
}

// Opens one of the output's named streams. They are created exclusively, which makes a FUSE
// mount ask the file system whether they exist: ntfs-3g's keeps a stream's name known as
// existing for a moment after its file has gone, and would refuse the stream of a file made
// again by that name (a good copy right after a damaged one was taken back, or a file
// converted again right after its output was deleted). The data file was just made, so no
// stream of it can exist. The stream stays unbuffered: a buffered stream put back at the end
// of a fork reads the last block back first, and asks the file's block size, each a request
// to the file system (FUSE's, for ntfs-3g).
CStream CreateStream(const std::string& name, std::string_view stream) {
    CStream opened(platform::OpenStream(platform::OutputPath(name, stream), "w+bx"));
    if (opened) std::setvbuf(opened.get(), nullptr, _IONBF, 0);
    return opened;
}

FinderInformation TypeCreatorInfo(const TypeCreator& typeCreator) {
    FinderInformation info{};
    std::copy(typeCreator.begin(), typeCreator.end(), info.begin());
    return TypeAndCreatorOnly(info);
}

}  // namespace

ImportResult PlanSfmOutput(std::string& name, const FinderInformation& finderInfo,
                           bool intoEmptyFolder, ImportReport& report) {
    MakeSafeName(name);
    FitName(name);
    report.outputName = name;
    if (!intoEmptyFolder && FileNameExists(name) && !MakeUnique(name)) {
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
                            const FinderInformation& finderInfo, ImportReport* report) {
    ImportReport local;
    ImportReport& out = report ? *report : local;
    NoteFinderInfo(out, finderInfo);
    MakeSafeName(name);
    FitName(name);

    // Declared before the streams, so that a stream is closed before its file is removed; the
    // output stays registered for removal on an interrupt until it is complete.
    OwnFile owner;
    auto fail = [&](ImportResult result, std::string detail) {
        out.outputName = name;
        out.detail = std::move(detail);
        out.dataBytes = out.resourceBytes = 0;
        return result;
    };

    std::string detail;
    CStream dataFile = CreateExclusively(name, SfmNaming(), owner, detail);
    if (!dataFile) return fail(ImportResult::WriteFailed, detail);
    // The outputs are written beneath their streams, which stay unbuffered (see CreateStream).
    std::setvbuf(dataFile.get(), nullptr, _IONBF, 0);
    platform::NoteCreatedInCurrentFolder(name);

    std::uint64_t dataCopied = 0;
    const CopyStatus dataStatus =
        CopyPlacedFork(data, dataFile.get(), dataCopied, "the data fork", "the data fork", detail);
    if (dataStatus != CopyStatus::Done) return fail(ResultOf(dataStatus), detail);
    if (std::fclose(dataFile.release()) != 0)
        return fail(ImportResult::WriteFailed, SystemReason("cannot write the data fork"));

    std::uint64_t resourceCopied = 0;
    if (resource.length != 0) {
        CStream stream = CreateStream(name, kResourceStream);
        if (!stream)
            return fail(ImportResult::WriteFailed,
                        SystemReason("cannot create the AFP_Resource stream"));
        const CopyStatus status =
            CopyPlacedFork(resource, stream.get(), resourceCopied, "the resource fork",
                           "the AFP_Resource stream", detail);
        if (std::fclose(stream.release()) != 0 && status == CopyStatus::Done)
            return fail(ImportResult::WriteFailed,
                        SystemReason("cannot write the AFP_Resource stream"));
        if (status != CopyStatus::Done) return fail(ResultOf(status), detail);
    }

    CStream info = CreateStream(name, kAfpInfoStream);
    if (!info)
        return fail(ImportResult::WriteFailed,
                    SystemReason("cannot create the AFP_AfpInfo stream"));
    const AfpInfo record = MakeAfpInfo(finderInfo);
    const bool written = std::fwrite(record.data(), 1, record.size(), info.get()) == record.size();
    if (std::fclose(info.release()) != 0 || !written)
        return fail(ImportResult::WriteFailed, SystemReason("cannot write the AFP_AfpInfo stream"));

    owner.Keep();
    out.outputName = name;
    out.dataBytes = dataCopied;
    out.resourceBytes = resourceCopied;
    out.detail.clear();
    return WithShortfall(ImportResult::Converted,
                         ForkShortfall(data, dataCopied, resource, resourceCopied), &out);
}

}  // namespace veskar
