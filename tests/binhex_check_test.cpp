// SPDX-License-Identifier: Apache-2.0
// The command line's reading of BinHex texts: the CRC-16 checks, where the data starts behind
// mail and news headers, and the MacBinary II/III header check value.
#include "core/read/binhex/binhex_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/common/crc16.h"
#include "core/read/macbinary.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

struct Stream {
    explicit Stream(const std::string& path) : file(std::fopen(path.c_str(), "rb")) {}
    ~Stream() {
        if (file) std::fclose(file);
    }
    std::FILE* file;
};

MacFile Sample() {
    MacFile file;
    file.name = "Checked";
    file.data = PatternBytes(700, 7);
    file.resource = PatternBytes(300, 8);
    return file;
}

// The text of `file` with one byte of its expanded stream changed.
std::string TextWithExpandedByte(const MacFile& file, std::ptrdiff_t at, bool change,
                                 std::size_t keep = std::string::npos) {
    Bytes expanded = ExpandedStreamOf(file);
    if (change) expanded[static_cast<std::size_t>(at < 0 ? expanded.size() + at : at)] ^= 0x01;
    if (keep < expanded.size()) expanded.resize(keep);
    std::string text;
    BinHexWriter writer([&](std::string_view piece) { text += piece; }, BinHexStyle{});
    writer.Put(expanded.data(), expanded.size());
    writer.Finish();
    return text;
}

TEST(BinHexCheck, EachOfTheThreeCheckValues) {
    const MacFile file = Sample();
    const std::ptrdiff_t header = 1 + 7 + 19;  // name length, name, record up to its check
    const std::ptrdiff_t data = 1 + 7 + 21 + 700;
    const struct {
        const char* row;
        std::string text;
        std::string problem;
    } cases[] = {
        {"correct", TextWithExpandedByte(file, 0, false), ""},
        {"header check", TextWithExpandedByte(file, header, true),
         "the check value of the header is wrong"},
        {"header byte", TextWithExpandedByte(file, 3, true),
         "the check value of the header is wrong"},
        {"data check", TextWithExpandedByte(file, data + 1, true),
         "the check value of the data fork is wrong"},
        {"data byte", TextWithExpandedByte(file, data - 1, true),
         "the check value of the data fork is wrong"},
        {"resource check", TextWithExpandedByte(file, -1, true),
         "the check value of the resource fork is wrong"},
        {"resource byte", TextWithExpandedByte(file, -3, true),
         "the check value of the resource fork is wrong"},
        {"cut in the data", TextWithExpandedByte(file, 0, false, 400),
         "the text ends before the check value of the data fork"},
        {"cut at the end", TextWithExpandedByte(file, 0, false, 1 + 7 + 21 + 700 + 2 + 300 + 1),
         "the text ends before the check value of the resource fork"},
        {"no data", "(" + std::string(binhex::kIdentification) + ")\n",
         "the text ends before the check value of the header"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(dir.File("t.hqx"), BytesOf(c.text)));
        Stream in(dir.File("t.hqx"));
        const binhex::Contents contents = binhex::ReadContents(in.file, 0);
        EXPECT_EQ(binhex::CheckProblem(contents), c.problem) << c.row;
        if (c.problem.empty()) {
            EXPECT_EQ(contents.dataPresent, 700u);
            EXPECT_EQ(contents.resourcePresent, 300u);
        }
    }
}

// Mail and news put header lines with colons of their own before the identification line,
// and often more than 128 bytes of them.
TEST(BinHexCheck, DataStartsAtTheFirstLineColonAfterTheIdentification) {
    const std::string body = TextWithExpandedByte(Sample(), 0, false);
    const std::string mail = "Date: Tue, 23 Jun 92 00:21 PDT\nFrom: someone@example.org\n" +
                             std::string(150, 'x') + "\nSubject: re: the file\n\n";
    const std::string sameLine = "(" + std::string(binhex::kIdentification) + ") see :below\n";
    const struct {
        const char* row;
        std::string text;
        std::optional<std::uint64_t> mailStart;
        std::optional<std::uint64_t> windowStart;
    } cases[] = {
        {"plain", body, body.find("\n:") + 1, 0},
        {"mail", mail + body, mail.size() + body.find("\n:") + 1, std::nullopt},
        {"colon on the line", sameLine + ":abc\n", sameLine.size(), 0},
        {"no data line", "(" + std::string(binhex::kIdentification) + ")\nno colon\n",
         std::string(binhex::kIdentification).size() + 12, 0},
        {"none", "just text: with a colon\n", std::nullopt, std::nullopt},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(dir.File("t.hqx"), BytesOf(c.text)));
        Stream in(dir.File("t.hqx"));
        EXPECT_EQ(binhex::FindDataStart(in.file, binhex::Start::LineAfterIdentification),
                  c.mailStart)
            << c.row;
        EXPECT_EQ(binhex::FindDataStart(in.file, binhex::Start::FirstColon), c.windowStart)
            << c.row;
    }
}

// Every real BinHex file passes its checks, the three with mail or news headers among them.
TEST(BinHexCheck, RealSamplesPass) {
    const std::filesystem::path folder = std::filesystem::path(VESKAR_SAMPLES_DIR) / "binhex";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "NO SAMPLES at " << folder;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        Stream in(entry.path().string());
        const auto start = binhex::FindDataStart(in.file, binhex::Start::LineAfterIdentification);
        ASSERT_TRUE(start) << entry.path();
        const binhex::Contents contents = binhex::ReadContents(in.file, *start);
        EXPECT_EQ(binhex::CheckProblem(contents), "") << entry.path();
        EXPECT_EQ(contents.dataPresent, contents.dataLength) << entry.path();
        ++seen;
    }
    EXPECT_GE(seen, 3);
}

TEST(MacBinaryCheck, HeaderCrcOfVersionsTwoAndThree) {
    auto header = [](std::uint8_t version, std::uint8_t minimum, int skew) {
        Bytes bytes = MacBinaryHeaderOf(Sample());
        bytes[122] = version;
        bytes[123] = minimum;
        const std::uint16_t crc =
            static_cast<std::uint16_t>(BinHexCrc(Bytes(bytes.begin(), bytes.begin() + 124)) + skew);
        PutBigEndian16(bytes, 124, version ? crc : 0);
        MacBinaryHeader out;
        std::copy(bytes.begin(), bytes.end(), out.begin());
        return out;
    };
    const struct {
        const char* row;
        MacBinaryHeader header;
        HeaderCrc expected;
    } cases[] = {
        {"MacBinary I", header(0, 0, 0), HeaderCrc::NotCarried},
        {"II", header(129, 129, 0), HeaderCrc::Matches},
        {"II wrong", header(129, 129, 1), HeaderCrc::Wrong},
        {"III", header(130, 129, 0), HeaderCrc::Matches},
        {"III wrong", header(130, 129, 0x100), HeaderCrc::Wrong},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckMacBinaryHeaderCrc(c.header), c.expected) << c.row;
    // The table-driven CRC and the encoder's bitwise one agree.
    const Bytes some = PatternBytes(1000, 9);
    EXPECT_EQ(Crc16(some), BinHexCrc(some));
}

}  // namespace

}  // namespace veskar
