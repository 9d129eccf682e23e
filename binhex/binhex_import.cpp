#include "binhex/binhex_import.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "binhex/binhex_check.h"
#include "binhex/binhex_staging.h"
#include "containers/c_stream.h"
#include "containers/finder_info.h"
#include "containers/import_progress.h"
#include "containers/macbinary.h"
#include "containers/own_file.h"
#include "containers/sfm_writer.h"
#include "containers/shortfall.h"
#include "containers/target_folder.h"
#include "platform/platform.h"

using Stream = CStream;

namespace {

// What a text read in memory lacks, when that makes it truncated: its header must pass the
// MacBinary test once the missing forks are not counted against it. Empty otherwise.
std::string TruncationOf(const binhex::Contents& contents) {
    std::string shortfall = binhex::ForkShortfall(contents);
    const MacBinaryHeader header =
        StagingHeaderOf(contents.nameLength, contents.name, contents.record);
    return IsMacBinaryHeader(header, 0) ? shortfall : std::string();
}

// The trial run: what the staging file would hold, tested and named as the MacBinary import
// would, from a reading in memory, so that no intermediate or staging file is made.
// The staging file keeps both bytes of the BinHex header's Finder flags where MacBinary I
// kept only the high one (73, 74), which its reader takes from MacBinary II's place alone;
// the writer is handed the flags as the text has them.
class WithBinHexFlags final : public OutputWriter {
  public:
    WithBinHexFlags(const OutputWriter& writer, const MacBinaryHeader& staging)
        : writer_(writer), low_(staging[macbinary::kFinderFlagsAt + 1]) {}
    TargetNeeds Needs() const override { return writer_.Needs(); }
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport* report) const override {
        MacFileDescription withFlags = file;
        withFlags.finderInfo[finder::kFlagsAt + 1] = low_;
        return writer_.Write(withFlags, sourcePath, report);
    }

  private:
    const OutputWriter& writer_;
    std::uint8_t low_;
};

ImportResult DescribeDecoded(std::string_view targetFolder, std::string_view sourcePath,
                             const binhex::Contents& contents, ImportReport& report) {
    const SfmWriter own(SfmNaming::AsItStands);
    const OutputWriter& writer = WriterFor(&report, own);
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    const MacBinaryHeader header =
        StagingHeaderOf(contents.nameLength, contents.name, contents.record);
    const std::string shortfall = TruncationOf(contents);
    const std::uint64_t data = std::min<std::uint64_t>(contents.dataLength, contents.dataPresent);
    const std::uint64_t resource =
        std::min<std::uint64_t>(contents.resourceLength, contents.resourcePresent);
    std::uint64_t stagingSize = kMacBinaryHeaderSize + data;
    if (contents.resourceLength != 0)
        stagingSize = MacBinaryResourceOffset(contents.dataLength) + resource;
    if (!IsMacBinaryHeader(header, static_cast<std::int64_t>(stagingSize))) {
        // Refused for the missing forks alone: the import would write nothing either.
        if (!shortfall.empty()) {
            report.detail = shortfall;
            return ImportResult::Truncated;
        }
        report.detail = "its decoded header is not that of a usable Macintosh file";
        return ImportResult::WrongKind;
    }
    if (!target.usable) {
        report.detail = target.detail;
        return ImportResult::WriteFailed;
    }
    // The forks as the text holds them; what it lacks is told from the decoding.
    MacFileDescription file = MacBinaryFileOf(header, nullptr);
    file.finderInfo[finder::kFlagsAt + 1] = header[macbinary::kFinderFlagsAt + 1];
    file.data.length = file.data.stated = static_cast<std::uint32_t>(data);
    file.resource.length = file.resource.stated = static_cast<std::uint32_t>(resource);
    return WithShortfall(writer.Write(file, sourcePath, &report), shortfall, &report);
}

}  // namespace

ImportResult ImportBinHex(std::string_view targetFolder, std::string_view sourcePath,
                          ImportReport* report) {
    return ImportBinHexWith(targetFolder, sourcePath, {}, report);
}

ImportResult ImportBinHexWith(std::string_view targetFolder, std::string_view sourcePath,
                              const binhex::ImportOptions& options, ImportReport* report) {
    auto refuse = [report](ImportResult result, std::string detail) {
        if (report) report->detail = std::move(detail);
        return result;
    };
    Stream source(platform::OpenStream(std::string(sourcePath), "rb"));
    if (!source) return ImportResult::CannotOpen;
    std::string readFailure;
    const auto start = binhex::FindDataStart(source.get(), options.start, &readFailure);
    if (!readFailure.empty()) return refuse(ImportResult::ReadFailed, readFailure);
    if (!start) return ImportResult::NotBinHex;

    const bool dryRun = report && report->dryRun != DryRun::Off;
    // For the progress display the text's bytes are spread over the passes: the check (if
    // asked for), the three passes of the staging, and the MacBinary import of the staging
    // file. A trial run reads the text once, and that is all its progress.
    std::uint64_t text = 0;
    if (platform::Seek(source.get(), *start)) text = TextLeft(source.get());
    const std::uint64_t part = dryRun ? text : text / (options.verify ? 5 : 4);
    std::uint64_t left = text;
    if (options.verify || dryRun) {
        const import_progress::Pass pass(part, text);
        left -= part;
        const binhex::Contents contents = binhex::ReadContents(source.get(), *start);
        if (!contents.readFailure.empty())
            return refuse(ImportResult::ReadFailed, contents.readFailure);
        if (options.verify) {
            // A header whose check value is wrong states lengths that cannot be trusted.
            std::string problem = binhex::CheckProblem(contents);
            if (contents.wrong != binhex::Check::Header)
                if (std::string shortfall = TruncationOf(contents); !shortfall.empty())
                    return refuse(ImportResult::Truncated, std::move(shortfall));
            if (!problem.empty()) return refuse(ImportResult::CheckFailed, std::move(problem));
        }
        if (dryRun) return DescribeDecoded(targetFolder, sourcePath, contents, *report);
    }
    if (!platform::Seek(source.get(), *start)) return ImportResult::CannotOpen;

    auto fail = [&](std::string_view why) {
        return refuse(ImportResult::WriteFailed, std::string(why));
    };
    // The MacBinary import enters the target folder before it opens the staging file, so the
    // staging path must not depend on the current folder.
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

    Stream staged;
    Staging staging;
    {
        const import_progress::Pass pass(3 * part, text);
        left -= 3 * part;
        staged.reset(StageBinHex(source.release(), sourcePath, *stagingPath, staging));
    }
    if (!staged) return refuse(staging.failure, staging.detail);
    const std::uint64_t stagingSize = platform::StreamSize(staged.get()).value_or(0);
    if (!CloseWritten(staged)) return fail("the staging file could not be written");

    const import_progress::Pass pass(left, stagingSize);
    const SfmWriter own(SfmNaming::AsItStands);
    const WithBinHexFlags writer(WriterFor(report, own), staging.header);
    ImportReport local;
    ImportReport& out = report ? *report : local;
    const OutputWriter* given = std::exchange(out.writer, &writer);
    const ImportResult result = ImportMacBinary(targetFolder, *stagingPath, &out);
    out.writer = given;
    // The staging file pads the data fork to its stated length's boundary, so its own forks
    // may look whole where the text's are not: the staging writer's count decides. A header
    // refused for the missing forks alone writes nothing, as before, but is truncated too.
    const bool written = result == ImportResult::Converted || result == ImportResult::Truncated;
    if (!staging.shortfall.empty() &&
        (written || (result == ImportResult::WrongKind && IsMacBinaryHeader(staging.header, 0))))
        return refuse(ImportResult::Truncated, staging.shortfall);
    if (result == ImportResult::WrongKind && report && report->detail.empty())
        report->detail = "its decoded header is not that of a usable Macintosh file";
    return result;
}
