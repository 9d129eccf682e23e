// SPDX-License-Identifier: Apache-2.0
#include "core/write/binhex_encoder.h"

#include <array>
#include <cstring>

namespace veskar {

namespace {

constexpr std::string_view kCodes =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr std::size_t kLineLength = 64;
constexpr std::uint8_t kRunMarker = 0x90;
constexpr std::size_t kLongestRun = 255;  // the marker's count holds the byte itself too
// The text goes to the sink in pieces of about this size.
constexpr std::size_t kPiece = 256 * 1024;

// The two characters of every 12 bits: one look-up for each half of a group of three bytes.
const std::array<std::array<char, 2>, 4096>& CodePairs() {
    static const auto pairs = [] {
        std::array<std::array<char, 2>, 4096> table{};
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = {kCodes[i >> 6], kCodes[i & 0x3F]};
        return table;
    }();
    return pairs;
}

constexpr bool HasZeroByte(std::uint64_t v) {
    return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

}  // namespace

BinHexEncoder::BinHexEncoder(Sink sink) : sink_(std::move(sink)) {
    // A piece of text, and what one Put of a large chunk adds before it is handed on.
    text_.reserve(3 * kPiece);
    text_ += kBinHexIdentification;
    text_ += "\n";
    Emit(':');
}

bool BinHexEncoder::Put(std::span<const std::uint8_t> bytes) {
    packed_.reserve(packed_.size() + bytes.size() + bytes.size() / 64 + 8);
    Pack(bytes);
    Encode();
    return !failed_ && (text_.size() < kPiece || Flush());
}

void BinHexEncoder::Pack(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* in = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    // A run that the last bytes began goes on while the same byte does.
    while (runByte_ >= 0 && i < n && in[i] == runByte_ && runLength_ < kLongestRun) {
        ++runLength_;
        ++i;
    }
    if (i == n) return;
    EndRun();
    while (i < n) {
        // The bytes as they are, up to a marker's byte or the start of a run of three.
        std::size_t j = i;
        // Eight bytes at a time while none is the marker's and none equals the next.
        for (; j + 10 <= n; j += 8) {
            std::uint64_t here, next;
            std::memcpy(&here, in + j, 8);
            std::memcpy(&next, in + j + 1, 8);
            if (HasZeroByte(here ^ next) || HasZeroByte(here ^ 0x9090909090909090ull)) break;
        }
        while (j + 2 < n && in[j] != kRunMarker && (in[j] != in[j + 1] || in[j] != in[j + 2]))
            ++j;
        if (j + 2 >= n && j < n && in[j] != kRunMarker) {
            // The last bytes, one by one: they may begin a run that the next bytes go on with.
            packed_.insert(packed_.end(), in + i, in + j);
            for (; j < n; ++j) {
                if (in[j] == runByte_ && runLength_ < kLongestRun) {
                    ++runLength_;
                    continue;
                }
                EndRun();
                runByte_ = in[j];
                runLength_ = 1;
            }
            return;
        }
        packed_.insert(packed_.end(), in + i, in + j);
        // A run (or a marker's byte alone) from j: kept pending when it reaches the end.
        std::size_t k = j + 1;
        const std::uint64_t same = 0x0101010101010101ull * in[j];
        for (std::uint64_t eight; k + 8 <= n && k - j + 8 <= kLongestRun; k += 8) {
            std::memcpy(&eight, in + k, 8);
            if (eight != same) break;
        }
        while (k < n && in[k] == in[j] && k - j < kLongestRun)
            ++k;
        runByte_ = in[j];
        runLength_ = k - j;
        if (k == n) return;
        EndRun();
        i = k;
    }
}

void BinHexEncoder::EndRun() {
    if (runByte_ < 0) return;
    const auto byte = static_cast<std::uint8_t>(runByte_);
    const auto literal = [this, byte] {
        packed_.push_back(byte);
        if (byte == kRunMarker) packed_.push_back(0);  // the marker's own byte, as a literal
    };
    literal();
    if (runLength_ == 2) {
        literal();
    } else if (runLength_ > 2) {
        packed_.push_back(kRunMarker);
        packed_.push_back(static_cast<std::uint8_t>(runLength_));
    }
    runByte_ = -1;
    runLength_ = 0;
}

void BinHexEncoder::Encode() {
    const std::size_t groups = packed_.size() / 3;
    if (groups == 0) return;
    // Room for four characters a group and a line break every sixteen.
    std::size_t at = text_.size();
    text_.resize(at + groups * 4 + groups / 16 + 2);
    char* out = text_.data();
    const std::uint8_t* in = packed_.data();
    const auto& pairs = CodePairs();
    const auto codesOf = [&pairs](const std::uint8_t* three, char* into) {
        const std::uint32_t bits =
            std::uint32_t{three[0]} << 16 | std::uint32_t{three[1]} << 8 | three[2];
        std::memcpy(into, pairs[bits >> 12].data(), 2);
        std::memcpy(into + 2, pairs[bits & 0xFFF].data(), 2);
    };
    for (std::size_t group = 0; group < groups;) {
        // The groups that fit whole on this line, without a look at the column each; then the
        // one the line break falls in, character by character.
        const std::size_t whole = std::min((kLineLength - 1 - column_) / 4, groups - group);
        for (std::size_t i = 0; i < whole; ++i, in += 3, at += 4)
            codesOf(in, out + at);
        column_ += whole * 4;
        group += whole;
        if (group == groups) break;
        char codes[4];
        codesOf(in, codes);
        in += 3;
        ++group;
        for (const char c : codes) {
            out[at++] = c;
            if (++column_ == kLineLength) {
                out[at++] = '\n';
                column_ = 0;
            }
        }
    }
    text_.resize(at);
    packed_.erase(packed_.begin(), packed_.begin() + static_cast<std::ptrdiff_t>(groups * 3));
}

void BinHexEncoder::Emit(char c) {
    text_ += c;
    if (++column_ == kLineLength) {
        text_ += '\n';
        column_ = 0;
    }
}

bool BinHexEncoder::Flush() {
    if (!failed_ && !text_.empty() && !sink_(text_)) failed_ = true;
    text_.clear();
    return !failed_;
}

bool BinHexEncoder::Finish() {
    EndRun();
    Encode();
    // The last one or two bytes: their characters, the unused low bits zero.
    if (!packed_.empty()) {
        const std::size_t count = packed_.size();
        packed_.resize(3, 0);
        const std::uint32_t bits =
            std::uint32_t{packed_[0]} << 16 | std::uint32_t{packed_[1]} << 8 | packed_[2];
        for (std::size_t i = 0; i <= count; ++i)
            Emit(kCodes[(bits >> (18 - 6 * i)) & 0x3F]);
        packed_.clear();
    }
    Emit(':');
    if (column_ != 0) text_ += '\n';
    return Flush();
}

}  // namespace veskar
