// SPDX-License-Identifier: Apache-2.0
// BinHex 4.0's text made from the bytes of its stream (the header, the data fork, the resource
// fork, each with its CRC-16): runs of a byte packed with 0x90, every three bytes as four of
// its 64 characters, 64 characters a line, between the colons that frame it, after the
// identification line.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veskar {

constexpr std::string_view kBinHexIdentification = "(This file must be converted with BinHex 4.0)";

class BinHexEncoder {
  public:
    // `sink` takes the text in pieces, in order; false stops the encoding (a write failed).
    using Sink = std::function<bool(std::string_view text)>;
    explicit BinHexEncoder(Sink sink);
    // The next bytes of the stream. False once the sink refused.
    bool Put(std::span<const std::uint8_t> bytes);
    // Ends the stream: the last run, the last characters, the closing colon.
    bool Finish();

  private:
    // Packs the bytes into runs, into packed_.
    void Pack(std::span<const std::uint8_t> bytes);
    void EndRun();
    // Encodes packed_ but for the last one or two bytes of a group of three.
    void Encode();
    void Emit(char c);
    bool Flush();

    Sink sink_;
    int runByte_ = -1;
    std::size_t runLength_ = 0;
    std::vector<std::uint8_t> packed_;
    std::string text_;
    std::size_t column_ = 0;
    bool failed_ = false;
};

}  // namespace veskar
