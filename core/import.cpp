// SPDX-License-Identifier: Apache-2.0
#include "core/import.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "core/common/c_stream.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/macbinary.h"
#include "core/verify_output.h"
#include "core/write/describing_writer.h"
#include "core/write/sfm_writer.h"
#include "core/write/target_folder.h"
#include "platform/platform.h"

namespace veskar {

namespace {

MacFileReading Refused(ImportResult result, std::string detail) {
    MacFileReading reading;
    reading.refusal = Refusal{result, std::move(detail)};
    return reading;
}

// The companion beside a data file: the first of its names that something bears, else the
// "._" one, for the message that it cannot be opened.
std::string CompanionBeside(std::string_view dataFilePath, const ReadOptions& options) {
    const std::vector<std::string> paths = AppleDoubleCompanionPaths(dataFilePath, options);
    for (const std::string& path : paths) {
        std::error_code error;
        if (std::filesystem::is_regular_file(platform::PathOfNative(path), error)) return path;
    }
    return paths.front();
}

ImportResult Refuse(ImportReport& report, const Refusal& refusal) {
    if (!refusal.detail.empty()) report.detail = refusal.detail;
    return refusal.result;
}

}  // namespace

const OutputWriter& WindowWriter(bool translateNames) {
    static const SfmWriter asItStands(SfmNaming::AsItStands);
    static const SfmWriter translated(SfmNaming::Translated);
    return translateNames ? translated : asItStands;
}

ImportResult ImportDescribed(std::string_view targetFolder, std::string_view sourcePath,
                             const ImportRequest& request, const OutputWriter& own,
                             ImportReport& report, const std::function<MacFileReading()>& read) {
    const OutputWriter& writer = request.writer ? *request.writer : own;
    // The target folder is held for the import, unless a run around it holds it already.
    const platform::Holding holding;
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    const MacFileReading reading = read();
    if (reading.refusal) return Refuse(report, *reading.refusal);
    if (request.verify && reading.checkFailure) return Refuse(report, *reading.checkFailure);
    if (!target.usable) return Refuse(report, {ImportResult::WriteFailed, target.detail});
    if (reading.flaw) return Refuse(report, *reading.flaw);
    NoteDescription(report, reading.file);
    if (request.skipExisting) {
        ImportReport planned = report;
        if (writer.Plan(reading.file, sourcePath, true, planned) == ImportResult::Converted &&
            OutputThere(request.readBack, targetFolder, reading.file, planned)) {
            report.outputName = planned.outputName;
            report.nativeName = planned.nativeName;
            report.dataBytes = report.resourceBytes = 0;
            return ImportResult::Exists;
        }
    }
    if (request.dryRun != DryRun::Off) {
        const DescribingWriter trial(writer, request.dryRun == DryRun::IntoNewFolder);
        return trial.Write(reading.file, sourcePath, report);
    }
    // Asked to check, a source that ends early is refused before anything is written.
    if (request.verify)
        if (std::string shortfall = ShortfallOf(reading.file); !shortfall.empty())
            return Refuse(report, {ImportResult::Truncated, std::move(shortfall)});
    const ImportResult result = writer.Write(reading.file, sourcePath, report);
    if (result != ImportResult::Converted || !request.readBack) return result;
    return VerifyOutput(*request.readBack, targetFolder, reading.file, report);
}

ImportResult ImportMacBinary(std::string_view targetFolder, std::string_view sourcePath,
                             ImportReport* report) {
    ImportReport local;
    return ImportMacBinary(targetFolder, sourcePath, {}, report ? *report : local);
}

ImportResult ImportMacBinary(std::string_view targetFolder, std::string_view sourcePath,
                             const ImportRequest& request, ImportReport& report,
                             const OpenedSource* opened) {
    CStream own;
    return ImportDescribed(targetFolder, sourcePath, request, WindowWriter(false), report, [&] {
        if (opened) {
            StartedFileSource started(opened->stream, opened->start);
            return ReadMacBinary(started);
        }
        own.reset(platform::OpenStream(std::string(sourcePath), "rb"));
        if (!own) return Refused(ImportResult::CannotOpen, {});
        std::setvbuf(own.get(), nullptr, _IONBF, 0);
        FileSource file(own.get());
        return ReadMacBinary(file);
    });
}

ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               ImportReport* report) {
    ImportReport local;
    return ImportAppleSingle(targetFolder, sourcePath, {}, report ? *report : local);
}

ImportResult ImportAppleSingle(std::string_view targetFolder, std::string_view sourcePath,
                               const ImportRequest& request, ImportReport& report) {
    CStream source;
    return ImportDescribed(targetFolder, sourcePath, request, WindowWriter(true), report, [&] {
        source.reset(platform::OpenStream(std::string(sourcePath), "rb"));
        if (!source) return Refused(ImportResult::CannotOpen, std::strerror(errno));
        FileSource bytes(source.get());
        return ReadAppleSingle(bytes, request.read);
    });
}

ImportResult ImportFolderInformation(std::string_view targetFolder, const std::string& folderName,
                                     const std::string& companionPath, const ImportRequest& request,
                                     ImportReport& report) {
    CStream companionFile;
    return ImportFolderDescribed(targetFolder, folderName, request, report, [&] {
        companionFile.reset(platform::OpenStream(companionPath, "rb"));
        if (!companionFile) return Refused(ImportResult::CannotOpen, std::strerror(errno));
        FileSource companion(companionFile.get());
        return ReadAppleDoubleFolder(companion, companionPath, request.read);
    });
}

ImportResult ImportFolderDescribed(std::string_view targetFolder, const std::string& folderName,
                                   const ImportRequest& request, ImportReport& report,
                                   const std::function<MacFileReading()>& read) {
    const OutputWriter& writer = request.writer ? *request.writer : WindowWriter(true);
    const platform::Holding holding;
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    const MacFileReading reading = read();
    if (reading.refusal) return Refuse(report, *reading.refusal);
    if (!target.usable) return Refuse(report, {ImportResult::WriteFailed, target.detail});
    if (reading.flaw) return Refuse(report, *reading.flaw);
    NoteDescription(report, reading.file);
    const ImportResult result =
        request.dryRun != DryRun::Off
            ? DescribingWriter(writer, true).WriteFolder(reading.file, folderName, report)
            : writer.WriteFolder(reading.file, folderName, report);
    return WithShortfall(result, ShortfallOf(reading.file), &report);
}

ImportResult ImportAppleDouble(std::string_view targetFolder, std::string_view dataFilePath,
                               ImportReport* report) {
    ImportReport local;
    return ImportAppleDouble(targetFolder, dataFilePath, {}, report ? *report : local);
}

ImportResult ImportAppleDouble(std::string_view targetFolder, std::string_view dataFilePath,
                               const ImportRequest& request, ImportReport& report) {
    const std::string companionPath = request.companionPath.empty()
                                          ? CompanionBeside(dataFilePath, request.read)
                                          : request.companionPath;
    if (companionPath.size() > platform::kMaxPathChars)
        return Refuse(report, {ImportResult::CannotOpen, "the path of its companion is too long"});
    // Declared first so that it is closed last, after the data file.
    CStream companionFile;
    CStream dataFile;
    return ImportDescribed(targetFolder, dataFilePath, request, WindowWriter(true), report, [&] {
        dataFile.reset(platform::OpenStream(std::string(dataFilePath), "rb"));
        if (!dataFile) return Refused(ImportResult::CannotOpen, std::strerror(errno));
        companionFile.reset(platform::OpenStream(companionPath, "rb"));
        if (!companionFile)
            return Refused(ImportResult::CannotOpen,
                           "its companion " + companionPath + ": " + std::strerror(errno));
        FileSource data(dataFile.get());
        FileSource companion(companionFile.get());
        return ReadAppleDouble(data, companion, companionPath, request.read);
    });
}

}  // namespace veskar
