// SPDX-License-Identifier: Apache-2.0
// A BinHex 4.0 text read in one pass, from the first colon to the closing one: the header,
// then each fork's bytes as they are asked for, every check value computed on the way and
// compared as soon as it is reached. No intermediate file, and memory stays constant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/read/binhex/binhex_decode.h"
#include "core/read/binhex/binhex_format.h"

namespace veskar {

namespace binhex {

enum class Check { Header, DataFork, ResourceFork };

struct Contents {
    bool headerComplete = false;    // the name and the 21-byte record were all there
    std::size_t headerPresent = 0;  // the bytes of the name length, name and record there
    std::uint8_t nameLength = 0;
    std::array<std::uint8_t, 255> name{};
    std::array<std::uint8_t, expanded::kRecordSize> record{};
    std::uint32_t dataLength = 0;  // as the record states them
    std::uint32_t resourceLength = 0;
    std::uint64_t dataPresent = 0;  // bytes of each fork that the text holds
    std::uint64_t resourcePresent = 0;
    std::optional<Check> wrong;    // the first check value that does not match
    std::optional<Check> missing;  // the first one that the text ends before
    std::string readFailure;       // why a read of the text failed; empty when none did
};

// Where a reading gets its text, from just after the opening colon: up to `room` bytes into
// `into`; the count, 0 at the end, -1 after a read that failed (errno tells why).
using TextRead = std::function<std::int64_t(std::uint8_t* into, std::size_t room)>;

// The text of `source` from its position on, from just after the first colon there, each
// block read counted for the progress display.
TextRead TextAfterFirstColon(std::FILE* source);

class ExpandedReading {
  public:
    // What it finds is noted in `contents` as it goes.
    ExpandedReading(TextRead read, Contents& contents);
    ~ExpandedReading();
    ExpandedReading(const ExpandedReading&) = delete;
    ExpandedReading& operator=(const ExpandedReading&) = delete;

    // Reads the name and the record and, when a fork after them is empty, its check value.
    // False when the text ends first or a read fails.
    bool ReadHeader();

    // Up to `room` bytes of `fork` into `into`: the count; 0 once the fork is whole, when the
    // text has ended, or before the forks ahead of it are read; -1 after a failed read. The
    // fork's check value is read and compared before its last bytes are handed out, and so
    // are those of the empty fork after it.
    std::int64_t ReadFork(Check fork, std::uint8_t* into, std::size_t room);

    // Reads on to the end of the data, passing over the forks' bytes; false after a failed
    // read.
    bool ReadToEnd();

  private:
    enum class Phase { Header, Data, Resource, Done };

    std::int64_t Pull(std::uint8_t* out, std::size_t room);
    std::int64_t PullExact(std::uint8_t* out, std::size_t count);
    bool Refill();
    void StartFork(Phase phase, std::uint32_t length);
    bool Settle();
    void TextEnded();

    TextRead read_;
    Contents& contents_;
    TextDecoder decoder_{Colon::EndsData};
    RunExpander expander_;
    std::unique_ptr<std::uint8_t[]> text_;
    std::unique_ptr<std::uint8_t[]> packed_;
    std::span<const std::uint8_t> packedLeft_;
    bool textEnded_ = false;
    bool failed_ = false;
    Phase phase_ = Phase::Header;
    std::uint16_t crc_ = 0;
    std::uint64_t forkDone_ = 0;
    std::uint64_t forkLength_ = 0;
};

}  // namespace binhex

}  // namespace veskar
