// SPDX-License-Identifier: Apache-2.0
// The BinHex import: a BinHex 4.0 text is recognised by its identification line, decoded
// through two intermediate files, written as a MacBinary-form staging file in the temporary
// folder, and converted as the MacBinary import converts a file; or, asked for one pass,
// decoded straight into the output.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "core/common/c_stream.h"
#include "core/common/import_progress.h"
#include "core/common/own_file.h"
#include "core/import.h"
#include "core/read/binhex.h"
#include "core/read/binhex/binhex_check.h"
#include "core/read/binhex/binhex_staging.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace {

ImportResult Refuse(ImportReport& report, Refusal refusal) {
    report.detail = std::move(refusal.detail);
    return refusal.result;
}

// The command line's import: the text decoded in one pass, straight into the writer's
// outputs, from where `source` stands.
ImportResult ImportInOnePass(std::string_view targetFolder, std::string_view sourcePath,
                             std::FILE* source, const ImportRequest& request,
                             ImportReport& report) {
    BinHexOnePass text(source, request.verify);
    if (!text.HeaderReadFailure().empty())
        return Refuse(report, {ImportResult::ReadFailed, text.HeaderReadFailure()});
    // The fork copy counts the forks' bytes and the reading the text's, while they are written.
    std::optional<import_progress::Pass> pass;
    const ImportResult written =
        ImportDescribed(targetFolder, sourcePath, request, WindowWriter(false), report, [&] {
            MacFileReading reading = text.Read();
            if (!reading.refusal)
                pass.emplace(text.TextBytes(), text.TextBytes() + reading.file.data.length +
                                                   reading.file.resource.length);
            return reading;
        });
    pass.reset();
    bool takenBack = false;
    std::optional<Refusal> refusal = text.Settle(written, takenBack);
    if (!refusal) return written;
    // Stopped by the reading: the writer has removed what it made, so no output is named.
    if (takenBack) {
        report.outputName.clear();
        report.dataBytes = report.resourceBytes = 0;
    }
    return Refuse(report, std::move(*refusal));
}

}  // namespace

ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          ImportReport* report) {
    ImportReport local;
    return ImportBinHex(targetFolder, sourcePath, {}, report ? *report : local);
}

ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          const ImportRequest& request, ImportReport& report) {
    CStream source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source) return ImportResult::CannotOpen;
    std::string readFailure;
    const auto start = binhex::FindDataStart(source.get(), request.binhexStart, &readFailure);
    if (!readFailure.empty()) return Refuse(report, {ImportResult::ReadFailed, readFailure});
    if (!start) return ImportResult::NotBinHex;

    const bool dryRun = request.dryRun != DryRun::Off;
    if (request.binhexOnePass && !dryRun)
        return platform::Seek(source.get(), *start)
                   ? ImportInOnePass(targetFolder, sourcePath, source.get(), request, report)
                   : ImportResult::CannotOpen;
    // For the progress display the text's bytes are spread over the passes: the check (if
    // asked for), the three passes of the staging, and the MacBinary import of the staging
    // file. A trial run reads the text once, and that is all its progress.
    std::uint64_t text = 0;
    if (platform::Seek(source.get(), *start)) text = TextLeft(source.get());
    const std::uint64_t part = dryRun ? text : text / (request.verify ? 5 : 4);
    std::uint64_t left = text;
    if (request.verify || dryRun) {
        const import_progress::Pass pass(part, text);
        left -= part;
        const binhex::Contents contents = binhex::ReadContents(source.get(), *start);
        if (!contents.readFailure.empty())
            return Refuse(report, {ImportResult::ReadFailed, contents.readFailure});
        if (request.verify)
            if (auto refusal = BinHexVerifyRefusal(contents))
                return Refuse(report, std::move(*refusal));
        if (dryRun)
            return ImportDescribed(targetFolder, sourcePath, request, WindowWriter(false), report,
                                   [&] { return ReadBinHexContents(contents); });
    }
    if (!platform::Seek(source.get(), *start)) return ImportResult::CannotOpen;

    auto fail = [&](std::string why) {
        return Refuse(report, {ImportResult::WriteFailed, std::move(why)});
    };
    // The import enters the target folder before it opens the staging file, so the staging
    // path must not depend on the current folder.
    std::string temp = platform::TempFolder();
    if (temp.empty()) return fail("there is no usable temporary folder");
    std::error_code error;
    if (const auto absolute = std::filesystem::absolute(platform::PathOfNative(temp), error);
        !error)
        temp = platform::NativeOfPath(absolute);
    OwnFile stagingFile;
    std::optional<std::string> stagingPath;
    {
        platform::InterruptsHeld held;
        stagingPath = platform::CreateTempFile(temp, "BIN");
        if (stagingPath) stagingFile.Adopt(*stagingPath);
    }
    if (!stagingPath) return fail("no staging file can be created in the temporary folder");

    CStream staged;
    Staging staging;
    {
        const import_progress::Pass pass(3 * part, text);
        left -= 3 * part;
        staged.reset(StageBinHex(source.release(), sourcePath, *stagingPath, staging));
    }
    if (!staged) return Refuse(report, {staging.failure, staging.detail});
    const std::uint64_t stagingSize = platform::StreamSize(staged.get()).value_or(0);
    if (!CloseWritten(staged)) return fail("the staging file could not be written");

    // The staging file is converted as a MacBinary file is; the text's checks are made.
    const import_progress::Pass pass(left, stagingSize);
    ImportRequest stagingRequest;
    stagingRequest.writer = request.writer;
    CStream stagingSource;
    const ImportResult result = ImportDescribed(
        targetFolder, *stagingPath, stagingRequest, WindowWriter(false), report, [&] {
            stagingSource.reset(platform::OpenStream(*stagingPath, "rb"));
            if (!stagingSource) {
                MacFileReading refused;
                refused.refusal = Refusal{ImportResult::CannotOpen, {}};
                return refused;
            }
            std::setvbuf(stagingSource.get(), nullptr, _IONBF, 0);
            FileSource file(stagingSource.get());
            return ReadBinHexStaging(file);
        });
    // The staging file pads the data fork to its stated length's boundary, so its own forks
    // may look whole where the text's are not: the staging writer's count decides. A header
    // refused for the missing forks alone writes nothing, as before, but is truncated too.
    const bool written = result == ImportResult::Converted || result == ImportResult::Truncated;
    if (!staging.shortfall.empty() &&
        (written || (result == ImportResult::WrongKind && IsMacBinaryHeader(staging.header, 0))))
        return Refuse(report, {ImportResult::Truncated, staging.shortfall});
    if (result == ImportResult::WrongKind && report.detail.empty())
        report.detail = "its decoded header is not that of a usable Macintosh file";
    return result;
}

}  // namespace veskar
