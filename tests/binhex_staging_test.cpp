// SPDX-License-Identifier: Apache-2.0
// The BinHex import: the probe, the staging file's layout, where the intermediate files go,
// what lands on a real NTFS volume, and that no intermediate or staging file ever remains.
#include "core/read/binhex/binhex_staging.h"
#include "core/import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "core/read/macbinary.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Points the temporary folder at a folder of the test's own, so that a leftover staging or
// intermediate file is seen.
class OwnTempFolder {
  public:
    const std::string& Path() const { return dir_.Path(); }
    bool Empty() const { return fs::is_empty(dir_.Path()); }

  private:
    TempDir dir_;
    TempFolderOverride override_{dir_.Path()};
};

MacFile Sample(std::size_t dataSize = 200, std::size_t resourceSize = 10) {
    MacFile file;
    file.name = "Read Me";
    file.data = PatternBytes(dataSize, 11);
    file.resource = PatternBytes(resourceSize, 12);
    return file;
}

std::string Label(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

// --- The probe -------------------------------------------------------------------------------

const std::string kId(binhex::kIdentification);

struct ProbeCase {
    const char* label;
    std::string text;
    bool binhex;
};

void PrintTo(const ProbeCase& row, std::ostream* os) {
    *os << row.label;
}

const ProbeCase kProbeCases[] = {
    {"first line in parentheses", "(" + kId + ")\n\n:abc:\n", true},
    {"starting at offset 85 ends on byte 128", std::string(85, ' ') + kId + ")\n:", true},
    {"starting at offset 86 is too late", std::string(86, ' ') + kId + ")\n:", false},
    {"shorter than 128 bytes", kId, true},
    {"a zero byte before it", std::string("x\0y\n", 4) + kId, false},
    {"a zero byte after it", kId + std::string("\0", 1), true},
    {"letter case counts", "(this file must be converted with BinHex 4.0)", false},
    {"another version", "(This file must be converted with BinHex 5.0)", false},
    {"empty", "", false},
};

class BinHexProbeTest : public testing::TestWithParam<ProbeCase> {};

TEST_P(BinHexProbeTest, Decides) {
    const ProbeCase& row = GetParam();
    std::FILE* f = std::tmpfile();
    std::fwrite(row.text.data(), 1, row.text.size(), f);
    EXPECT_EQ(IsBinHexFile(f), row.binhex) << row.label;
    EXPECT_EQ(std::ftell(f), 0) << "the probe leaves the source at its first byte";
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(Rows, BinHexProbeTest, testing::ValuesIn(kProbeCases),
                         [](const auto& row) { return Label(row.param.label); });

// --- The staging file --------------------------------------------------------------------------

Bytes Staged(const Bytes& expanded) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    // An empty vector's data() may be null, which fwrite must not be given even for 0 bytes.
    if (!expanded.empty()) std::fwrite(expanded.data(), 1, expanded.size(), in);
    EXPECT_EQ(WriteStagingFile(in, out).status, binhex::PassResult::Done);
    std::rewind(out);
    Bytes staged;
    int c;
    while ((c = std::fgetc(out)) != EOF)
        staged.push_back(static_cast<std::uint8_t>(c));
    std::fclose(in);
    std::fclose(out);
    return staged;
}

struct LayoutCase {
    std::size_t data, resource, size, resourceAt;
};

TEST(BinHexStaging, LayoutOfHeaderForksAndFill) {
    const LayoutCase cases[] = {
        {200, 10, 394, 384},  // 128 + 200 + 56 zero bytes + 10
        {256, 5, 389, 384},   // no fill after a fork that ends on a boundary
        {100, 0, 228, 0},     // no resource fork: no fill, the file ends after the data
        {0, 10, 138, 128},    // no data fork: the resource fork follows the header
        {129, 1, 385, 384},
    };
    for (const auto& c : cases) {
        MacFile file = Sample(c.data, c.resource);
        file.finderFlags = 0x0100;
        // Wrong check values are carried nowhere and change nothing.
        for (bool wrong : {false, true}) {
            const Bytes staged = Staged(ExpandedStreamOf(file, {.wrongChecks = wrong}));
            const std::string row = std::to_string(c.data) + "+" + std::to_string(c.resource);
            ASSERT_EQ(staged.size(), c.size) << row;
            Bytes header = MacBinaryHeaderOf(file);
            header[74] = 0;  // the header encoder writes the flags; check them on their own
            EXPECT_EQ(staged[73], 0x01) << row;
            EXPECT_EQ(staged[74], 0x00) << row;
            Bytes got(staged.begin(), staged.begin() + 128);
            got[73] = header[73];
            EXPECT_EQ(got, header) << row;
            EXPECT_TRUE(std::equal(file.data.begin(), file.data.end(), staged.begin() + 128));
            if (c.resource != 0) {
                EXPECT_TRUE(std::all_of(staged.begin() + 128 + static_cast<long>(c.data),
                                        staged.begin() + static_cast<long>(c.resourceAt),
                                        [](std::uint8_t b) { return b == 0; }))
                    << row;
                EXPECT_TRUE(std::equal(file.resource.begin(), file.resource.end(),
                                       staged.begin() + static_cast<long>(c.resourceAt)))
                    << row;
            }
            MacBinaryHeader test{};
            std::copy_n(staged.begin(), 128, test.begin());
            EXPECT_TRUE(IsMacBinaryHeader(test, static_cast<std::int64_t>(staged.size()))) << row;
        }
    }
}

TEST(BinHexStaging, NameLengthsOutsideOneTo63AreKeptForTheHeaderTestToRefuse) {
    for (std::size_t length : {0u, 63u, 64u, 255u}) {
        MacFile file = Sample(20, 0);
        file.name = std::string(length, 'n');
        file.type = file.creator = "";  // 63 characters pass only with zero type and creator
        const Bytes staged = Staged(ExpandedStreamOf(file));
        ASSERT_EQ(staged.size(), 148u) << length;
        EXPECT_EQ(staged[1], length);
        // The name field holds at most 63 bytes; every name byte is still read, so the
        // fields after it come from the right place.
        for (std::size_t i = 0; i < 63; ++i)
            EXPECT_EQ(staged[2 + i], i < length ? 'n' : 0) << length << " at " << i;
        EXPECT_EQ(staged[86], 20) << length;
        MacBinaryHeader header{};
        std::copy_n(staged.begin(), 128, header.begin());
        EXPECT_EQ(IsMacBinaryHeader(header, 148), length >= 1 && length <= 63) << length;
    }
}

TEST(BinHexStaging, TypeAndCreatorEndAtTheirFirstZeroByte) {
    const struct {
        std::string type, creator;
        Bytes expected;
    } cases[] = {
        {"TEXT", "ttxt", BytesOf("TEXTttxt")},
        {std::string(4, '\0'), "ttxt", Bytes(8, 0)},
        {std::string("AB\0C", 4), "ttxt", {'A', 'B', 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        MacFile file = Sample(5, 0);
        file.type = c.type;
        file.creator = c.creator;
        const Bytes staged = Staged(ExpandedStreamOf(file));
        EXPECT_EQ(Bytes(staged.begin() + 65, staged.begin() + 73), c.expected) << c.creator;
    }
}

TEST(BinHexStaging, EmptyExpandedStreamGivesAHeaderThatIsRefused) {
    const Bytes staged = Staged({});
    ASSERT_EQ(staged.size(), 128u);
    EXPECT_TRUE(std::all_of(staged.begin(), staged.end(), [](std::uint8_t b) { return b == 0; }));
}

// --- Whole imports -----------------------------------------------------------------------------

TEST(ImportBinHex, ConvertsIntoNtfsWithTheNameTypeAndForksOfItsHeader) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    OwnTempFolder temp;
    TempDir sources;
    const struct {
        const char* source;
        MacFile file;
        BinHexStyle style;
    } cases[] = {
        {"archive.hqx", Sample(200, 10), {}},
        {"crlf.hqx",
         [] {
             MacFile f = Sample(70000, 0);
             f.name = "Only Data";
             return f;
         }(),
         {.lineBreak = "\r\n", .wrongChecks = true}},
        {"cr",
         [] {
             MacFile f = Sample(0, 50000);
             f.name = "Only Rsrc";
             f.type = "APPL";
             f.creator = "CAR1";
             return f;
         }(),
         {.lineBreak = "\r", .chainRuns = false}},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(WriteFile(sources.File(c.source), BytesOf(EncodeBinHex(c.file, c.style))));
    for (const auto& c : cases) {
        ImportReport report;
        ASSERT_EQ(ImportBinHex(volume->Root(), sources.File(c.source), &report),
                  ImportResult::Converted)
            << c.source << ": " << report.detail;
        EXPECT_EQ(report.outputName, c.file.name);
    }
    // The same source again takes a unique variant of its header's name.
    ImportReport again;
    ASSERT_EQ(ImportBinHex(volume->Root(), sources.File("archive.hqx"), &again),
              ImportResult::Converted);
    EXPECT_NE(again.outputName, "Read Me");
    EXPECT_TRUE(again.outputName.starts_with("Read Me.")) << again.outputName;
    EXPECT_TRUE(temp.Empty());
    EXPECT_EQ(Listing(sources.Path()), (std::set<std::string>{"archive.hqx", "crlf.hqx", "cr"}));

    for (const auto& c : cases) {
        const std::string& name = c.file.name;
        EXPECT_EQ(BytesOf(volume->ReadStream(name).value_or("?")), c.file.data) << name;
        const auto streams = volume->StreamNames(name);
        const bool hasResource =
            std::find(streams.begin(), streams.end(), "AFP_Resource") != streams.end();
        EXPECT_EQ(hasResource, !c.file.resource.empty()) << name;
        if (hasResource) {
            EXPECT_EQ(BytesOf(volume->ReadStream(name, "AFP_Resource").value_or("")),
                      c.file.resource)
                << name;
        }
        const std::string info = volume->ReadStream(name, "AFP_AfpInfo").value_or("");
        ASSERT_EQ(info.size(), 60u) << name;
        EXPECT_EQ(info.substr(16, 8), c.file.type + c.file.creator) << name;
    }
}

struct ResultCase {
    const char* label;
    std::string text;  // empty: no source at all
    ImportResult result;
};

void PrintTo(const ResultCase& row, std::ostream* os) {
    *os << row.label;
}

std::string WithHeaderName(std::string name) {
    MacFile file = Sample(30, 0);
    file.name = std::move(name);
    file.type = file.creator = "";
    return EncodeBinHex(file);
}

const ResultCase kResultCases[] = {
    {"converted", EncodeBinHex(Sample()), ImportResult::Converted},
    {"name of 63 characters", WithHeaderName(std::string(63, 'x')), ImportResult::Converted},
    {"missing source", "", ImportResult::CannotOpen},
    {"plain text", "just some words\n", ImportResult::NotBinHex},
    {"identification too late", std::string(86, '\n') + EncodeBinHex(Sample()),
     ImportResult::NotBinHex},
    {"identification but no data", "(" + kId + ")\n", ImportResult::WrongKind},
    {"name length 0", WithHeaderName(""), ImportResult::WrongKind},
    {"name length 64", WithHeaderName(std::string(64, 'x')), ImportResult::WrongKind},
    // Refused for the missing forks alone: truncated, with nothing written.
    {"data cut short", EncodeBinHex(Sample(5000, 0)).substr(0, 3000), ImportResult::Truncated},
};

class ImportBinHexResultTest : public testing::TestWithParam<ResultCase> {
  protected:
    static void SetUpTestSuite() {
        std::string why;
        volume_ = NtfsVolume::Make(&why).release();
        why_ = why;
    }
    static void TearDownTestSuite() {
        delete volume_;
        volume_ = nullptr;
    }
    static NtfsVolume* volume_;
    static std::string why_;
};
NtfsVolume* ImportBinHexResultTest::volume_ = nullptr;
std::string ImportBinHexResultTest::why_;

TEST_P(ImportBinHexResultTest, GivesItsResultAndLeavesNoFileBehind) {
    const ResultCase& row = GetParam();
    if (!volume_) {
        if (IsCi()) FAIL() << "NTFS volume unavailable under CI: " << why_;
        GTEST_SKIP() << "NO NTFS VOLUME (" << why_ << "): test skipped";
    }
    CurrentFolderGuard guard;
    OwnTempFolder temp;
    TempDir sources;
    const std::string source = sources.File("source.hqx");
    if (!row.text.empty()) {
        ASSERT_TRUE(WriteFile(source, BytesOf(row.text)));
    }
    const std::string before = fs::current_path().string();
    const auto targetBefore = Listing(volume_->Root());

    ImportReport report;
    EXPECT_EQ(ImportBinHex(volume_->Root(), source, &report), row.result)
        << row.label << ": " << report.detail;
    EXPECT_TRUE(temp.Empty()) << row.label;
    EXPECT_EQ(Listing(sources.Path()).size(), row.text.empty() ? 0u : 1u) << row.label;
    if (!row.text.empty()) {
        EXPECT_EQ(ReadFile(source), BytesOf(row.text)) << row.label;
    }
    const auto targetAfter = Listing(volume_->Root());
    EXPECT_EQ(targetAfter.size(), targetBefore.size() + (row.result == ImportResult::Converted))
        << row.label;
    // Without the identification text the call touches nothing, the current folder included.
    if (row.result == ImportResult::NotBinHex || row.result == ImportResult::CannotOpen) {
        EXPECT_EQ(fs::current_path().string(), before) << row.label;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ImportBinHexResultTest, testing::ValuesIn(kResultCases),
                         [](const auto& row) { return Label(row.param.label); });

// Files already bearing an intermediate's name, in any case, the source itself among them:
// they survive unchanged and the intermediates go to the temporary folder instead.
TEST(ImportBinHex, ExistingFilesOfTheIntermediatesNamesAreNeverTouched) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    const struct {
        const char* label;
        std::string source;
        std::vector<std::string> present;
    } cases[] = {
        {"source named x.bqx", "x.bqx", {}},
        {"source named X.BIX", "X.BIX", {}},
        {"packed name taken in capitals", "report.hqx", {"REPORT.BQX"}},
        {"expanded name taken", "report.hqx", {"Report.bix"}},
        {"no extension, names taken", "report", {"report.bqx", "report.bix"}},
        {"name too long for the folder", std::string(255, 'a'), {}},
    };
    for (const auto& c : cases) {
        OwnTempFolder temp;
        TempDir sources;
        MacFile file = Sample();
        file.name = Label(c.label);
        const Bytes text = BytesOf(EncodeBinHex(file));
        ASSERT_TRUE(WriteFile(sources.File(c.source), text)) << c.label;
        for (const auto& other : c.present)
            ASSERT_TRUE(WriteFile(sources.File(other), BytesOf("keep " + other))) << c.label;
        const auto before = Listing(sources.Path());

        ImportReport report;
        EXPECT_EQ(ImportBinHex(volume->Root(), sources.File(c.source), &report),
                  ImportResult::Converted)
            << c.label << ": " << report.detail;
        EXPECT_EQ(Listing(sources.Path()), before) << c.label;
        EXPECT_EQ(ReadFile(sources.File(c.source)), text) << c.label;
        for (const auto& other : c.present)
            EXPECT_EQ(ReadFile(sources.File(other)), BytesOf("keep " + other)) << c.label;
        EXPECT_TRUE(temp.Empty()) << c.label;
    }
}

// A source on a read-only volume: the intermediates cannot go beside it.
TEST(ImportBinHex, SourceInAReadOnlyFolder) {
    REQUIRE_NTFS(target);
    std::string why;
    auto sourceVolume = NtfsVolume::Make(&why);
    ASSERT_TRUE(sourceVolume) << why;
    CurrentFolderGuard guard;
    OwnTempFolder temp;
    const Bytes text = BytesOf(EncodeBinHex(Sample()));
    ASSERT_TRUE(WriteFile(sourceVolume->Path("archive.hqx"), text));
    ASSERT_TRUE(sourceVolume->Unmount());
    ASSERT_TRUE(sourceVolume->Mount(/*readOnly=*/true));

    ImportReport report;
    EXPECT_EQ(ImportBinHex(target->Root(), sourceVolume->Path("archive.hqx"), &report),
              ImportResult::Converted)
        << report.detail;
    EXPECT_EQ(report.outputName, "Read Me");
    EXPECT_EQ(Listing(sourceVolume->Root()), std::set<std::string>{"archive.hqx"});
    EXPECT_TRUE(temp.Empty());
}

// The genuine files without mail or news headers convert; those whose identification line
// stands after such headers give 0 here (reading past the headers is not this import's job).
TEST(ImportBinHex, SampleFiles) {
    const fs::path samples = fs::path(VESKAR_SAMPLES_DIR) / "binhex";
    if (!fs::is_directory(samples)) GTEST_SKIP() << "NO SAMPLES at " << samples << ": skipped";
    REQUIRE_NTFS(volume, 64);
    CurrentFolderGuard guard;
    OwnTempFolder temp;
    TempDir sources;  // the samples are copied: intermediates are made beside the source
    const struct {
        const char* file;
        ImportResult result;
        const char* output;
    } cases[] = {
        {"4x6.hqx", ImportResult::Converted, "Fixed.fam.rsrc"},
        {"INSIDE_S.HQX", ImportResult::Converted, "InsideSwitcher"},
        {"NETM2340.HQX", ImportResult::Converted, "NET_Mac.sea"},
        {"THINKC.HQX", ImportResult::Converted, "unzip.thinkc"},
        {"a.hqx", ImportResult::Converted, "binhex.test.sit"},
        {"b.hqx", ImportResult::Converted, "file.txt"},
        {"example.hqx", ImportResult::Converted, "example.pdf"},
        {"gc229_10.hqx", ImportResult::Converted, "GIFCnv 2.2.9-_2.2.10.cpt"},
        {"MOD12.HQX", ImportResult::NotBinHex, ""},
        {"cybergif.hqx", ImportResult::NotBinHex, ""},
        {"gifmovie.hqx", ImportResult::NotBinHex, ""},
    };
    for (const auto& c : cases) {
        fs::copy_file(samples / c.file, sources.File(c.file));
        // '>' is a character of Mac names that Windows keeps out of its own.
        if (!std::string(c.output).empty() && !NativeName(c.output)) {
            std::printf("%s: skipped, no file on this system can be named %s\n", c.file, c.output);
            continue;
        }
        ImportReport report;
        EXPECT_EQ(ImportBinHex(volume->Root(), sources.File(c.file), &report), c.result)
            << c.file << ": " << report.detail;
        EXPECT_EQ(report.outputName, c.output) << c.file;
    }
    EXPECT_EQ(Listing(sources.Path()).size(), std::size(cases));
    EXPECT_TRUE(temp.Empty());
    const std::string info = volume->ReadStream("file.txt", "AFP_AfpInfo").value_or("");
    ASSERT_EQ(info.size(), 60u);
    EXPECT_EQ(info.substr(16, 4), "TEXT");
}

}  // namespace

}  // namespace veskar
