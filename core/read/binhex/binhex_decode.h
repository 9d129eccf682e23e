// SPDX-License-Identifier: Apache-2.0
// The two steps of BinHex 4.0 decoding as routines over blocks in memory, each keeping its
// state between blocks: the 6-bit code characters into packed bytes, and the run-length
// expansion of the packed bytes. The window's file passes and the command line's one-pass
// reading are both made of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veskar {

namespace binhex {

// The code characters in order of value: a character stands for its position here.
constexpr std::string_view kAlphabet =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
static_assert(kAlphabet.size() == 64);

// The value a code character stands for. A byte outside the alphabet (other than CR, LF and
// colon, which are never code characters) is still a code character; it stands for 0.
std::uint8_t CodeValue(std::uint8_t c);

// What a colon inside the data means. The window reads on to the end of the file and drops
// every colon as it drops line breaks; BinHex 4.0 itself ends the data at the closing colon.
enum class Colon { Dropped, EndsData };

// Code characters into packed bytes. CR and LF count for nothing wherever they stand; every
// other byte fills a place in a group of four (one outside the alphabet stands for 0).
class TextDecoder {
  public:
    // With `vectors`, where the processor has AVX2, the code characters are copied out of
    // the text 32 at a time, its line breaks left out, and decoded 32 at a time; otherwise
    // the scalar decoding, four groups at a time between line breaks, does it all.
    explicit TextDecoder(Colon colon, bool vectors = true);

    // True where the processor decodes with vectors.
    static bool VectorsAvailable();

    // The room a block of `textBytes` needs for its packed bytes: the groups it completes,
    // one more that began in an earlier block, and the bytes over that the stores may touch.
    static constexpr std::size_t PackedRoom(std::size_t textBytes) {
        return (textBytes / 4 + 1) * 3 + 8;
    }

    // Decodes `text` into `packed`, which has PackedRoom(text.size()) bytes, and returns the
    // bytes written. The whole block is used unless a colon ends the data in it; `used` tells
    // how much was.
    std::size_t Decode(std::span<const std::uint8_t> text, std::uint8_t* packed, std::size_t& used);

    // The text has ended. When a colon ends the data, a last group of two or three
    // characters carries one or two bytes (encoders end the text with one); they are written
    // to `packed` (room for 4) and counted. The window's rule drops such a group: 0.
    std::size_t Finish(std::uint8_t* packed);

    // A colon has ended the data; nothing more is decoded.
    bool Ended() const { return ended_; }

  private:
    std::size_t DecodeScalar(std::span<const std::uint8_t> text, std::uint8_t* packed,
                             std::size_t& used);
    std::size_t DecodeWithVectors(std::span<const std::uint8_t> text, std::uint8_t* packed,
                                  std::size_t& used);

    Colon colon_;
    bool vectors_;
    bool ended_ = false;
    std::uint8_t group_[4] = {};
    std::size_t gathered_ = 0;
};

// The marker of a run in the packed bytes; the count byte follows it.
constexpr std::uint8_t kRunMarker = 0x90;

// Packed bytes into expanded bytes. A byte other than the marker stands for itself; marker 0
// is one 0x90; marker k repeats the last byte written until the run is k long. The byte a
// run repeats is the last one written: it stays so after a run (one run may follow another
// to go past 255), it is 0x90 after a literal marker, and 0 at the start. A marker at the
// very end adds nothing.
class RunExpander {
  public:
    // Expands from the front of `packed` into `out` until `room` bytes are written or
    // `packed` is used up; returns the bytes written and leaves in `packed` what is left.
    std::size_t Expand(std::span<const std::uint8_t>& packed, std::uint8_t* out, std::size_t room);

  private:
    std::uint8_t previous_ = 0x00;
    bool marker_ = false;
    std::size_t runLeft_ = 0;  // copies of previous_ still to write
};

}  // namespace binhex

}  // namespace veskar
