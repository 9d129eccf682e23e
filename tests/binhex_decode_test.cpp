// SPDX-License-Identifier: Apache-2.0
// The decoding routines the window's file passes and the command line's one pass share:
// whatever blocks the text and the packed bytes come in, and however little room the output
// has, they give the bytes the whole text gives; and the check value taken eight bytes at a
// time, or by carry-less multiplication, is the one its definition gives.
#include "core/read/binhex/binhex_decode.h"

#include <gtest/gtest.h>

#include <random>

#include "core/common/crc16.h"
#include "core/read/binhex/binhex_passes.h"
#include "core/write/binhex_encoder.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

// Decodes `text` (from after its opening colon) in blocks of `textBlock` bytes, expanding
// into an output of `room` bytes at a time, as a reading does.
Bytes DecodeInBlocks(const Bytes& text, binhex::Colon colon, std::size_t textBlock,
                     std::size_t room, bool vectors = true) {
    binhex::TextDecoder decoder(colon, vectors);
    binhex::RunExpander expander;
    Bytes packed(binhex::TextDecoder::PackedRoom(textBlock));
    Bytes out(room);
    Bytes expanded;
    auto expand = [&](std::size_t count) {
        std::span<const std::uint8_t> left(packed.data(), count);
        std::size_t written;
        do {
            written = expander.Expand(left, out.data(), room);
            expanded.insert(expanded.end(), out.begin(), out.begin() + written);
        } while (written == room || !left.empty());
    };
    for (std::size_t at = 0; at < text.size() && !decoder.Ended(); at += textBlock) {
        std::size_t used = 0;
        const std::size_t count = decoder.Decode(
            {text.data() + at, std::min(textBlock, text.size() - at)}, packed.data(), used);
        expand(count);
    }
    expand(decoder.Finish(packed.data()));
    return expanded;
}

}  // namespace

TEST(BinHexDecode, AnyBlocksGiveWhatTheWholeTextGives) {
    MacFile file;
    file.name = "Blocks";
    file.data = PatternBytes(5000, 3);
    file.resource = PatternBytes(3000, 4);
    // Runs of every kind: of 0x90, past 255, and one ending the data fork.
    std::fill_n(file.data.begin() + 100, 700, 0x90);
    std::fill_n(file.data.begin() + 1000, 300, 0x00);
    std::fill_n(file.resource.end() - 40, 40, 0x41);
    const Bytes stream = ExpandedStreamOf(file);
    for (const char* lineBreak : {"\n", "\r\n", "\r"})
        for (const std::size_t lineLength : {64u, 63u, 7u}) {
            BinHexStyle style;
            style.lineBreak = lineBreak;
            style.lineLength = lineLength;
            const std::string whole = EncodeBinHex(file, style) + "\ntrailing: text after the end";
            const Bytes text = BytesOf(whole.substr(whole.find(':') + 1));
            // The window's passes through files read on past the closing colon.
            std::FILE* in = std::tmpfile();
            std::FILE* packed = std::tmpfile();
            std::FILE* out = std::tmpfile();
            std::fwrite(whole.data(), 1, whole.size(), in);
            std::rewind(in);
            ASSERT_EQ(binhex::DecodeBinHexText(in, packed), binhex::PassResult::Done);
            std::rewind(packed);
            ASSERT_EQ(binhex::ExpandRuns(packed, out), binhex::PassResult::Done);
            Bytes passes(static_cast<std::size_t>(std::ftell(out)));
            std::rewind(out);
            ASSERT_EQ(std::fread(passes.data(), 1, passes.size(), out), passes.size());
            for (std::FILE* f : {in, packed, out})
                std::fclose(f);
            ASSERT_GE(passes.size(), stream.size() - 2);
            for (const std::size_t block : {1u, 3u, 5u, 16u, 17u, 4096u, 1u << 20})
                for (const std::size_t room : {1u, 2u, 255u, 4096u}) {
                    SCOPED_TRACE(std::to_string(lineLength) + " " + std::to_string(block) + " " +
                                 std::to_string(room));
                    // To the closing colon, the last short group included: the stream itself.
                    for (const bool vectors : {true, false}) {
                        EXPECT_EQ(
                            DecodeInBlocks(text, binhex::Colon::EndsData, block, room, vectors),
                            stream);
                        EXPECT_EQ(
                            DecodeInBlocks(text, binhex::Colon::Dropped, block, room, vectors),
                            passes);
                    }
                }
        }
}

// Every byte value, code character or not, in every place of a group, decoded with vectors
// and without them, line breaks and colons among them.
TEST(BinHexDecode, VectorsDecodeEveryByteAsTheScalarDecodingDoes) {
    std::mt19937 random(11);
    Bytes text(100000);
    for (std::uint8_t& byte : text) {
        byte = static_cast<std::uint8_t>(random());
        if (byte == ':' && random() % 64 != 0) byte = 'x';
    }
    if (!binhex::TextDecoder::VectorsAvailable()) GTEST_SKIP() << "no AVX2 here";
    for (const auto colon : {binhex::Colon::Dropped, binhex::Colon::EndsData})
        for (const std::size_t block : {7u, 4096u, 100000u})
            EXPECT_EQ(DecodeInBlocks(text, colon, block, 4096, true),
                      DecodeInBlocks(text, colon, block, 4096, false));
}

TEST(Crc16, TablesAndMultiplicationAsTheDefinitionGives) {
    std::mt19937 random(7);
    Bytes bytes(300);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        const std::span<const std::uint8_t> all(part);
        const std::uint16_t expected = BinHexCrc(part);
        // Continued from a CRC so far, split anywhere.
        const std::size_t split = length * 5 / 7;
        const std::uint16_t first = BinHexCrc(Bytes(part.begin(), part.begin() + split));
        EXPECT_EQ(Crc16(all), expected);
        EXPECT_EQ(Crc16ByTables(all), expected);
        EXPECT_EQ(Crc16ByTables(all.subspan(split), first), expected);
        if (const auto multiplied = Crc16ByMultiplication(all.subspan(split), first)) {
            EXPECT_EQ(*multiplied, expected);
        }
    }
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3")) {
        EXPECT_TRUE(Crc16ByMultiplication(bytes).has_value());
    }
#endif
}

// The layout's encoder, fed in pieces of every size: its text decodes to the very stream, in
// lines of 64 characters after the identification line.
TEST(BinHexDecode, TheLayoutsEncoderRoundTripsInPiecesOfAnySize) {
    MacFile file;
    file.data = PatternBytes(5000, 9);
    file.resource = PatternBytes(700, 10);
    std::fill_n(file.data.begin() + 100, 700, 0x90);
    std::fill_n(file.data.begin() + 1000, 300, 0x00);
    file.data[2000] = file.data[2001] = 0x90;
    std::fill_n(file.resource.end() - 40, 40, 0x41);
    const Bytes stream = ExpandedStreamOf(file);
    for (const std::size_t piece : {1u, 2u, 3u, 7u, 255u, 4096u, 1u << 20}) {
        std::string text;
        BinHexEncoder encoder([&text](std::string_view more) {
            text += more;
            return true;
        });
        for (std::size_t at = 0; at < stream.size(); at += piece)
            ASSERT_TRUE(encoder.Put({stream.data() + at, std::min(piece, stream.size() - at)}));
        ASSERT_TRUE(encoder.Finish());
        ASSERT_TRUE(text.starts_with(std::string(kBinHexIdentification) + "\n:")) << piece;
        for (std::size_t at = text.find(':'), end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            EXPECT_LE(end - at, 64u) << piece;
        }
        EXPECT_EQ(DecodeInBlocks(BytesOf(text.substr(text.find(':') + 1)), binhex::Colon::EndsData,
                                 4096, 4096, true),
                  stream)
            << piece;
    }
}

}  // namespace veskar
