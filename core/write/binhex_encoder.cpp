// SPDX-License-Identifier: Apache-2.0
#include "core/write/binhex_encoder.h"

namespace veskar {

namespace {

constexpr std::string_view kCodes =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr std::size_t kLineLength = 64;
constexpr std::uint8_t kRunMarker = 0x90;
constexpr std::size_t kLongestRun = 255;  // the marker's count holds the byte itself too
// The text goes to the sink in pieces of about this size.
constexpr std::size_t kPiece = 256 * 1024;

}  // namespace

BinHexEncoder::BinHexEncoder(Sink sink) : sink_(std::move(sink)) {
    text_.reserve(kPiece + kLineLength * 2);
    text_ += kBinHexIdentification;
    text_ += "\n";
    Emit(':');
}

bool BinHexEncoder::Put(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (byte == runByte_ && runLength_ < kLongestRun) {
            ++runLength_;
            continue;
        }
        EndRun();
        runByte_ = byte;
        runLength_ = 1;
    }
    return !failed_ && (text_.size() < kPiece || Flush());
}

void BinHexEncoder::EndRun() {
    if (runByte_ < 0) return;
    const auto byte = static_cast<std::uint8_t>(runByte_);
    Pack(byte);
    if (byte == kRunMarker) Pack(0);  // the marker's own byte, as a literal
    if (runLength_ == 2) {
        Pack(byte);
        if (byte == kRunMarker) Pack(0);
    } else if (runLength_ > 2) {
        Pack(kRunMarker);
        Pack(static_cast<std::uint8_t>(runLength_));
    }
    runByte_ = -1;
    runLength_ = 0;
}

void BinHexEncoder::EncodeGroup() {
    const std::uint32_t bits =
        std::uint32_t{packed_[0]} << 16 | std::uint32_t{packed_[1]} << 8 | packed_[2];
    if (column_ + 4 <= kLineLength) {
        const char group[4] = {kCodes[bits >> 18], kCodes[(bits >> 12) & 0x3F],
                               kCodes[(bits >> 6) & 0x3F], kCodes[bits & 0x3F]};
        text_.append(group, 4);
        column_ += 4;
        if (column_ == kLineLength) {
            text_ += '\n';
            column_ = 0;
        }
    } else {
        for (const int shift : {18, 12, 6, 0})
            Emit(kCodes[(bits >> shift) & 0x3F]);
    }
    packedCount_ = 0;
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
    // The last one or two bytes: their characters, the unused low bits zero.
    if (packedCount_ > 0) {
        const std::size_t count = packedCount_;
        for (std::size_t i = count; i < 3; ++i)
            packed_[i] = 0;
        const std::uint32_t bits =
            std::uint32_t{packed_[0]} << 16 | std::uint32_t{packed_[1]} << 8 | packed_[2];
        for (std::size_t i = 0; i <= count; ++i)
            Emit(kCodes[(bits >> (18 - 6 * i)) & 0x3F]);
        packedCount_ = 0;
    }
    Emit(':');
    if (column_ != 0) text_ += '\n';
    return Flush();
}

}  // namespace veskar
