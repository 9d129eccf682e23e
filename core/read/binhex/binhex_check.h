// SPDX-License-Identifier: Apache-2.0
// What the command line asks of a BinHex text beyond the window's import: where its data
// starts when mail or news headers stand before the identification line, and a reading of
// the whole text in memory (no intermediate files) that checks the three CRC-16 values and
// tells the header fields and how much of each fork the text holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

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

// Decodes the text from the first colon after `start` to the closing colon and reads the
// expanded stream's fields, computing each CRC-16 as it goes. Memory stays constant.
Contents ReadContents(std::FILE* source, std::uint64_t start);

// Why a check fails, for people; empty when all three are there and match.
std::string CheckProblem(const Contents& contents);

// What the text ends before, as a truncated source's detail: its header, or else the forks
// as their lengths state them; empty when all of them are whole.
std::string ForkShortfall(const Contents& contents);

}  // namespace binhex

}  // namespace veskar
