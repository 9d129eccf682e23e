// SPDX-License-Identifier: Apache-2.0
#include "core/binhex_import.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "core/common/c_stream.h"
#include "core/common/fork_reader_ahead.h"
#include "core/common/import_progress.h"
#include "core/common/own_file.h"
#include "core/common/shortfall.h"
#include "core/finder_info.h"
#include "core/read/binhex/binhex_check.h"
#include "core/read/binhex/binhex_staging.h"
#include "core/read/binhex/binhex_stream.h"
#include "core/read/macbinary.h"
#include "core/write/sfm_writer.h"
#include "core/write/target_folder.h"
#include "platform/platform.h"

namespace veskar {

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

// The size of the staging file that the text would make, its forks as far as the text holds
// them: the MacBinary test of its header is told by it.
std::uint64_t StagingSizeOf(const binhex::Contents& contents) {
    if (contents.resourceLength != 0)
        return MacBinaryResourceOffset(contents.dataLength) +
               std::min<std::uint64_t>(contents.resourceLength, contents.resourcePresent);
    return kMacBinaryHeaderSize +
           std::min<std::uint64_t>(contents.dataLength, contents.dataPresent);
}

MacBinaryHeader HeaderOf(const binhex::Contents& contents) {
    return StagingHeaderOf(contents.nameLength, contents.name, contents.record);
}

// The refusal of a header, given what the text holds: Truncated when the missing forks alone
// are to blame, else WrongKind; nullopt when it is usable.
std::optional<Refusal> HeaderRefusal(const binhex::Contents& contents) {
    const MacBinaryHeader header = HeaderOf(contents);
    if (IsMacBinaryHeader(header, static_cast<std::int64_t>(StagingSizeOf(contents))))
        return std::nullopt;
    if (std::string shortfall = TruncationOf(contents); !shortfall.empty())
        return Refusal{ImportResult::Truncated, std::move(shortfall)};
    return Refusal{ImportResult::WrongKind,
                   "its decoded header is not that of a usable Macintosh file"};
}

// The description of the file whose header the text holds; the forks' places are the
// caller's to set.
MacFileDescription FileOf(const binhex::Contents& contents) {
    const MacBinaryHeader header = HeaderOf(contents);
    MacFileDescription file = MacBinaryFileOf(header, nullptr);
    file.finderInfo[finder::kFlagsAt + 1] = header[macbinary::kFinderFlagsAt + 1];
    return file;
}

ImportResult DescribeDecoded(std::string_view targetFolder, std::string_view sourcePath,
                             const binhex::Contents& contents, ImportReport& report) {
    const SfmWriter own(SfmNaming::AsItStands);
    const OutputWriter& writer = WriterFor(&report, own);
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    if (auto refusal = HeaderRefusal(contents)) {
        report.detail = std::move(refusal->detail);
        return refusal->result;
    }
    if (!target.usable) {
        report.detail = target.detail;
        return ImportResult::WriteFailed;
    }
    // The forks as the text holds them; what it lacks is told from the decoding.
    MacFileDescription file = FileOf(contents);
    const std::uint64_t data = std::min<std::uint64_t>(contents.dataLength, contents.dataPresent);
    const std::uint64_t resource =
        std::min<std::uint64_t>(contents.resourceLength, contents.resourcePresent);
    file.data.length = file.data.stated = static_cast<std::uint32_t>(data);
    file.resource.length = file.resource.stated = static_cast<std::uint32_t>(resource);
    return WithShortfall(writer.Write(file, sourcePath, &report), TruncationOf(contents), &report);
}

// Why a reading with verify must not be written: the check problem, or Truncated for forks
// the text ends before; nullopt while nothing is wrong.
std::optional<Refusal> VerifyRefusal(const binhex::Contents& contents) {
    std::string problem = binhex::CheckProblem(contents);
    if (problem.empty()) return std::nullopt;
    // A header whose check value is wrong states lengths that cannot be trusted; forks are
    // missing only once the text has ended.
    if (contents.wrong != binhex::Check::Header && contents.missing)
        if (std::string shortfall = TruncationOf(contents); !shortfall.empty())
            return Refusal{ImportResult::Truncated, std::move(shortfall)};
    return Refusal{ImportResult::CheckFailed, std::move(problem)};
}

// One fork of a text read in one pass, as the writer asks for it. A reading that must not be
// written stops the copy as a failed read, so that the writer removes what it made, and
// keeps why.
class DecodedFork final : public ForkReader {
  public:
    DecodedFork(binhex::ExpandedReading& reading, binhex::Contents& contents, binhex::Check fork,
                bool verify, std::optional<Refusal>& stop)
        : reading_(reading), contents_(contents), fork_(fork), verify_(verify), stop_(stop) {}

    std::int64_t Read(std::uint8_t* into, std::size_t room) override {
        const std::int64_t got = reading_.ReadFork(fork_, into, room);
        if (got < 0) return got;
        // Once the text has ended, what it holds is all there is.
        if (verify_)
            stop_ = VerifyRefusal(contents_);
        else if (contents_.missing)
            stop_ = HeaderRefusal(contents_);
        if (stop_) {
            errno = EILSEQ;
            return -1;
        }
        return got;
    }

  private:
    binhex::ExpandedReading& reading_;
    binhex::Contents& contents_;
    binhex::Check fork_;
    bool verify_;
    std::optional<Refusal>& stop_;
};

// The command line's import: the text decoded in one pass, straight into the writer's
// outputs, from `start` (the source is there).
ImportResult ImportInOnePass(std::string_view targetFolder, std::string_view sourcePath,
                             std::FILE* source, bool verify, ImportReport& report) {
    auto refuse = [&report](Refusal refusal) {
        report.detail = std::move(refusal.detail);
        return refusal.result;
    };
    const std::uint64_t text = TextLeft(source);
    binhex::Contents contents;
    binhex::ExpandedReading reading(binhex::TextAfterFirstColon(source), contents);
    reading.ReadHeader();
    if (!contents.readFailure.empty())
        return refuse({ImportResult::ReadFailed, contents.readFailure});

    const SfmWriter own(SfmNaming::AsItStands);
    const OutputWriter& writer = WriterFor(&report, own);
    const TargetFolder target = EnterTargetFolder(targetFolder, writer.Needs());
    if (verify)
        if (auto refusal = VerifyRefusal(contents)) return refuse(std::move(*refusal));
    // Only the lengths are tested before the forks are read; the text may still end first.
    if (!IsMacBinaryHeader(HeaderOf(contents), 0) || contents.missing)
        if (auto refusal = HeaderRefusal(contents)) return refuse(std::move(*refusal));
    if (!target.usable) return refuse({ImportResult::WriteFailed, target.detail});

    std::optional<Refusal> stop;
    DecodedFork data(reading, contents, binhex::Check::DataFork, verify, stop);
    DecodedFork resource(reading, contents, binhex::Check::ResourceFork, verify, stop);
    // Decoded on a second thread while the writer writes what was decoded before.
    ForkReaderAhead dataAhead(data, contents.dataLength, kLargeCopySize);
    ForkReaderAhead resourceAhead(resource, contents.resourceLength, kLargeCopySize, &dataAhead);
    MacFileDescription file = FileOf(contents);
    file.data = ForkPlace{.length = contents.dataLength,
                          .stated = contents.dataLength,
                          .reader = &dataAhead,
                          .chunk = kLargeCopySize};
    file.resource = ForkPlace{.length = contents.resourceLength,
                              .stated = contents.resourceLength,
                              .reader = &resourceAhead,
                              .chunk = kLargeCopySize};
    ImportResult result;
    {
        // The fork copy counts the forks' bytes and the reading the text's.
        const import_progress::Pass pass(
            text, text + std::uint64_t{contents.dataLength} + contents.resourceLength);
        result = writer.Write(file, sourcePath, &report);
    }
    // What the reading noted is this thread's to look at once it has stopped.
    resourceAhead.Finish();
    dataAhead.Finish();
    // Stopped by the reading: the writer has removed what it made, so no output is named.
    if (!contents.readFailure.empty() || stop) {
        report.outputName.clear();
        report.dataBytes = report.resourceBytes = 0;
        return refuse(stop ? std::move(*stop)
                           : Refusal{ImportResult::ReadFailed, contents.readFailure});
    }
    if (result != ImportResult::Converted && result != ImportResult::Truncated) return result;
    // The text's own account of what it lacks, its header's included.
    if (std::string shortfall = binhex::ForkShortfall(contents); !shortfall.empty())
        return refuse({ImportResult::Truncated, std::move(shortfall)});
    return result;
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
    if (options.onePass && !dryRun) {
        ImportReport local;
        return platform::Seek(source.get(), *start)
                   ? ImportInOnePass(targetFolder, sourcePath, source.get(), options.verify,
                                     report ? *report : local)
                   : ImportResult::CannotOpen;
    }
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
        if (options.verify)
            if (auto refusal = VerifyRefusal(contents))
                return refuse(refusal->result, std::move(refusal->detail));
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

}  // namespace veskar
