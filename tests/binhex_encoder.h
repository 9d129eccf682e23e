// SPDX-License-Identifier: Apache-2.0
// A small BinHex 4.0 encoder for the tests and the benchmark, written from the published
// format and sharing nothing with the decoder: the header, the forks and their CRC-16 check
// values; run-length packing with the marker 0x90; six-bit characters in lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tests/mac_fixtures.h"

namespace veskar {

struct BinHexStyle {
    std::string preamble = "(This file must be converted with BinHex 4.0)\n\n";
    std::string lineBreak = "\n";
    std::size_t lineLength = 64;  // code characters per line, the opening colon counted
    // Continue a run longer than 255 with a second marker (the repeated byte carries over),
    // as encoders do; otherwise the byte is written again before the next marker.
    bool chainRuns = true;
    bool wrongChecks = false;         // every check value off by one
    bool wrongDataCheck = false;      // the data fork's alone
    bool wrongResourceCheck = false;  // the resource fork's alone
    std::uint8_t version = 0;
};

// CRC-16 with polynomial 0x1021 and start value 0, the check value of BinHex 4.0.
std::uint16_t BinHexCrc(const Bytes& bytes);

// The expanded stream of a file: name length, name, version, type, creator, Finder flags,
// fork lengths, header check, data fork and check, resource fork and check.
Bytes ExpandedStreamOf(const MacFile& file, const BinHexStyle& style = {});

// Run-length packing and six-bit encoding, fed in pieces so that large texts stream.
class BinHexWriter {
  public:
    using Sink = std::function<void(std::string_view)>;
    BinHexWriter(Sink sink, const BinHexStyle& style);
    void Put(const std::uint8_t* bytes, std::size_t count);  // expanded bytes
    void Finish();  // the last run, the last partial group, the closing colon

  private:
    void EndRun();
    void Pack(std::uint8_t byte);
    void Emit(char c);

    Sink sink_;
    BinHexStyle style_;
    int runByte_ = -1;
    std::size_t runLength_ = 0;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    std::size_t column_ = 0;
    std::string pending_;
};

// The whole text of a file.
std::string EncodeBinHex(const MacFile& file, const BinHexStyle& style = {});

}  // namespace veskar
