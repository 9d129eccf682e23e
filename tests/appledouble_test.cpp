// SPDX-License-Identifier: Apache-2.0
// The AppleDouble import: the companion's path, classic and macOS-written companions, entry
// handling, refusals, and what lands on a real NTFS volume.
#include "core/read/appledouble.h"
#include "core/import.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/core/conversion_run.h"
#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/environment.h"

namespace veskar {

namespace {

namespace af = apple_fixtures;

const Bytes kData = PatternBytes(1000, 11);
const Bytes kResource = PatternBytes(70, 12);

// The shape classic servers and the Finder on foreign volumes wrote: Finder info, resource.
std::vector<AppleEntry> Classic(const std::string& typeCreator = "TEXTttxt") {
    return {{af::kFinderInfo, FinderInfo(typeCreator)}, {af::kResourceFork, kResource}};
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

struct CompanionPathCase {
    const char* data;
    const char* companion;
};

void PrintTo(const CompanionPathCase& row, std::ostream* os) {
    *os << row.data;
}

class CompanionPathTest : public testing::TestWithParam<CompanionPathCase> {};

TEST_P(CompanionPathTest, InsertsAfterTheLastSeparator) {
    EXPECT_EQ(AppleDoubleCompanionPath(GetParam().data), GetParam().companion);
}

INSTANTIATE_TEST_SUITE_P(Paths, CompanionPathTest,
                         testing::Values(CompanionPathCase{"a/b/c.txt", "a/b/._c.txt"},
                                         CompanionPathCase{"c.txt", "._c.txt"},
                                         CompanionPathCase{"/x", "/._x"},
                                         CompanionPathCase{"dir/", "dir/._"},
                                         CompanionPathCase{"a.b/c", "a.b/._c"}));
#ifdef _WIN32
// Both separators, and a drive-relative path, whose name follows the drive.
INSTANTIATE_TEST_SUITE_P(WindowsPaths, CompanionPathTest,
                         testing::Values(CompanionPathCase{"a\\b\\c.txt", "a\\b\\._c.txt"},
                                         CompanionPathCase{"a\\b/c", "a\\b/._c"},
                                         CompanionPathCase{"C:doc", "C:._doc"},
                                         CompanionPathCase{"C:\\doc", "C:\\._doc"},
                                         CompanionPathCase{"1:doc", "._1:doc"}));
#endif

// The encoder's macOS shape, byte for byte against a companion macOS wrote: header, home file
// system, descriptors, Finder info, padding and the attribute block's header and table.
TEST(MacOsCompanionFixture, MatchesARealCompanion) {
    const std::string samples = SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "NO SAMPLES at " << VESKAR_SAMPLES_DIR << ": skipped";
    const Bytes real = ReadFile(samples + "/appledouble/macos-xattr-hint/._hint.txt");
    ASSERT_EQ(real.size(), 4096u);
    MacOsCompanion companion;
    companion.typeCreator = "";
    companion.resource = Bytes(real.end() - 286, real.end());
    companion.attributes = {
        {"com.apple.lastuseddate#PS", Bytes(real.begin() + 0xA0, real.begin() + 0xB0)}};
    const Bytes made = EncodeMacOsCompanion(companion);
    EXPECT_EQ(made, real);
}

// --- Conversions ----------------------------------------------------------------------------

struct DoubleCase {
    const char* label;
    Bytes (*companion)();
    std::string dataName = "file.txt";
    std::string output = "file.txt";
    Bytes data = kData;  // what the output's data fork holds; the data file is always kData
    std::optional<Bytes> resource = kResource;  // nullopt: no AFP_Resource stream
    Bytes typeCreator = TypeCreatorBytes("TEXTttxt");
    std::size_t companionSize = 0;  // checked when not 0
    // A pair that ends before what it states is written as far as it goes, and truncated.
    ImportResult result = ImportResult::Converted;
    std::string detail{};
};

void PrintTo(const DoubleCase& row, std::ostream* os) {
    *os << row.label;
}

const DoubleCase kDoubleCases[] = {
    {.label = "classic", .companion = [] { return EncodeAppleDouble(Classic()); }},
    {.label = "82-byte companion with a zero-length resource entry",
     .companion =
         [] {
             auto entries = Classic();
             entries[1].bytes.clear();
             return EncodeAppleDouble(entries);
         },
     .resource = std::nullopt,
     .companionSize = 82},
    {.label = "resource entry first",
     .companion =
         [] {
             auto entries = Classic();
             std::swap(entries[0], entries[1]);
             return EncodeAppleDouble(entries);
         }},
    // A data-fork entry of another tool never cuts the data file: the data fork is the data
    // file, whole (regression: one of length 0 beside a disk image lost the whole image, and the
    // result was "converted").
    {.label = "entry 1 of length 100 cuts nothing",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kDataFork, 0, 100}}));
         },
     .data = kData},
    {.label = "entry 1 of length 0 cuts nothing",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kDataFork, 0, 0}}));
         },
     .data = kData},
    {.label = "entry 1 offset not used",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kDataFork, 500, 100}}));
         },
     .data = kData},
    {.label = "entry 1 longer than the data file",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kDataFork, 0, 0xFFFFFFFFu}}));
         },
     .result = ImportResult::Truncated,
     .detail = "the data fork lacks 4294966295 of its 4294967295 bytes"},
    {.label = "macOS companion with an attribute block",
     .companion =
         [] {
             MacOsCompanion companion;
             companion.typeCreator = "TEXTR*ch";
             companion.resource = kResource;
             return EncodeMacOsCompanion(companion);
         },
     .typeCreator = TypeCreatorBytes("TEXTR*ch"),
     .companionSize = 4096},
    {.label = "macOS companion with the resource descriptor first",
     .companion =
         [] {
             MacOsCompanion companion;
             companion.typeCreator = "TEXTR*ch";
             companion.resource = kResource;
             companion.resourceDescriptorFirst = true;
             return EncodeMacOsCompanion(companion);
         },
     .typeCreator = TypeCreatorBytes("TEXTR*ch")},
    {.label = "macOS companion with blank Finder info",
     .companion =
         [] {
             MacOsCompanion companion;
             companion.typeCreator = "";
             companion.resource = kResource;
             companion.attributes.push_back({"com.apple.lastuseddate#PS", PatternBytes(16, 1)});
             return EncodeMacOsCompanion(companion);
         },
     .typeCreator = Bytes(8, 0)},
    {.label = "version 1 with a file info entry",
     .companion =
         [] {
             return EncodeAppleDouble(With({{af::kFileInfo, PatternBytes(16, 3)}}, Classic()),
                                      {af::kVersion1, "ProDOS", std::nullopt});
         }},
    {.label = "name entry",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kRealName, BytesOf("Logo viv.gif")}}));
         },
     .output = "Logo viv.gif"},
    {.label = "Mac Roman name translated",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kRealName, BytesOf("\x8E\xA5\xA0")}}));
         },
     .output = "\u00E9\u00B7_"},
    {.label = "later name wins",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kRealName, BytesOf("First")},
                                                       {af::kRealName, BytesOf("Second")}}));
         },
     .output = "Second"},
    {.label = "no name entry outside code page 1252",
     .companion = [] { return EncodeAppleDouble(Classic()); },
     .dataName = "\u65E5\u672C.txt",
     .output = "______.txt"},
    {.label = "Finder info length not consulted",
     .companion =
         [] {
             auto entries = Classic();
             entries[0].length = 3;
             return EncodeAppleDouble(entries);
         }},
    {.label = "Finder info cut short by the end of the file",
     .companion =
         [] {
             Bytes image = EncodeAppleDouble(
                 {{af::kResourceFork, kResource}, {af::kFinderInfo, BytesOf("TEXTtt")}});
             return image;
         },
     .typeCreator = TypeCreatorBytes("TEXTtt")},
    {.label = "later Finder info wins",
     .companion =
         [] {
             return EncodeAppleDouble(With(Classic(), {{af::kFinderInfo, FinderInfo("APPLmine")}}));
         },
     .typeCreator = TypeCreatorBytes("APPLmine")},
    {.label = "other ids ignored",
     .companion =
         [] {
             auto entries = Classic();
             for (std::uint32_t id : {0u, 4u, 5u, 6u, 7u, 8u, 10u, 11u, 12u, 13u, 14u, 15u,
                                      0x80000001u, 0x80000002u, 0x80000003u, 0x80000009u})
                 entries.push_back({id, PatternBytes(24, id)});
             return EncodeAppleDouble(entries);
         }},
    {.label = "25 entries with the name the 24th",
     .companion =
         [] {
             std::vector<AppleEntry> entries;
             for (std::uint32_t id = 10; entries.size() < 21; ++id)
                 entries.push_back({id, PatternBytes(8, id)});
             entries.push_back(Classic()[0]);
             entries.push_back({af::kDataFork, 0, 100});
             entries.push_back({af::kRealName, BytesOf("Twenty-fourth")});
             entries.push_back(Classic()[1]);
             return EncodeAppleDouble(entries);
         },
     .output = "Twenty-fourth",
     .data = kData},
    {.label = "entries past the end of the file",
     .companion =
         [] {
             std::vector<AppleEntry> entries;
             for (std::uint32_t id : {af::kRealName, af::kFinderInfo, af::kResourceFork})
                 entries.push_back({id, 0xFFFFFFFFu, 0xFFFFFFFFu});
             return EncodeAppleDouble(entries);
         },
     .resource = std::nullopt,
     .typeCreator = Bytes(8, 0),
     .result = ImportResult::Truncated},
};

class AppleDoubleTest : public testing::TestWithParam<DoubleCase> {};

TEST_P(AppleDoubleTest, Converts) {
    const DoubleCase& row = GetParam();
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const Bytes companion = row.companion();
    if (row.companionSize != 0) {
        EXPECT_EQ(companion.size(), row.companionSize);
    }
    const std::optional<std::string> dataName = NativeName(row.dataName);
    if (!dataName) GTEST_SKIP() << "no file on this system can be named " << row.dataName;
    const std::string dataPath = sources.File(*dataName);
    ASSERT_TRUE(WriteFile(dataPath, kData));
    ASSERT_TRUE(WriteFile(AppleDoubleCompanionPath(dataPath), companion));

    ImportReport report;
    ASSERT_EQ(ImportAppleDouble(volume->Root(), dataPath, &report), row.result) << report.detail;
    if (!row.detail.empty()) {
        EXPECT_EQ(report.detail, row.detail);
    }
    // Rows give names as UTF-8 text; the system's own names may be code page 1252.
    const std::string output = platform::AnsiToNative(report.outputName);
    EXPECT_EQ(platform::NativeToUtf8(output), row.output);
    // The listing's names are UTF-8 on both systems (std::filesystem's own choice).
    EXPECT_EQ(FilesOnVolume(*volume), std::vector<std::string>{row.output});

    const ConvertedFile out = ReadConverted(*volume, output);
    ASSERT_TRUE(out.data);
    EXPECT_EQ(*out.data, row.data);
    EXPECT_EQ(out.resource, row.resource);
    EXPECT_EQ(out.afpInfo.size(), 60u);
    EXPECT_EQ(out.TypeCreator(), row.typeCreator);
}

INSTANTIATE_TEST_SUITE_P(Rows, AppleDoubleTest, testing::ValuesIn(kDoubleCases),
                         [](const auto& row) { return RowName(row.param.label); });

// --- Refusals -------------------------------------------------------------------------------

TEST(ImportAppleDouble, MissingOrUnreadableFilesWriteNothing) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    // A data file without a companion, a companion without a data file, and a companion that
    // cannot be opened even by root or an administrator.
    WriteFile(sources.File("alone.txt"), kData);
    WriteFile(sources.File("._orphan.txt"), EncodeAppleDouble(Classic()));
    WriteFile(sources.File("looped.txt"), kData);
    ASSERT_TRUE(MakeUnopenable(sources.File("._looped.txt")));
    for (const char* name : {"alone.txt", "orphan.txt", "looped.txt"})
        EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File(name)), ImportResult::CannotOpen)
            << name;
    EXPECT_TRUE(FilesOnVolume(*volume).empty());
}

// Refused before anything is touched: not even the target folder is entered.
TEST(ImportAppleDouble, CompanionPathTooLongIsRefusedUntouched) {
    CurrentFolderGuard guard;
    TempDir target;
    const auto here = std::filesystem::current_path();
    const std::string data = "/" + std::string(platform::kMaxPathChars - 2, 'd');
    EXPECT_EQ(AppleDoubleCompanionPath(data).size(), platform::kMaxPathChars + 1);
    EXPECT_EQ(ImportAppleDouble(target.Path(), data), ImportResult::CannotOpen);
    EXPECT_EQ(std::filesystem::current_path(), here);
}

TEST(ImportAppleDouble, CompanionWithoutTheMagicIsWrongKind) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const std::pair<const char*, Bytes> companions[] = {
        {"single.txt", EncodeAppleSingle(Classic())},
        {"three.txt", Bytes{0x00, 0x05, 0x16}},
        {"empty.txt", Bytes{}},
        {"text.txt", BytesOf("Icon\r\n")},
    };
    for (const auto& [name, bytes] : companions) {
        WriteFile(sources.File(name), kData);
        WriteFile(sources.File(std::string("._") + name), bytes);
        EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File(name)), ImportResult::WrongKind)
            << name;
    }
    EXPECT_TRUE(FilesOnVolume(*volume).empty());
}

TEST(ImportAppleDouble, TargetWithoutNamedStreamsIsRefusedWithNothingWritten) {
    TempDir sources, target;
    CurrentFolderGuard guard;
    WriteFile(sources.File("a.txt"), kData);
    WriteFile(sources.File("._a.txt"), EncodeAppleDouble(Classic()));
    ImportReport report;
    EXPECT_EQ(ImportAppleDouble(target.Path(), sources.File("a.txt"), &report),
              ImportResult::WriteFailed);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_TRUE(std::filesystem::is_empty(target.Path()));
}

// A data fork is copied with a 32-bit count; a longer data file must not be cut silently.
TEST(ImportAppleDouble, DataFileOf4GiBIsRefused) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const std::string data = sources.File("huge.img");
    WriteFile(data, {});
    std::error_code error;
    std::filesystem::resize_file(data, std::uint64_t{1} << 32, error);  // sparse
    if (error) GTEST_SKIP() << "cannot make a sparse 4 GiB file: " << error.message();
    WriteFile(sources.File("._huge.img"), EncodeAppleDouble(Classic()));
    ImportReport report;
    EXPECT_EQ(ImportAppleDouble(volume->Root(), data, &report), ImportResult::WriteFailed);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_TRUE(FilesOnVolume(*volume).empty());
    // An entry 1 that claims only the file's start cuts nothing: the file is still too long.
    WriteFile(sources.File("._huge.img"),
              EncodeAppleDouble(With(Classic(), {{af::kDataFork, 0, 100}})));
    EXPECT_EQ(ImportAppleDouble(volume->Root(), data, &report), ImportResult::WriteFailed);
    EXPECT_TRUE(FilesOnVolume(*volume).empty());
}

TEST(ImportAppleDouble, BothFilesAreClosedOnEveryPath) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources, plain;
    WriteFile(sources.File("good.txt"), kData);
    WriteFile(sources.File("._good.txt"), EncodeAppleDouble(Classic()));
    WriteFile(sources.File("bad.txt"), kData);
    WriteFile(sources.File("._bad.txt"), BytesOf("nothing"));
    WriteFile(sources.File("alone.txt"), kData);
    const std::size_t before = OpenDescriptors();
    EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File("good.txt")), ImportResult::Converted);
    EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File("bad.txt")), ImportResult::WrongKind);
    EXPECT_EQ(ImportAppleDouble(volume->Root(), sources.File("alone.txt")),
              ImportResult::CannotOpen);
    EXPECT_EQ(ImportAppleDouble(plain.Path(), sources.File("good.txt")), ImportResult::WriteFailed);
    EXPECT_EQ(OpenDescriptors(), before);
}

// The AppleDouble page's run: the companion's own entry is skipped, its data file converted
// once with it, and a companion without a data file leads to no import at all.
TEST(ImportAppleDouble, PageRunConvertsEachPairOnce) {
    struct Entries : SourceList {
        std::vector<std::string> paths;
        std::size_t Count() const override { return paths.size(); }
        std::string FirstText() const override { return paths.front(); }
        void DeleteFirst() override { paths.erase(paths.begin()); }
    };
    struct Exit : EnabledControl {
        void SetEnabled(bool) override {}
    };
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    WriteFile(sources.File("Photo"), kData);
    WriteFile(sources.File("._Photo"), EncodeAppleDouble(Classic("JPEGogle")));
    WriteFile(sources.File("._Lonely"), EncodeAppleDouble(Classic()));
    Entries list;
    list.paths = {sources.File("._Lonely"), sources.File("._Photo"), sources.File("Photo")};
    Exit exit;
    static int imports = 0;
    RunConversion(
        list, exit, volume->Root(),
        [](std::string_view target, std::string_view source) {
            ++imports;
            return ImportAppleDouble(target, source);
        },
        true);
    EXPECT_EQ(imports, 1);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(FilesOnVolume(*volume), std::vector<std::string>{"Photo"});
    ExpectOutput(*volume, "Photo", kData, kResource, TypeCreatorBytes("JPEGogle"));
}

// --- Real files -----------------------------------------------------------------------------

struct SampleCase {
    const char* folder;
    const char* dataName;
    const char* output;
    const char* typeCreator;
    std::size_t resourceLength;  // the resource fork ends the companion
};

const SampleCase kSampleCases[] = {
    {"dashboard-dbprefs-rsrc", "DBPrefs.rsrc", "DBPrefs.rsrc", "rsrcRSED", 28324},
    {"dashboard-pattern", "button bar pattern", "button bar pattern", "8BPS8BIM", 3439},
    {"dashboard-prefs-constants", "Constants.txt", "Constants.txt", "TEXTNTP1", 576},
    {"dashboard-prefs-proj", "Dash Board Prefs.proj", "Dash Board Prefs.proj", "PRJTNTP1", 2019},
    {"dashboard-question", "?.rsrc", "_.rsrc", "SCRN8BIM", 6379},
    {"dashboard-readme", "README.md", "README.md", "TEXTttxt", 0},
    {"dashboard-routing", "Routing & File Icons", "Routing & File Icons", "rsrcRSED", 1257},
    {"header-only-logo", "test.file", "Logo viv.gif", "GIFf8BIM", 56134},
    {"macos-xattr-hint", "hint.txt", "hint.txt", "", 286},
};

void PrintTo(const SampleCase& row, std::ostream* os) {
    *os << row.folder;
}

class AppleDoubleSampleTest : public testing::TestWithParam<SampleCase> {};

TEST_P(AppleDoubleSampleTest, Converts) {
    const SampleCase& row = GetParam();
    const std::string samples = SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "NO SAMPLES at " << VESKAR_SAMPLES_DIR << ": skipped";
    const std::string folder = samples + "/appledouble/" + row.folder + "/";
    if (!NativeName(row.dataName))
        GTEST_SKIP() << "no file on this system can be named " << row.dataName;
    const Bytes data = ReadFile(folder + row.dataName);
    const Bytes companion = ReadFile(folder + "._" + row.dataName);
    ASSERT_GE(companion.size(), row.resourceLength) << folder;
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    ImportReport report;
    ASSERT_EQ(ImportAppleDouble(volume->Root(), folder + row.dataName, &report),
              ImportResult::Converted)
        << report.detail;
    EXPECT_EQ(report.outputName, row.output);
    const ConvertedFile out = ReadConverted(*volume, row.output);
    EXPECT_EQ(out.data, data);
    if (row.resourceLength == 0) {
        EXPECT_EQ(out.resource, std::nullopt);
    } else {
        EXPECT_EQ(out.resource,
                  Bytes(companion.end() - static_cast<std::ptrdiff_t>(row.resourceLength),
                        companion.end()));
    }
    EXPECT_EQ(out.TypeCreator(), TypeCreatorBytes(row.typeCreator));
}

INSTANTIATE_TEST_SUITE_P(Samples, AppleDoubleSampleTest, testing::ValuesIn(kSampleCases),
                         [](const auto& row) { return RowName(row.param.folder); });

}  // namespace

}  // namespace veskar
