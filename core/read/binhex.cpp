// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "core/common/fork_reader_ahead.h"
#include "core/finder_info.h"
#include "core/read/binhex/binhex_check.h"
#include "core/read/binhex/binhex_staging.h"
#include "core/read/macbinary.h"

namespace veskar {

namespace {

MacBinaryHeader HeaderOf(const binhex::Contents& contents) {
    return StagingHeaderOf(contents.nameLength, contents.name, contents.record);
}

// What a text read in memory lacks, when that makes it truncated: its header must pass the
// MacBinary test once the missing forks are not counted against it. Empty otherwise.
std::string TruncationOf(const binhex::Contents& contents) {
    std::string shortfall = binhex::ForkShortfall(contents);
    return IsMacBinaryHeader(HeaderOf(contents), 0) ? shortfall : std::string();
}

// The size of the staging file that the text would make, its forks as far as the text holds
// them: the MacBinary test of its header is told by it.
std::uint64_t StagingSizeOf(const binhex::Contents& contents) {
    if (contents.resourceLength != 0)
        return MacBinaryResourceOffset(contents.dataLength) +
               std::min<std::uint64_t>(contents.resourceLength, contents.resourcePresent);
    return kMacBinaryHeaderSize +
           std::min<std::uint64_t>(contents.dataLength, contents.dataPresent);
}

// The refusal of a header, given what the text holds: Truncated when the missing forks alone
// are to blame, else WrongKind; nullopt when it is usable. The header is tested as the
// staging file's would be, by the MacBinary test.
std::optional<Refusal> HeaderRefusal(const binhex::Contents& contents) {
    const MacBinaryHeader header = HeaderOf(contents);
    if (IsMacBinaryHeader(header, static_cast<std::int64_t>(StagingSizeOf(contents))))
        return std::nullopt;
    if (std::string shortfall = TruncationOf(contents); !shortfall.empty())
        return Refusal{ImportResult::Truncated, std::move(shortfall)};
    return Refusal{ImportResult::WrongKind,
                   "its decoded header is not that of a usable Macintosh file"};
}

// The description of the file whose header the text holds: both bytes of the Finder flags as
// the text has them. The forks' places are the caller's to set.
MacFileDescription FileOf(const binhex::Contents& contents) {
    const MacBinaryHeader header = HeaderOf(contents);
    MacFileDescription file = MacBinaryFileOf(header, nullptr);
    file.finderInfo[finder::kFlagsAt + 1] = header[macbinary::kFinderFlagsAt + 1];
    return file;
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
            stop_ = BinHexVerifyRefusal(contents_);
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

}  // namespace

MacFileReading ReadBinHexContents(const binhex::Contents& contents) {
    MacFileReading reading;
    if (auto refusal = HeaderRefusal(contents)) {
        reading.refusal = std::move(refusal);
        return reading;
    }
    // The forks as the text holds them; what it lacks is told from the decoding.
    MacFileDescription& file = reading.file;
    file = FileOf(contents);
    const std::uint64_t data = std::min<std::uint64_t>(contents.dataLength, contents.dataPresent);
    const std::uint64_t resource =
        std::min<std::uint64_t>(contents.resourceLength, contents.resourcePresent);
    file.data.length = static_cast<std::uint32_t>(data);
    file.data.stated = data;
    file.resource.length = static_cast<std::uint32_t>(resource);
    file.resource.stated = resource;
    file.shortfall = TruncationOf(contents);
    return reading;
}

std::optional<Refusal> BinHexVerifyRefusal(const binhex::Contents& contents) {
    std::string problem = binhex::CheckProblem(contents);
    if (problem.empty()) return std::nullopt;
    // A header whose check value is wrong states lengths that cannot be trusted; forks are
    // missing only once the text has ended.
    if (contents.wrong != binhex::Check::Header && contents.missing)
        if (std::string shortfall = TruncationOf(contents); !shortfall.empty())
            return Refusal{ImportResult::Truncated, std::move(shortfall)};
    return Refusal{ImportResult::CheckFailed, std::move(problem)};
}

MacFileReading ReadBinHexStaging(ByteSource& staging) {
    MacBinaryHeader header{};
    MacFileReading reading = ReadMacBinary(staging, &header);
    if (reading.refusal) return reading;
    reading.file.finderInfo[finder::kFlagsAt + 1] = header[macbinary::kFinderFlagsAt + 1];
    return reading;
}

// The two forks' readers, the data fork's decoded on a second thread while the writer writes
// what came before, the resource fork's after it.
struct BinHexOnePass::Forks {
    Forks(binhex::ExpandedReading& reading, binhex::Contents& contents, bool verify,
          std::optional<Refusal>& stop)
        : data(reading, contents, binhex::Check::DataFork, verify, stop),
          resource(reading, contents, binhex::Check::ResourceFork, verify, stop),
          dataAhead(data, contents.dataLength, kLargeCopySize),
          resourceAhead(resource, contents.resourceLength, kLargeCopySize, &dataAhead) {}
    DecodedFork data;
    DecodedFork resource;
    ForkReaderAhead dataAhead;
    ForkReaderAhead resourceAhead;
};

BinHexOnePass::BinHexOnePass(std::FILE* source, bool verify)
    : textBytes_(TextLeft(source)),
      verify_(verify),
      reading_(std::make_unique<binhex::ExpandedReading>(binhex::TextAfterFirstColon(source),
                                                         contents_)) {
    reading_->ReadHeader();
}

BinHexOnePass::~BinHexOnePass() = default;

const std::string& BinHexOnePass::HeaderReadFailure() const {
    return contents_.readFailure;
}

MacFileReading BinHexOnePass::Read() {
    MacFileReading reading;
    if (verify_)
        if (auto refusal = BinHexVerifyRefusal(contents_)) {
            reading.refusal = std::move(refusal);
            return reading;
        }
    // Only the lengths are tested before the forks are read; the text may still end first.
    if (!IsMacBinaryHeader(HeaderOf(contents_), 0) || contents_.missing)
        if (auto refusal = HeaderRefusal(contents_)) {
            reading.refusal = std::move(refusal);
            return reading;
        }
    accepted_ = true;
    forks_ = std::make_unique<Forks>(*reading_, contents_, verify_, stop_);
    MacFileDescription& file = reading.file;
    file = FileOf(contents_);
    file.data = ForkPlace{.length = contents_.dataLength,
                          .stated = contents_.dataLength,
                          .reader = &forks_->dataAhead,
                          .chunk = kLargeCopySize};
    file.resource = ForkPlace{.length = contents_.resourceLength,
                              .stated = contents_.resourceLength,
                              .reader = &forks_->resourceAhead,
                              .chunk = kLargeCopySize};
    return reading;
}

std::optional<Refusal> BinHexOnePass::Settle(ImportResult written, bool& takenBack) {
    takenBack = false;
    if (!accepted_) return std::nullopt;
    // What the reading noted is this thread's to look at once it has stopped.
    forks_->resourceAhead.Finish();
    forks_->dataAhead.Finish();
    // Stopped by the reading: the writer has removed what it made.
    if (!contents_.readFailure.empty() || stop_) {
        takenBack = true;
        return stop_ ? std::move(stop_) : Refusal{ImportResult::ReadFailed, contents_.readFailure};
    }
    if (written != ImportResult::Converted && written != ImportResult::Truncated)
        return std::nullopt;
    // The text's own account of what it lacks, its header's included.
    if (std::string shortfall = binhex::ForkShortfall(contents_); !shortfall.empty())
        return Refusal{ImportResult::Truncated, std::move(shortfall)};
    return std::nullopt;
}

}  // namespace veskar
