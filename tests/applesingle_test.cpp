// SPDX-License-Identifier: Apache-2.0
// The shared entry table and the AppleSingle import, on a real NTFS volume.
#include "core/read/applesingle.h"
#include "core/import.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/read/entry_table.h"
#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/environment.h"

namespace veskar {

namespace {

namespace af = apple_fixtures;

const Bytes kData = PatternBytes(300, 1);
const Bytes kResource = PatternBytes(50, 2);

std::vector<AppleEntry> Typical(const std::string& name = "Report") {
    return {{af::kRealName, BytesOf(name)},
            {af::kFinderInfo, FinderInfo("TEXTttxt")},
            {af::kDataFork, kData},
            {af::kResourceFork, kResource}};
}

std::vector<AppleEntry> Without(std::size_t index, std::vector<AppleEntry> entries) {
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    return entries;
}

// Entries the imports skip, each with bytes that would show if one were taken.
std::vector<AppleEntry> Ignored(std::vector<std::uint32_t> ids) {
    std::vector<AppleEntry> entries;
    for (std::uint32_t id : ids)
        entries.push_back({id, PatternBytes(24, id)});
    return entries;
}

Bytes Cut(Bytes image, std::size_t bytes) {
    image.resize(image.size() - bytes);
    return image;
}

TEST(EntryTable, OnlyTheMagicDecidesTheKind) {
    const std::pair<Bytes, int> rows[] = {
        // 1 AppleSingle, 2 AppleDouble, 0 neither; 3 and 4 the same written little-endian,
        // which only every variant takes
        {{0x00, 0x05, 0x16, 0x00}, 1}, {{0x00, 0x05, 0x16, 0x07}, 2},
        {{0x00, 0x16, 0x05, 0x00}, 3}, {{0x07, 0x16, 0x05, 0x00}, 4},
        {{0x00, 0x05, 0x16, 0x01}, 0}, {{0x00, 0x00, 0x00, 0x00}, 0}};
    for (const auto& [magic, kind] : rows) {
        HeaderRead header;
        header.block.fill(0xA5);  // whatever follows the magic does not matter
        header.bytesRead = header.block.size();
        std::copy(magic.begin(), magic.end(), header.block.begin());
        EXPECT_EQ(IsAppleSingleHeader(header), kind == 1) << int{magic[3]};
        EXPECT_EQ(IsAppleDoubleHeader(header), kind == 2) << int{magic[3]};
        EXPECT_EQ(IsAppleSingleHeader(header, true), kind == 1 || kind == 3) << int{magic[3]};
        EXPECT_EQ(IsAppleDoubleHeader(header, true), kind == 2 || kind == 4) << int{magic[3]};
    }
}

// Descriptors written, count stated, bytes after them -> descriptors read, all in file order.
TEST(EntryTable, EveryWholeCountedDescriptorIsRead) {
    const std::size_t rows[][4] = {{2, 5, 11, 2},     {19, 19, 0, 19},  {20, 20, 0, 20},
                                   {25, 25, 100, 25}, {25, 40, 11, 25}, {25, 0, 0, 0}};
    TempDir dir;
    for (const auto& [written, count, trailing, expected] : rows) {
        Bytes image(26 + 12 * written + trailing, 0);
        PutBigEndian16(image, 24, static_cast<std::uint16_t>(count));
        for (std::size_t i = 0; i < written; ++i) {
            for (std::size_t field = 0; field < 3; ++field)
                PutBigEndian32(image, 26 + 12 * i + 4 * field,
                               static_cast<std::uint32_t>(0x80000000u * field + i));
        }
        ASSERT_TRUE(WriteFile(dir.File("t"), image));
        std::FILE* f = std::fopen(dir.File("t").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EntryTrouble trouble;
        FileSource source(f);
        const auto entries = ReadEntryTable(source, ReadHeaderBlock(source), trouble);
        std::fclose(f);
        ASSERT_EQ(entries.size(), expected) << written << " " << count;
        // A count that runs past the end of the file is a table the file ends in.
        EXPECT_EQ(trouble.shortfall.empty(), count * 12 <= written * 12 + trailing) << count;
        EXPECT_EQ(trouble.readFailure, "");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].id, i);
            EXPECT_EQ(entries[i].offset, 0x80000000u + i);
            EXPECT_EQ(entries[i].length, i);  // 2 * 2^31 + i, in 32 bits
        }
    }
}

struct SingleCase {
    const char* label;
    Bytes image;
    std::string source = "file.as";  // native names
    std::string output = "Report";
    Bytes data = kData;
    std::optional<Bytes> resource = kResource;  // nullopt: no AFP_Resource stream
    Bytes typeCreator = TypeCreatorBytes("TEXTttxt");
    // A file that ends before what it states is written as far as it goes, and truncated.
    ImportResult result = ImportResult::Converted;
    std::string detail{};
};

void PrintTo(const SingleCase& row, std::ostream* os) {
    *os << row.label;
}

const std::vector<AppleEntry> kPastTheEnd = {{af::kRealName, 0xFFFFFFFF, 0xFFFFFFFF},
                                             {af::kFinderInfo, 0xFFFFFFFF, 0xFFFFFFFF},
                                             {af::kDataFork, 0xFFFFFFFF, 0xFFFFFFFF},
                                             {af::kResourceFork, 0xFFFFFFFF, 0xFFFFFFFF}};
const Bytes kWholeFileFork =
    EncodeAppleSingle(With(Without(3, Without(2, Typical())), {{af::kDataFork, 0, 0xFFFFFFFF}}));

const SingleCase kCases[] = {
    {.label = "typical", .image = EncodeAppleSingle(Typical())},
    {.label = "90 bytes with name, Finder info and data",
     .image = EncodeAppleSingle({{af::kRealName, BytesOf("Hi.txt")},
                                 {af::kFinderInfo, Cut(FinderInfo("TEXTttxt"), 16)},
                                 {af::kDataFork, BytesOf("hello!")}}),
     .output = "Hi.txt",
     .data = BytesOf("hello!"),
     .resource = std::nullopt},
    {.label = "no data fork entry", .image = EncodeAppleSingle(Without(2, Typical())), .data = {}},
    {.label = "resource fork of length 0",
     .image = EncodeAppleSingle(With(Without(3, Typical()), {{af::kResourceFork, {}}})),
     .resource = std::nullopt},
    {
        .label = "other ids ignored",
        .image =
            EncodeAppleSingle(With(Typical(), Ignored({0, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15,
                                                       0x80000001, 0x80000002, 0x80000009}))),
    },
    {.label = "later entries override earlier ones",
     .image = EncodeAppleSingle(With(Typical("First"), {{af::kRealName, BytesOf("Second")},
                                                        {af::kFinderInfo, FinderInfo("APPLmine")},
                                                        {af::kDataFork, PatternBytes(10, 7)},
                                                        {af::kResourceFork, PatternBytes(5, 8)}})),
     .output = "Second",
     .data = PatternBytes(10, 7),
     .resource = PatternBytes(5, 8),
     .typeCreator = TypeCreatorBytes("APPLmine")},
    // A later entry overrides only what it holds: the creator of the first Finder info stays.
    {.label = "later short Finder info overwrites its leading bytes",
     .image = EncodeAppleSingle(With(Typical(), {{af::kFinderInfo, BytesOf("APPL")}})),
     .typeCreator = TypeCreatorBytes("APPLttxt")},
    {.label = "later name entry past the end leaves no name",
     .image = EncodeAppleSingle(With(Typical(), {{af::kRealName, 0xFFFFFFF0u, 10}})),
     .output = "file.as",
     .result = ImportResult::Truncated,
     .detail = "the name entry lacks all of its 10 bytes"},
    {.label = "Mac Roman name translated",
     .image = EncodeAppleSingle(Typical("Caf\x8E \xA5 a\xA0z")),
     .output = "Caf\u00E9 \u00B7 a_z"},
    {.label = "slash and colon in the name",
     .image = EncodeAppleSingle(Typical("a/b:c")),
     .output = "a_b_c"},
    {.label = "no name entry takes the source's name",
     .image = EncodeAppleSingle(Without(0, Typical())),
     .source = "R\u00E9sum\u00E9 2.as",
     .output = "R\u00E9sum\u00E9 2.as"},
    {.label = "source name outside code page 1252",
     .image = EncodeAppleSingle(Without(0, Typical())),
     .source = "\u03A9mega.as",
     .output = "__mega.as"},
    {.label = "empty name takes the source's name",
     .image = EncodeAppleSingle(Typical(std::string("\0Hidden", 7))),
     .output = "file.as"},
    {.label = "name ends at a zero byte",
     .image = EncodeAppleSingle(Typical(std::string("Ab\0cd", 5))),
     .output = "Ab"},
    // 255 bytes are read; the output then keeps the extension within 242 characters.
    {.label = "name longer than 255 bytes",
     .image = EncodeAppleSingle(Typical(std::string(251, 'n') + ".abc" + std::string(45, 'x'))),
     .output = std::string(238, 'n') + ".abc"},
    {.label = "name cut short by the end of the file",
     .image = Cut(EncodeAppleSingle(
                      With(Without(0, Typical()), {{af::kRealName, BytesOf("Truncated name")}})),
                  5),
     .output = "Truncated",
     .result = ImportResult::Truncated,
     .detail = "the name entry lacks 5 of its 14 bytes"},
    {.label = "entries past the end of the file",
     .image = EncodeAppleSingle(kPastTheEnd),
     .output = "file.as",
     .data = {},
     .resource = std::nullopt,
     .typeCreator = Bytes(8, 0),
     .result = ImportResult::Truncated,
     .detail = "the data fork lacks all of its 4294967295 bytes; the resource fork lacks all of "
               "its 4294967295 bytes; the name entry lacks all of its 4294967295 bytes; the "
               "Finder info entry lacks all of its 4294967295 bytes"},
    {.label = "data fork longer than the file",
     .image = kWholeFileFork,
     .data = kWholeFileFork,
     .resource = std::nullopt,
     .result = ImportResult::Truncated},
    {.label = "25 entries with the name the 24th",
     .image = EncodeAppleSingle(
         With(Ignored({4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}),
              {Typical()[2], Typical()[1], Typical()[0], Typical()[3]}))},
    {.label = "version 1 with a file info entry",
     .image = EncodeAppleSingle(With({{af::kFileInfo, PatternBytes(16, 3)}}, Typical()),
                                {af::kVersion1, "Macintosh", std::nullopt})},
    {.label = "Finder info shorter than 8 bytes",
     .image =
         EncodeAppleSingle(With(Without(1, Typical()), {{af::kFinderInfo, BytesOf("TEXTtt")}})),
     .typeCreator = TypeCreatorBytes("TEXTtt")},
};

class AppleSingleTest : public testing::TestWithParam<SingleCase> {};

TEST_P(AppleSingleTest, Converts) {
    const SingleCase& row = GetParam();
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const std::optional<std::string> source = NativeName(row.source);
    if (!source) GTEST_SKIP() << "no file on this system can be named " << row.source;
    ASSERT_TRUE(WriteFile(sources.File(*source), row.image));
    ImportReport report;
    ASSERT_EQ(ImportAppleSingle(volume->Root(), sources.File(*source), &report), row.result)
        << report.detail;
    if (!row.detail.empty()) {
        EXPECT_EQ(report.detail, row.detail);
    }
    // Rows give names as UTF-8 text; the system's own names may be code page 1252.
    const std::string output = platform::AnsiToNative(report.outputName);
    EXPECT_EQ(platform::NativeToUtf8(output), row.output);
    // The listing's names are UTF-8 on both systems (std::filesystem's own choice).
    EXPECT_EQ(FilesOnVolume(*volume), std::vector<std::string>{row.output});
    ExpectOutput(*volume, output, row.data, row.resource, row.typeCreator);
}

INSTANTIATE_TEST_SUITE_P(Rows, AppleSingleTest, testing::ValuesIn(kCases),
                         [](const auto& row) { return RowName(row.param.label); });

TEST(ImportAppleSingle, ShortFixtureIsShort) {
    EXPECT_EQ(kCases[1].image.size(), 90u) << kCases[1].label;
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Refusals write nothing, and every path closes the source.
TEST(ImportAppleSingle, RefusalsWriteNothing) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources, plain;
    const std::pair<const char*, Bytes> wrong[] = {{"double", EncodeAppleDouble(Typical())},
                                                   {"three", {0x00, 0x05, 0x16}},
                                                   {"empty", {}},
                                                   {"text", BytesOf("plain text\n")}};
    WriteFile(sources.File("good"), EncodeAppleSingle(Typical()));
    const std::size_t descriptors = OpenDescriptors();
    for (const auto& [name, bytes] : wrong) {
        WriteFile(sources.File(name), bytes);
        EXPECT_EQ(ImportAppleSingle(volume->Root(), sources.File(name)), ImportResult::WrongKind)
            << name;
    }
    EXPECT_EQ(ImportAppleSingle(volume->Root(), sources.File("missing")), ImportResult::CannotOpen);
    ImportReport report;
    EXPECT_EQ(ImportAppleSingle(plain.Path(), sources.File("good"), &report),
              ImportResult::WriteFailed);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_TRUE(std::filesystem::is_empty(plain.Path()));
    EXPECT_TRUE(FilesOnVolume(*volume).empty());
    EXPECT_EQ(ImportAppleSingle(volume->Root(), sources.File("good")), ImportResult::Converted);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// Under 4 bytes a prefix is not AppleSingle; from there on every prefix but the whole file is
// truncated, each fork holding what of it the prefix still has, and nothing else is left.
TEST(ImportAppleSingle, EveryPrefixOfAFileHasADefinedResult) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const Bytes image = EncodeAppleSingle(Typical("Sweep"));
    const std::size_t dataAt = 26 + 4 * 12 + 5 + 32, resourceAt = dataAt + kData.size();
    std::vector<std::pair<std::size_t, std::string>> converted;
    for (std::size_t prefix = 0; prefix <= image.size(); ++prefix) {
        const std::string path = sources.File("p" + std::to_string(prefix));
        ASSERT_TRUE(WriteFile(path, Cut(image, image.size() - prefix)));
        ImportReport report;
        const ImportResult result = ImportAppleSingle(volume->Root(), path, &report);
        const ImportResult expected = prefix < 4              ? ImportResult::WrongKind
                                      : prefix < image.size() ? ImportResult::Truncated
                                                              : ImportResult::Converted;
        ASSERT_EQ(result, expected) << prefix << ": " << report.detail;
        if (result != ImportResult::WrongKind) converted.emplace_back(prefix, report.outputName);
        ASSERT_EQ(FilesOnVolume(*volume).size(), converted.size()) << prefix;
    }
    auto part = [&](std::size_t from, std::size_t to) {
        return from < to ? Bytes(image.begin() + static_cast<std::ptrdiff_t>(from),
                                 image.begin() + static_cast<std::ptrdiff_t>(to))
                         : Bytes{};
    };
    const std::size_t typeAt = 26 + 4 * 12 + 5;
    for (const auto& [prefix, name] : converted) {
        SCOPED_TRACE(prefix);
        const Bytes typeCreator = part(typeAt, std::min(prefix, typeAt + 8));
        const Bytes resource = part(resourceAt, prefix);
        ExpectOutput(*volume, name, part(dataAt, std::min(prefix, resourceAt)),
                     resource.empty() ? std::nullopt : std::optional(resource),
                     TypeCreatorBytes(std::string(typeCreator.begin(), typeCreator.end())));
    }
}

// Each byte of the header and the descriptors set to 0xFF in turn (huge counts, offsets and
// lengths that wrap when added): every image gives a clean result and at most one output
// (a count, offset or length that runs past the end of the file makes it truncated).
TEST(ImportAppleSingle, DamagedHeaderBytesGiveCleanResults) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const Bytes image = EncodeAppleSingle(Typical("Flip"));
    const std::size_t tableEnd = 26 + 4 * 12;
    std::size_t converted = 0;
    for (std::size_t at = 0; at < tableEnd; ++at) {
        Bytes damaged = image;
        damaged[at] = 0xFF;
        const std::string path = sources.File("f" + std::to_string(at));
        ASSERT_TRUE(WriteFile(path, damaged));
        const ImportResult result = ImportAppleSingle(volume->Root(), path);
        EXPECT_TRUE(result == ImportResult::Converted || result == ImportResult::Truncated ||
                    result == ImportResult::WrongKind)
            << at;
        if (result != ImportResult::WrongKind) ++converted;
        EXPECT_EQ(FilesOnVolume(*volume).size(), converted) << at;
    }
    EXPECT_EQ(converted, tableEnd - 4);  // only the magic's bytes decide the kind
}

// The real files: {file, output name, where the data fork starts (it runs to the end)}. None
// has Finder info or a resource fork.
TEST(ImportAppleSingle, RealSamples) {
    const std::string samples = SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "NO SAMPLES at " << VESKAR_SAMPLES_DIR << ": skipped";
    const std::tuple<const char*, const char*, std::size_t> rows[] = {
        {"4x6.dfont.as", "4x6.dfont", 0x6B},  // a name entry, and dates and ProDOS info skipped
        {"apple.bin", "apple.bin", 0x3A},     // no name: the file's own
        {"hello.applesingle.bin", "hello.applesingle.bin", 0x3A}};
    for (const auto& [file, output, dataAt] : rows) {
        SCOPED_TRACE(file);
        REQUIRE_NTFS(volume);
        CurrentFolderGuard guard;
        const std::string path = samples + "/applesingle/" + file;
        const Bytes source = ReadFile(path);
        ASSERT_GT(source.size(), dataAt);
        ImportReport report;
        ASSERT_EQ(ImportAppleSingle(volume->Root(), path, &report), ImportResult::Converted)
            << report.detail;
        EXPECT_EQ(report.outputName, output);
        ExpectOutput(*volume, output,
                     Bytes(source.begin() + static_cast<std::ptrdiff_t>(dataAt), source.end()),
                     std::nullopt, Bytes(8, 0));
    }
}

}  // namespace

}  // namespace veskar
