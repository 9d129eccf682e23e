// SPDX-License-Identifier: Apache-2.0
// What the command line asks of a BinHex text beyond the window's import: a reading of the
// whole text in memory (no intermediate files) that checks the three CRC-16 values and tells
// the header fields and how much of each fork the text holds, and what it found, in words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "core/read/binhex/binhex_stream.h"

namespace veskar {

namespace binhex {

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
