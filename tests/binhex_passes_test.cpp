// SPDX-License-Identifier: Apache-2.0
// The two decoding passes: the alphabet, code groups across line breaks, the start of the
// data, run-length expansion, and whole texts from the tests' own encoder and from the
// sample collection, whose check values the tests compute themselves.
#include "core/read/binhex/binhex_passes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

// Runs one pass over `input` through real (temporary) files and returns what it wrote.
Bytes RunPass(binhex::PassResult (*pass)(std::FILE*, std::FILE*), const Bytes& input) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    EXPECT_EQ(pass(in, out), binhex::PassResult::Done);
    std::rewind(out);
    Bytes result;
    int c;
    while ((c = std::fgetc(out)) != EOF)
        result.push_back(static_cast<std::uint8_t>(c));
    std::fclose(in);
    std::fclose(out);
    return result;
}

Bytes Packed(const std::string& text) {
    return RunPass(binhex::DecodeBinHexText, BytesOf(text));
}
Bytes Expanded(const Bytes& packed) {
    return RunPass(binhex::ExpandRuns, packed);
}
Bytes Decoded(const std::string& text) {
    return Expanded(Packed(text));
}

std::string Label(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

// The alphabet as the format's table gives it, range by range.
int ExpectedValue(unsigned char c) {
    const struct {
        unsigned char first, last;
        int value;
    } ranges[] = {{0x21, 0x2D, 0}, {'0', '6', 13}, {'8', '9', 20}, {'@', '@', 22},
                  {'A', 'N', 23},  {'P', 'V', 37}, {'X', '[', 44}, {'`', '`', 48},
                  {'a', 'f', 49},  {'h', 'm', 55}, {'p', 'r', 61}};
    for (const auto& r : ranges)
        if (c >= r.first && c <= r.last) return r.value + (c - r.first);
    return -1;
}

TEST(BinHexAlphabet, EveryCodeCharacterHasItsPositionAndOthersAreZero) {
    int members = 0;
    for (int c = 0; c < 256; ++c) {
        const int expected = ExpectedValue(static_cast<unsigned char>(c));
        binhex::CodeGroup group{'!', '!', '!', static_cast<std::uint8_t>(c)};
        binhex::DecodeCodeGroup(group);
        // The low six bits of the third byte are the fourth character's value; a character
        // outside the alphabet stands for 0.
        EXPECT_EQ(group[2], expected < 0 ? 0 : expected) << "character " << c;
        EXPECT_EQ(group[3], 0);
        if (expected >= 0) ++members;
    }
    EXPECT_EQ(members, 64);
    for (char c : std::string("7OWgno"))
        EXPECT_EQ(ExpectedValue(c), -1) << c;
}

TEST(BinHexAlphabet, CharactersOutsideTheAlphabetStillFillAPlace) {
    // "7", "O", "W", "g", "n", "o", space and tab each take a place and shift what follows;
    // only CR, LF and colon are passed over.
    for (char c : std::string("7OWgno \t")) {
        EXPECT_EQ(Packed(std::string(":") + c + "!!!!!!!:").size(), 6u) << int(c);
        EXPECT_EQ(Packed(std::string(":") + c + "!!!!!!:").size(), 3u) << int(c);
    }
}

TEST(BinHexCodeGroup, FourValuesMakeThreeBytesMostSignificantFirst) {
    // r stands for 63 and ! for 0, so each value's six bits are seen in their place.
    binhex::CodeGroup group{'r', '!', 'r', '!'};
    binhex::DecodeCodeGroup(group);
    EXPECT_EQ(group[0], 0xFC);
    EXPECT_EQ(group[1], 0x0F);
    EXPECT_EQ(group[2], 0xC0);
    group = {'!', 'r', '!', 'r'};
    binhex::DecodeCodeGroup(group);
    EXPECT_EQ(group[0], 0x03);
    EXPECT_EQ(group[1], 0xF0);
    EXPECT_EQ(group[2], 0x3F);
}

struct TextCase {
    const char* label;
    std::string text;
    Bytes packed;
};

void PrintTo(const TextCase& row, std::ostream* os) {
    *os << row.label;
}

// Q stands for 38 and q for 62: 38<<2|62>>4 = 0x9B, (62&15)<<4|62>>2 = 0xEF,
// (62&3)<<6|62 = 0xBE.
const Bytes kQqqq{0x9B, 0xEF, 0xBE};

const TextCase kTextCases[] = {
    {"LF", ":Qqqq\n:", kQqqq},
    {"CR LF", ":Qqqq\r\n:", kQqqq},
    {"CR alone", ":Qqqq\r:", kQqqq},
    {"break inside a group", ":Qq\r\nqq:", kQqqq},
    {"every style between each character", ":Q\rq\nq\r\nq\n\r:", kQqqq},
    {"later colons pass over", ":Qq:qq:", kQqqq},
    {"text before the first colon is never decoded",
     "(This file must be converted with BinHex 4.0)\n\n:Qqqq:", kQqqq},
    {"characters after the closing colon go on",
     ":Qqqq:\nQqqq\n",
     {0x9B, 0xEF, 0xBE, 0x9B, 0xEF, 0xBE}},
    {"an incomplete last group is dropped", ":QqqqQqqqQq:", {0x9B, 0xEF, 0xBE, 0x9B, 0xEF, 0xBE}},
    {"three characters alone give nothing", ":Qqq:", {}},
    {"no colon gives nothing", "Qqqq Qqqq\n", {}},
    // The space stands for 0 and pushes the last q into an incomplete group.
    {"a space shifts the groups", ": Qqqq:", {0x02, 0x6F, 0xBE}},
};

class BinHexTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(BinHexTextTest, Packs) {
    EXPECT_EQ(Packed(GetParam().text), GetParam().packed) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Rows, BinHexTextTest, testing::ValuesIn(kTextCases),
                         [](const auto& row) { return Label(row.param.label); });

TEST(BinHexText, ColonInAMailHeaderStartsTheData) {
    // Decoding starts at "Subject:", whatever follows; the result is what the text from that
    // colon on gives, identification line and all.
    const std::string rest = " news\n\n(This file must be converted with BinHex 4.0)\n:Qqqq:\n";
    EXPECT_EQ(Packed("From someone\nSubject:" + rest), Packed(":" + rest));
    EXPECT_NE(Packed("From someone\nSubject:" + rest), kQqqq);
}

struct RunCase {
    const char* label;
    Bytes packed;
    Bytes expanded;
};

void PrintTo(const RunCase& row, std::ostream* os) {
    *os << row.label;
}

const RunCase kRunCases[] = {
    {"plain bytes", {0x41, 0x42}, {0x41, 0x42}},
    {"run of four", {0x41, 0x90, 0x04}, {0x41, 0x41, 0x41, 0x41}},
    {"count one adds nothing", {0x41, 0x90, 0x01}, {0x41}},
    {"literal marker", {0x90, 0x00}, {0x90}},
    {"run of the literal marker",
     {0x2B, 0x90, 0x00, 0x90, 0x05},
     {0x2B, 0x90, 0x90, 0x90, 0x90, 0x90}},
    // One run after another repeats the same byte: the repeated byte persists.
    {"run after a run", {0x41, 0x90, 0x03, 0x90, 0x03}, {0x41, 0x41, 0x41, 0x41, 0x41}},
    {"run at the very start repeats zero", {0x90, 0x03}, {0x00, 0x00}},
    {"run after a run at the very start", {0x90, 0x03, 0x90, 0x02, 0x07}, {0, 0, 0, 0x07}},
    {"marker at the very end adds nothing", {0x41, 0x90}, {0x41}},
    {"count of 0x90", {0x41, 0x90, 0x90}, Bytes(0x90, 0x41)},
    {"longest run", {0x00, 0x90, 0xFF}, Bytes(255, 0x00)},
};

class BinHexRunTest : public testing::TestWithParam<RunCase> {};

TEST_P(BinHexRunTest, Expands) {
    EXPECT_EQ(Expanded(GetParam().packed), GetParam().expanded) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Rows, BinHexRunTest, testing::ValuesIn(kRunCases),
                         [](const auto& row) { return Label(row.param.label); });

TEST(BinHexRuns, MarkerSplitFromItsCountAcrossReadBlocks) {
    // The count byte stands first in the second block of the reader.
    Bytes packed(binhex::ByteSource::kBlock - 1, 0x41);
    packed.push_back(0x90);
    packed.push_back(0x05);
    Bytes expected(binhex::ByteSource::kBlock - 1 + 4, 0x41);
    EXPECT_EQ(Expanded(packed), expected);
}

// Forks with runs of every length around the limits, 0x90 bytes and runs of them.
MacFile RunnyFile(std::uint32_t seed, std::size_t dataSize, std::size_t resourceSize) {
    MacFile file;
    file.name = "Runny " + std::to_string(seed);
    file.finderFlags = 0x0100;
    auto fill = [seed](std::size_t size, std::uint32_t salt) {
        Bytes out = PatternBytes(size, seed * 7 + salt);
        std::size_t at = 0;
        const std::size_t lengths[] = {2, 3, 254, 255, 256, 509, 510, 511, 1000};
        for (std::size_t i = 0; at < size; ++i) {
            const std::size_t run = lengths[i % std::size(lengths)];
            const std::uint8_t byte = i % 3 == 0 ? 0x90 : out[at];
            for (std::size_t j = 0; j < run && at + j < size; ++j)
                out[at + j] = byte;
            at += run + 40;
        }
        return out;
    };
    file.data = fill(dataSize, 1);
    file.resource = fill(resourceSize, 2);
    return file;
}

TEST(BinHexDecoding, TextsFromTheTestEncoderGiveTheirExpandedStream) {
    const struct {
        const char* label;
        BinHexStyle style;
        MacFile file;
    } cases[] = {
        {"LF lines, chained runs", {}, RunnyFile(1, 5000, 3000)},
        {"CR lines", {.lineBreak = "\r"}, RunnyFile(2, 4097, 0)},
        {"CR LF lines, runs restarted",
         {.lineBreak = "\r\n", .chainRuns = false},
         RunnyFile(3, 0, 7000)},
        {"one long line, wrong checks",
         {.lineLength = 1u << 30, .wrongChecks = true},
         RunnyFile(4, 300, 300)},
    };
    for (const auto& c : cases) {
        const Bytes expected = ExpandedStreamOf(c.file, c.style);
        Bytes got = Decoded(EncodeBinHex(c.file, c.style));
        // The last group may be partial, so up to two bytes of the final check can be lost;
        // nothing reads them.
        ASSERT_GE(got.size() + 2, expected.size()) << c.label;
        ASSERT_LE(got.size(), expected.size()) << c.label;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << c.label;
    }
}

// Real files: each of their three check values, computed here, must match what the passes
// produce. A decoder that reads one run after another the wrong way fails these.
TEST(BinHexDecoding, SampleFilesPassTheirOwnCheckValues) {
    const std::filesystem::path samples = std::filesystem::path(VESKAR_SAMPLES_DIR) / "binhex";
    if (!std::filesystem::is_directory(samples))
        GTEST_SKIP() << "NO SAMPLES at " << samples << ": test skipped";
    int checked = 0;
    for (const char* name : {"4x6.hqx", "INSIDE_S.HQX", "NETM2340.HQX", "THINKC.HQX", "a.hqx",
                             "b.hqx", "example.hqx", "gc229_10.hqx", "MOD12.HQX"}) {
        const Bytes text = ReadFile((samples / name).string());
        ASSERT_FALSE(text.empty()) << name;
        // MOD12.HQX has a listing with no colon before its identification line.
        const Bytes e = Expanded(RunPass(binhex::DecodeBinHexText, text));
        ASSERT_GT(e.size(), 22u) << name;
        const std::size_t n = e[0];
        auto be32 = [&e](std::size_t at) {
            return std::uint32_t{e[at]} << 24 | std::uint32_t{e[at + 1]} << 16 |
                   std::uint32_t{e[at + 2]} << 8 | e[at + 3];
        };
        auto be16 = [&e](std::size_t at) { return std::uint16_t(e[at] << 8 | e[at + 1]); };
        const std::size_t d = be32(12 + n), r = be32(16 + n);
        ASSERT_GE(e.size(), 24 + n + d + r) << name;
        const Bytes header(e.begin(), e.begin() + 20 + static_cast<std::ptrdiff_t>(n));
        const auto data = e.begin() + 22 + static_cast<std::ptrdiff_t>(n);
        const auto resource = data + static_cast<std::ptrdiff_t>(d) + 2;
        EXPECT_EQ(BinHexCrc(header), be16(20 + n)) << name << " header";
        EXPECT_EQ(BinHexCrc(Bytes(data, data + static_cast<std::ptrdiff_t>(d))), be16(22 + n + d))
            << name << " data fork";
        if (e.size() >= 26 + n + d + r) {
            EXPECT_EQ(BinHexCrc(Bytes(resource, resource + static_cast<std::ptrdiff_t>(r))),
                      be16(24 + n + d + r))
                << name << " resource fork";
        }
        ++checked;
    }
    EXPECT_EQ(checked, 9);
}

}  // namespace

}  // namespace veskar
