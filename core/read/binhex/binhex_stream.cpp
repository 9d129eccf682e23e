// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_stream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/crc16.h"
#include "core/common/import_progress.h"
#include "core/common/import_result.h"
#include "core/common/shortfall.h"

namespace veskar {

namespace binhex {

namespace {

constexpr std::size_t kTextBlock = 64 * 1024;

std::uint16_t StoredCheck(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

}  // namespace

ExpandedReading::ExpandedReading(TextRead read, Contents& contents)
    : read_(std::move(read)),
      contents_(contents),
      text_(std::make_unique<std::uint8_t[]>(kTextBlock)),
      packed_(std::make_unique<std::uint8_t[]>(TextDecoder::PackedRoom(kTextBlock))) {}

ExpandedReading::~ExpandedReading() = default;

bool ExpandedReading::Refill() {
    if (textEnded_ || failed_) return false;
    std::size_t packed = 0;
    if (!decoder_.Ended()) {
        const std::int64_t got = read_(text_.get(), kTextBlock);
        if (got < 0) {
            failed_ = true;
            contents_.readFailure = ReadFailure("the text");
            return false;
        }
        if (got > 0) {
            std::size_t used = 0;
            packed =
                decoder_.Decode({text_.get(), static_cast<std::size_t>(got)}, packed_.get(), used);
        }
        if (got > 0 && !decoder_.Ended()) {
            packedLeft_ = {packed_.get(), packed};
            return true;
        }
    }
    // The closing colon or the end of the text: the last short group counts.
    packed += decoder_.Finish(packed_.get() + packed);
    packedLeft_ = {packed_.get(), packed};
    textEnded_ = true;
    return true;
}

std::int64_t ExpandedReading::Pull(std::uint8_t* out, std::size_t room) {
    for (;;) {
        const std::size_t written = expander_.Expand(packedLeft_, out, room);
        if (written > 0 || room == 0) return static_cast<std::int64_t>(written);
        if (!Refill()) return failed_ ? -1 : 0;
    }
}

std::int64_t ExpandedReading::PullExact(std::uint8_t* out, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const std::int64_t n = Pull(out + got, count - got);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

void ExpandedReading::TextEnded() {
    if (!contents_.missing && phase_ != Phase::Done)
        contents_.missing = phase_ == Phase::Header ? Check::Header
                            : phase_ == Phase::Data ? Check::DataFork
                                                    : Check::ResourceFork;
    phase_ = Phase::Done;
}

bool ExpandedReading::ReadHeader() {
    Contents& out = contents_;
    std::uint8_t nameLength = 0;
    std::int64_t got = PullExact(&nameLength, 1);
    if (got == 1) {
        out.headerPresent = 1;
        out.nameLength = nameLength;
        crc_ = Crc16({&nameLength, 1});
        got = PullExact(out.name.data(), nameLength);
        if (got >= 0) {
            out.headerPresent += static_cast<std::size_t>(got);
            crc_ = Crc16({out.name.data(), static_cast<std::size_t>(got)}, crc_);
        }
        if (got == nameLength) {
            got = PullExact(out.record.data(), out.record.size());
            if (got >= 0) {
                out.headerPresent += static_cast<std::size_t>(got);
                crc_ =
                    Crc16({out.record.data(), std::min<std::size_t>(static_cast<std::size_t>(got),
                                                                    expanded::kHeaderCheckAt)},
                          crc_);
            }
            if (got == static_cast<std::int64_t>(out.record.size())) {
                out.headerComplete = true;
                out.dataLength = BigEndian32(&out.record[expanded::kDataLengthAt]);
                out.resourceLength = BigEndian32(&out.record[expanded::kResourceLengthAt]);
                if (StoredCheck(&out.record[expanded::kHeaderCheckAt]) != crc_ && !out.wrong)
                    out.wrong = Check::Header;
                StartFork(Phase::Data, out.dataLength);
                return Settle();
            }
        }
    }
    if (got >= 0) TextEnded();
    return false;
}

void ExpandedReading::StartFork(Phase phase, std::uint32_t length) {
    phase_ = phase;
    crc_ = 0;
    forkDone_ = 0;
    forkLength_ = length;
}

// While the fork being read is whole, its check value is read and the next fork begins.
bool ExpandedReading::Settle() {
    while (phase_ != Phase::Done && forkDone_ == forkLength_) {
        std::array<std::uint8_t, expanded::kForkCheckSize> stored{};
        const std::int64_t got = PullExact(stored.data(), stored.size());
        if (got < 0) return false;
        if (got < static_cast<std::int64_t>(stored.size())) {
            TextEnded();
            return true;
        }
        const Check check = phase_ == Phase::Data ? Check::DataFork : Check::ResourceFork;
        if (StoredCheck(stored.data()) != crc_ && !contents_.wrong) contents_.wrong = check;
        if (phase_ == Phase::Data)
            StartFork(Phase::Resource, contents_.resourceLength);
        else
            phase_ = Phase::Done;
    }
    return true;
}

std::int64_t ExpandedReading::ReadFork(Check fork, std::uint8_t* into, std::size_t room) {
    if (failed_) return -1;
    const Phase phase = fork == Check::DataFork ? Phase::Data : Phase::Resource;
    if (phase_ != phase || room == 0) return 0;
    // As much as asked for, so that each write of the fork is as large as its caller's.
    const std::int64_t got = PullExact(
        into, static_cast<std::size_t>(std::min<std::uint64_t>(room, forkLength_ - forkDone_)));
    if (got < 0) return -1;
    if (got == 0) {
        TextEnded();
        return 0;
    }
    const auto count = static_cast<std::size_t>(got);
    crc_ = Crc16({into, count}, crc_);
    forkDone_ += count;
    (phase == Phase::Data ? contents_.dataPresent : contents_.resourcePresent) += count;
    if (forkDone_ == forkLength_ && !Settle()) return -1;
    return got;
}

bool ExpandedReading::ReadToEnd() {
    if (phase_ == Phase::Header && !ReadHeader()) return !failed_;
    std::vector<std::uint8_t> scratch(kTextBlock);
    for (const Check fork : {Check::DataFork, Check::ResourceFork}) {
        std::int64_t got;
        while ((got = ReadFork(fork, scratch.data(), scratch.size())) > 0) {
        }
        if (got < 0) return false;
    }
    return !failed_;
}

TextRead TextAfterFirstColon(std::FILE* source) {
    return [source, found = false](std::uint8_t* into, std::size_t room) mutable {
        for (;;) {
            errno = 0;
            const std::size_t got = std::fread(into, 1, room, source);
            if (std::ferror(source)) {
                if (errno == 0) errno = EIO;
                return std::int64_t{-1};
            }
            import_progress::Advance(got);
            if (found || got == 0) return static_cast<std::int64_t>(got);
            const auto* colon = static_cast<const std::uint8_t*>(std::memchr(into, ':', got));
            if (colon == nullptr) continue;
            found = true;
            const auto after = static_cast<std::size_t>(colon - into) + 1;
            std::memmove(into, into + after, got - after);
            if (got > after) return static_cast<std::int64_t>(got - after);
        }
    };
}

}  // namespace binhex

}  // namespace veskar
