// SPDX-License-Identifier: Apache-2.0
// BinHex 4.0 text back into the bytes it encodes, in two streaming passes between files: the
// 6-bit code characters into packed bytes, then the run-length expansion of the packed bytes.
// Each pass reads one stream from its current position to its end and writes another;
// neither looks for the identification line, and no check value is computed or compared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string_view>

#include "core/read/binhex/binhex_decode.h"

namespace veskar {

namespace binhex {

// Blocks read from a C stream, handed out one byte at a time.
class ByteSource {
  public:
    explicit ByteSource(std::FILE* stream);
    // False at the end of the stream, or at a read error, which ends a pass the same way;
    // ReadError then tells them apart.
    bool Next(std::uint8_t& byte) {
        if (at_ == end_ && !Refill()) return false;
        byte = buffer_[at_++];
        return true;
    }
    // What is held and not yet handed out; Skip(n) hands out n of those bytes.
    std::span<const std::uint8_t> Held() const { return {&buffer_[at_], end_ - at_}; }
    void Skip(std::size_t count) { at_ += count; }
    // Reads the next block once everything held has been handed out; false at the end.
    bool Refill();
    // The errno of the first read that failed; 0 while none has.
    int ReadError() const { return readError_; }

    static constexpr std::size_t kBlock = 64 * 1024;

  private:
    std::FILE* stream_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    int readError_ = 0;
};

// Four code characters; DecodeCodeGroup turns the first three positions into the bytes.
using CodeGroup = std::array<std::uint8_t, 4>;

// Replaces the four characters by the three bytes they encode (the first value supplies the
// top six bits); the fourth position becomes 0.
void DecodeCodeGroup(CodeGroup& group);

// How a pass ended. After ReadFailed, errno tells why.
enum class PassResult { Done, ReadFailed, WriteFailed };

// Pass 1: from the first colon of the text (wherever it stands) to the end of the source,
// every complete group of code characters becomes three packed bytes. Nothing but the end of
// the source ends the data.
PassResult DecodeBinHexText(std::FILE* text, std::FILE* packed);

// Pass 2: a byte other than the marker stands for itself; marker 0 is one 0x90; marker k
// repeats the last byte written until the run is k long.
PassResult ExpandRuns(std::FILE* packed, std::FILE* expanded);

}  // namespace binhex

}  // namespace veskar
