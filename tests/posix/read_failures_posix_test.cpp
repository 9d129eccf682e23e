// Sources whose reads fail part-way, as on a damaged disk or a vanished network file: a FUSE
// file system of the tests answers EIO for one file from a chosen offset on, and each read
// the imports and the command line's probe make is hit in turn. Every case must end in
// read-failed with nothing in the target folder, beside the source or in the temporary
// folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/failing_reads_mount.h"
#include "tests/run_program.h"

namespace {

namespace fs = std::filesystem;
namespace af = apple_fixtures;

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

const MacFile kFile = [] {
    MacFile file;
    file.name = "Victim";
    file.data = PatternBytes(150000, 31);
    file.resource = PatternBytes(50000, 32);
    return file;
}();

// A table longer than the 256-byte header block (read from the file past it), then the
// carried entries in this order: name, Finder info, and the forks that go in the file.
std::vector<AppleEntry> Entries(bool withDataFork) {
    std::vector<AppleEntry> entries;
    for (std::uint32_t id = 0x80000001; entries.size() < 30; ++id)
        entries.push_back({id, PatternBytes(8, id)});
    entries.push_back({af::kRealName, BytesOf(kFile.name)});
    entries.push_back({af::kFinderInfo, FinderInfo("TEXTttxt")});
    if (withDataFork) entries.push_back({af::kDataFork, kFile.data});
    entries.push_back({af::kResourceFork, kFile.resource});
    return entries;
}
constexpr std::size_t kNameEntry = 30, kFinderInfoEntry = 31;

// Where the encoder put entry `index`: the offset its descriptor states.
std::uint64_t OffsetOf(const Bytes& image, std::size_t index) {
    const std::size_t at = 26 + 12 * index + 4;
    return std::uint64_t{image[at]} << 24 | image[at + 1] << 16 | image[at + 2] << 8 |
           image[at + 3];
}

const Bytes kMacBinary = EncodeMacBinary(kFile);
const Bytes kAppleSingle = EncodeAppleSingle(Entries(true));
const Bytes kCompanion = EncodeAppleDouble(Entries(false));
const Bytes kBinHex = BytesOf(EncodeBinHex(kFile));

enum class Source { MacBinary, AppleSingle, AppleDouble, BinHex, PlainText };

struct ReadFailureCase {
    const char* label;
    Source source;
    std::vector<std::string> options;
    std::string failing;  // below the row's folder: the file whose reads fail
    std::uint64_t from;   // the first offset that fails
    std::string detail;   // how the detail starts
};

// The name given to the command line.
std::string WriteSource(Source source, const std::string& folder) {
    switch (source) {
        case Source::MacBinary:
            EXPECT_TRUE(WriteFile(folder + "/victim.bin", kMacBinary));
            return "victim.bin";
        case Source::AppleSingle:
            EXPECT_TRUE(WriteFile(folder + "/victim.as", kAppleSingle));
            return "victim.as";
        case Source::AppleDouble:
            EXPECT_TRUE(WriteFile(folder + "/victim", kFile.data));
            EXPECT_TRUE(WriteFile(folder + "/._victim", kCompanion));
            return "victim";
        case Source::BinHex:
            EXPECT_TRUE(WriteFile(folder + "/victim.hqx", kBinHex));
            return "victim.hqx";
        case Source::PlainText:
            EXPECT_TRUE(WriteFile(folder + "/victim.txt", Bytes(100000, 'x')));
            return "victim.txt";
    }
    return {};
}

const std::vector<std::string> kAuto;
const std::vector<std::string> kMacBinaryOnly{"-f", "macbinary"};
const std::vector<std::string> kAppleSingleOnly{"-f", "applesingle"};
const std::vector<std::string> kAppleDoubleOnly{"-f", "appledouble"};
const std::vector<std::string> kBinHexOnly{"-f", "binhex"};
const std::uint64_t kResourceAt = 128 + 150016;  // MacBinary: after the padded data fork
const std::uint64_t kInTheText = 120000;         // past what the probe reads of a BinHex text

const ReadFailureCase kCases[] = {
    {"probe first bytes", Source::MacBinary, kAuto, "victim.bin", 0, "cannot read its first"},
    {"probe BinHex search", Source::PlainText, kAuto, "victim.txt", 1000, "cannot read the text"},
    {"probe companion", Source::AppleDouble, kAuto, "._victim", 0, "cannot read its companion"},
    {"MacBinary header", Source::MacBinary, kMacBinaryOnly, "victim.bin", 0,
     "cannot read the header"},
    {"MacBinary header check",
     Source::MacBinary,
     {"--verify", "-f", "macbinary"},
     "victim.bin",
     0,
     "cannot read the header"},
    {"MacBinary data fork", Source::MacBinary, kAuto, "victim.bin", 60000,
     "cannot read the data fork"},
    {"MacBinary resource fork", Source::MacBinary, kAuto, "victim.bin", kResourceAt + 100,
     "cannot read the resource fork"},
    {"AppleSingle header", Source::AppleSingle, kAppleSingleOnly, "victim.as", 10,
     "cannot read the header"},
    {"AppleSingle entry table", Source::AppleSingle, kAuto, "victim.as", 300,
     "cannot read the entry table"},
    {"AppleSingle name", Source::AppleSingle, kAuto, "victim.as",
     OffsetOf(kAppleSingle, kNameEntry), "cannot read the name entry"},
    {"AppleSingle Finder info", Source::AppleSingle, kAuto, "victim.as",
     OffsetOf(kAppleSingle, kFinderInfoEntry), "cannot read the Finder info entry"},
    {"AppleSingle data fork", Source::AppleSingle, kAuto, "victim.as",
     OffsetOf(kAppleSingle, kFinderInfoEntry) + 32 + 60000, "cannot read the data fork"},
    {"AppleSingle resource fork", Source::AppleSingle, kAuto, "victim.as",
     kAppleSingle.size() - 100, "cannot read the resource fork"},
    {"AppleDouble data file", Source::AppleDouble, kAppleDoubleOnly, "victim", 60000,
     "cannot read the data fork"},
    {"AppleDouble companion header", Source::AppleDouble, kAppleDoubleOnly, "._victim", 10,
     "its companion: cannot read the header"},
    {"AppleDouble entry table", Source::AppleDouble, kAppleDoubleOnly, "._victim", 300,
     "its companion: cannot read the entry table"},
    {"AppleDouble name", Source::AppleDouble, kAppleDoubleOnly, "._victim",
     OffsetOf(kCompanion, kNameEntry), "its companion: cannot read the name entry"},
    {"AppleDouble Finder info", Source::AppleDouble, kAppleDoubleOnly, "._victim",
     OffsetOf(kCompanion, kFinderInfoEntry), "its companion: cannot read the Finder info entry"},
    {"AppleDouble resource fork", Source::AppleDouble, kAppleDoubleOnly, "._victim",
     kCompanion.size() - 100, "cannot read the resource fork"},
    {"BinHex data start", Source::BinHex, kBinHexOnly, "victim.hqx", 0, "cannot read the text"},
    {"BinHex data start, strict",
     Source::BinHex,
     {"--strict", "-f", "binhex"},
     "victim.hqx",
     0,
     "cannot read the text"},
    {"BinHex pass 1", Source::BinHex, kAuto, "victim.hqx", kInTheText, "cannot read the text"},
    {"BinHex pass 2", Source::BinHex, kAuto, "victim.bqx", 1000,
     "cannot read the packed intermediate file"},
    {"BinHex staging", Source::BinHex, kAuto, "victim.bix", 1000,
     "cannot read the expanded intermediate file"},
    {"BinHex staging file", Source::BinHex, kAuto, "tmp/BIN*", 0, "cannot read the header"},
    {"BinHex verify",
     Source::BinHex,
     {"--verify"},
     "victim.hqx",
     kInTheText,
     "cannot read the text"},
    {"BinHex trial run",
     Source::BinHex,
     {"--dry-run"},
     "victim.hqx",
     kInTheText,
     "cannot read the text"},
};

TEST(ReadFailures, EveryReadOfEveryImportFailsCleanly) {
    REQUIRE_NTFS(volume);
    TempDir backing;
    std::vector<FailingReadsMount::Rule> rules;
    std::vector<std::string> given;
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const std::string row = "r" + std::to_string(i);
        ASSERT_TRUE(fs::create_directories(backing.File(row + "/tmp")));
        given.push_back(WriteSource(kCases[i].source, backing.File(row)));
        rules.push_back({row + "/" + kCases[i].failing, kCases[i].from});
    }
    REQUIRE_FAILING_READS(mount, backing.Path(), rules);

    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const ReadFailureCase& c = kCases[i];
        SCOPED_TRACE(c.label);
        const std::string row = "r" + std::to_string(i);
        const std::set<std::string> before = Listing(backing.File(row));
        const std::string target = volume->Path(RowName(c.label));
        ASSERT_TRUE(fs::create_directory(target));
        // The staging file goes through the failing file system as well.
        TempFolderOverride temp(mount->Path(row + "/tmp"));

        std::vector<std::string> args{"--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {target, mount->Path(row + "/" + given[i])});
        const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, args);

        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(
            run.out.find("\"result\": \"read-failed\", \"code\": -5, \"detail\": \"" + c.detail),
            std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find(": Input/output error\"}\n"), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_TRUE(fs::is_empty(target));
        EXPECT_EQ(Listing(backing.File(row)), before);  // no intermediate beside the source
        EXPECT_TRUE(fs::is_empty(backing.File(row + "/tmp")));
    }
}

}  // namespace
