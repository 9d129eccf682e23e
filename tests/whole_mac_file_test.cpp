// SPDX-License-Identifier: Apache-2.0
// What the readers take from each format besides the forks (dates, comments, attributes,
// folders' information) and the variants other tools write, read from bytes in memory.
#include <gtest/gtest.h>

#include "core/common/byte_source.h"
#include "core/common/mac_time.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/macbinary.h"
#include "core/write/server_records.h"
#include "tests/apple_fixtures.h"

namespace veskar {

namespace {

namespace af = apple_fixtures;

constexpr std::uint32_t kComment = 4, kFileDates = 8, kMacFileInfo = 10;
// Seconds between 1904-01-01 and 1970-01-01, and between 1970-01-01 and 2000-01-01.
constexpr std::int64_t k1904 = 2082844800, k2000 = 946684800;

Bytes Words(std::initializer_list<std::uint32_t> words, bool littleEndian = false) {
    Bytes out(4 * words.size());
    std::size_t at = 0;
    for (const std::uint32_t word : words) {
        PutBigEndian32(out, at, word);
        if (littleEndian) std::reverse(out.begin() + at, out.begin() + at + 4);
        at += 4;
    }
    return out;
}

MacFileReading ReadSingle(const Bytes& bytes, bool everyVariant = true) {
    MemorySource source(bytes);
    return ReadAppleSingle(source, {.everyVariant = everyVariant});
}

MacFileReading ReadPair(const Bytes& data, const Bytes& companion) {
    MemorySource dataSource(data);
    MemorySource companionSource(companion);
    return ReadAppleDouble(dataSource, companionSource, "._file", {.everyVariant = true});
}

std::vector<std::string> NamesOf(const std::vector<ExtendedAttribute>& attributes) {
    std::vector<std::string> names;
    for (const ExtendedAttribute& attribute : attributes)
        names.push_back(attribute.name);
    return names;
}

}  // namespace

TEST(WholeMacFile, MacBinaryDatesCommentAndSecondaryHeader) {
    MacFile file;
    file.data = PatternBytes(300, 1);
    file.resource = PatternBytes(40, 2);
    file.created = 3762669652;  // 2023-03-26 10:00:52, taken as UTC
    file.modified = file.created + 60;
    file.comment = "Found on a 1991 CD";
    file.secondaryHeader = 20;
    const Bytes bytes = EncodeMacBinary(file);
    MemorySource source(bytes);
    const MacFileReading reading = ReadMacBinary(source);
    ASSERT_FALSE(reading.refusal);
    EXPECT_FALSE(reading.checkFailure);
    EXPECT_EQ(reading.file.dates.created, std::int64_t{3762669652} - k1904);
    EXPECT_EQ(mac_time::Iso8601(*reading.file.dates.created), "2023-03-26T10:00:52Z");
    EXPECT_EQ(reading.file.dates.modified, *reading.file.dates.created + 60);
    EXPECT_FALSE(reading.file.dates.backedUp);
    EXPECT_EQ(reading.file.comment, file.comment);
    // The forks lie past the secondary header, padded to 128 bytes.
    EXPECT_EQ(reading.file.data.offset, 256u);
    EXPECT_EQ(reading.file.resource.offset, 256u + 384u);
    EXPECT_TRUE(reading.file.shortfall.empty());

    // A secondary header longer than the file holds is no MacBinary: it would place the
    // forks past the end.
    Bytes overlong = bytes;
    PutBigEndian16(overlong, 120, 0xFF00);
    MemorySource overlongSource(overlong);
    EXPECT_TRUE(ReadMacBinary(overlongSource).refusal);
    // Nor one whose secondary header, padded to 128 bytes as it is kept, leaves too little.
    Bytes padded = bytes;
    PutBigEndian16(padded, 120, 1);
    padded.resize(400);
    MemorySource paddedSource(padded);
    EXPECT_TRUE(ReadMacBinary(paddedSource).refusal);

    // A date of 0 is none; MacBinary I carries no comment.
    file.created = file.modified = 0;
    file.comment.clear();
    file.secondaryHeader = 0;
    const Bytes plain = EncodeMacBinary(file);
    MemorySource plainSource(plain);
    const MacFileReading undated = ReadMacBinary(plainSource);
    EXPECT_FALSE(undated.file.dates.Any());
    EXPECT_EQ(undated.file.data.offset, 128u);
}

TEST(WholeMacFile, AppleSingleDatesCommentAttributesAndNames) {
    const Bytes name = BytesOf("hello\xE2\x80\xA2\xE2\x86\x97");  // "hello•↗" in UTF-8
    const std::vector<AppleEntry> entries = {
        {af::kRealName, name},
        {kFileDates, Words({0x2BC1D4B4, 0x2BC1D4F0, 0x80000000, 0x80000000})},
        {kComment, BytesOf(std::string("A note\0\0\0", 9))},
        {kMacFileInfo, Words({1})},
        {af::kFinderInfo, FinderInfo("TEXTttxt")},
        {af::kDataFork, BytesOf("text")}};
    const MacFileReading reading = ReadSingle(EncodeAppleSingle(entries));
    ASSERT_FALSE(reading.refusal);
    EXPECT_EQ(reading.file.dates.created, k2000 + 0x2BC1D4B4);
    EXPECT_EQ(reading.file.dates.modified, k2000 + 0x2BC1D4F0);
    EXPECT_FALSE(reading.file.dates.backedUp);  // 0x80000000: unknown
    EXPECT_EQ(reading.file.comment, "A note");
    EXPECT_EQ(reading.file.macAttributes, mac_attributes::kLocked);
    EXPECT_EQ(NameAsUtf8(reading.file), "hello\xE2\x80\xA2\xE2\x86\x97");
    // The window reads names as Mac Roman, as the format's documents say.
    EXPECT_EQ(NameAsUtf8(ReadSingle(EncodeAppleSingle(entries), false).file),
              "hello\xE2\x80\x9A\xC3\x84\xC2\xA2\xE2\x80\x9A\xC3\x9C\xC3\xB3");
    // A Mac Roman name stays Mac Roman: 0x8E is an e with an acute accent.
    const MacFileReading roman =
        ReadSingle(EncodeAppleSingle({{af::kRealName, BytesOf("Caf\x8E")}}));
    EXPECT_EQ(NameAsUtf8(roman.file), "Caf\xC3\xA9");
}

TEST(WholeMacFile, VersionOneFileInfoAndLittleEndianFiles) {
    // Version 1 keeps the dates (since 1904) and the attributes in its Macintosh file info.
    const MacFileReading v1 = ReadSingle(EncodeAppleSingle(
        {{af::kFileInfo, Words({3762669652, 3762669712, 0, 1})}, {af::kDataFork, BytesOf("x")}},
        {.version = af::kVersion1, .homeFileSystem = "Macintosh"}));
    ASSERT_FALSE(v1.refusal);
    EXPECT_EQ(v1.file.dates.created, std::int64_t{3762669652} - k1904);
    EXPECT_EQ(v1.file.dates.modified, std::int64_t{3762669712} - k1904);
    EXPECT_FALSE(v1.file.dates.backedUp);
    EXPECT_EQ(v1.file.macAttributes, mac_attributes::kLocked);

    // A faulty macOS tool writes every field little-endian (magic 00 16 05 00).
    const std::vector<AppleEntry> entries = {
        {af::kFinderInfo, FinderInfo("TEXTttxt")},
        {kFileDates, Words({0x2BC1D4B4, 0x2BC1D4F0, 0x80000000, 0x80000000}, true)},
        {af::kDataFork, BytesOf("little")}};
    const Bytes little = EncodeAppleSingle(entries, {.littleEndian = true});
    ASSERT_EQ(Bytes(little.begin(), little.begin() + 4), (Bytes{0x00, 0x16, 0x05, 0x00}));
    const MacFileReading read = ReadSingle(little);
    ASSERT_FALSE(read.refusal);
    EXPECT_EQ(read.file.typeCreator(), (TypeCreator{'T', 'E', 'X', 'T', 't', 't', 'x', 't'}));
    EXPECT_EQ(read.file.data.length, 6u);
    EXPECT_EQ(read.file.dates.modified, k2000 + 0x2BC1D4F0);
    EXPECT_EQ(ReadSingle(little, false).refusal->result, ImportResult::WrongKind);
}

// macOS's ATTR block as the Finder and tar wrote it: every attribute in its order, an empty
// one among them, and the attributes the entries are never taken for attributes.
TEST(WholeMacFile, AttributesOfRealMacOsCompanions) {
    const std::string outside = OutsideSamplesDir();
    if (outside.empty()) GTEST_SKIP() << "NO OUTSIDE SAMPLES: skipped";
    const MacFileReading four =
        ReadPair({}, ReadFile(outside + "/appledouble/la-four-xattrs/._myfile"));
    ASSERT_FALSE(four.refusal);
    EXPECT_EQ(NamesOf(four.file.extendedAttributes),
              (std::vector<std::string>{"com.opcoders.a_first", "com.opcoders.b_second",
                                        "com.opcoders.c_empty", "com.opcoders.d_last"}));
    EXPECT_EQ(four.file.extendedAttributes[0].value, BytesOf("first"));
    EXPECT_TRUE(four.file.extendedAttributes[2].value.empty());
    EXPECT_EQ(four.file.extendedAttributes[3].value, BytesOf("last"));

    const Bytes padded = ReadFile(outside + "/appledouble/samba-osx-xattr-tags/._file");
    const MacFileReading tags = ReadPair({}, padded);
    ASSERT_FALSE(tags.refusal);
    EXPECT_EQ(NamesOf(tags.file.extendedAttributes),
              (std::vector<std::string>{"com.apple.metadata:_kMDItemUserTags", "foo:bar"}));
    EXPECT_EQ(tags.file.typeCreator(), (TypeCreator{'T', 'E', 'S', 'T', 'S', 'L', 'O', 'W'}));
    EXPECT_EQ(tags.file.resource.length, 286u);

    // What the appledouble layout writes reads back the same, in macOS's compact form.
    const std::vector<std::uint8_t> header =
        MakeAppleDoubleHeader(tags.file.finderInfo, 0, four.file.extendedAttributes);
    const MacFileReading again = ReadPair({}, Bytes(header.begin(), header.end()));
    ASSERT_FALSE(again.refusal);
    EXPECT_EQ(again.file.extendedAttributes, four.file.extendedAttributes);
    EXPECT_EQ(again.file.finderInfo, tags.file.finderInfo);
    EXPECT_TRUE(again.file.shortfall.empty());
}

TEST(WholeMacFile, CompanionsUnderEveryNamingConvention) {
    EXPECT_EQ(AppleDoubleCompanionPaths("dir/Photo", {.everyVariant = true}),
              (std::vector<std::string>{"dir/._Photo", "dir/%Photo", "dir/Photo.rsrc"}));
    EXPECT_EQ(AppleDoubleCompanionPaths("dir/Photo", {}),
              (std::vector<std::string>{"dir/._Photo"}));
    EXPECT_EQ(DataFileOfCompanion("dir/%Photo", {.everyVariant = true}), "dir/Photo");
    EXPECT_EQ(DataFileOfCompanion("dir/Photo.rsrc", {.everyVariant = true}), "dir/Photo");
    EXPECT_EQ(DataFileOfCompanion("dir/Photo.rsrc", {}), std::nullopt);
    EXPECT_EQ(DataFileOfCompanion("dir/._Photo", {}), "dir/Photo");

    // A data-fork entry never shortens the data file: another tool's entry of length 0.
    const Bytes data = PatternBytes(5000, 3);
    const MacFileReading pair = ReadPair(
        data, EncodeAppleDouble({{af::kFinderInfo, FinderInfo("IJKLMNOP")}, {af::kDataFork, {}}}));
    ASSERT_FALSE(pair.refusal);
    EXPECT_EQ(pair.file.data.length, data.size());
}

}  // namespace veskar
