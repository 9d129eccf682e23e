// SPDX-License-Identifier: Apache-2.0
#include "tests/binhex_encoder.h"

namespace veskar {

namespace {

constexpr char kCodes[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

void Append16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Append32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendText(Bytes& out, const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

}  // namespace

std::uint16_t BinHexCrc(const Bytes& bytes) {
    std::uint16_t crc = 0;
    for (std::uint8_t byte : bytes) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

Bytes ExpandedStreamOf(const MacFile& file, const BinHexStyle& style) {
    const std::uint16_t skew = style.wrongChecks ? 1 : 0;
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(file.name.size()));
    AppendText(out, file.name, file.name.size());
    out.push_back(style.version);
    AppendText(out, file.type, 4);
    AppendText(out, file.creator, 4);
    Append16(out, file.finderFlags);
    Append32(out, static_cast<std::uint32_t>(file.data.size()));
    Append32(out, static_cast<std::uint32_t>(file.resource.size()));
    Append16(out, static_cast<std::uint16_t>(BinHexCrc(out) + skew));
    out.insert(out.end(), file.data.begin(), file.data.end());
    Append16(out, static_cast<std::uint16_t>(BinHexCrc(file.data) + skew + style.wrongDataCheck));
    out.insert(out.end(), file.resource.begin(), file.resource.end());
    Append16(out, static_cast<std::uint16_t>(BinHexCrc(file.resource) + skew +
                                             style.wrongResourceCheck));
    return out;
}

BinHexWriter::BinHexWriter(Sink sink, const BinHexStyle& style)
    : sink_(std::move(sink)), style_(style) {
    sink_(style_.preamble);
    Emit(':');
}

void BinHexWriter::Put(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == runByte_) {
            ++runLength_;
            continue;
        }
        EndRun();
        runByte_ = bytes[i];
        runLength_ = 1;
    }
}

void BinHexWriter::EndRun() {
    if (runByte_ < 0) return;
    const auto byte = static_cast<std::uint8_t>(runByte_);
    auto literal = [&] {
        Pack(byte);
        if (byte == 0x90) Pack(0x00);
    };
    std::size_t left = runLength_;
    while (left > 0) {
        literal();
        --left;
        if (left < 2) {
            if (left == 1) {
                literal();
                left = 0;
            }
            break;
        }
        // A marker with count k stands for k - 1 more copies.
        std::size_t more = std::min<std::size_t>(left, 254);
        Pack(0x90);
        Pack(static_cast<std::uint8_t>(more + 1));
        left -= more;
        while (style_.chainRuns && left >= 2) {
            more = std::min<std::size_t>(left, 254);
            Pack(0x90);
            Pack(static_cast<std::uint8_t>(more + 1));
            left -= more;
        }
    }
    runByte_ = -1;
    runLength_ = 0;
}

void BinHexWriter::Pack(std::uint8_t byte) {
    bits_ = bits_ << 8 | byte;
    bitCount_ += 8;
    while (bitCount_ >= 6) {
        bitCount_ -= 6;
        Emit(kCodes[(bits_ >> bitCount_) & 0x3F]);
    }
}

void BinHexWriter::Emit(char c) {
    pending_.push_back(c);
    if (++column_ == style_.lineLength) {
        pending_ += style_.lineBreak;
        column_ = 0;
    }
    if (pending_.size() >= 4096) {
        sink_(pending_);
        pending_.clear();
    }
}

void BinHexWriter::Finish() {
    EndRun();
    // The last one or two bytes end in a character whose low bits are zero.
    if (bitCount_ > 0) Emit(kCodes[(bits_ << (6 - bitCount_)) & 0x3F]);
    bitCount_ = 0;
    Emit(':');
    pending_ += style_.lineBreak;
    sink_(pending_);
    pending_.clear();
}

std::string EncodeBinHex(const MacFile& file, const BinHexStyle& style) {
    std::string text;
    BinHexWriter writer([&text](std::string_view piece) { text += piece; }, style);
    const Bytes expanded = ExpandedStreamOf(file, style);
    writer.Put(expanded.data(), expanded.size());
    writer.Finish();
    return text;
}

}  // namespace veskar
