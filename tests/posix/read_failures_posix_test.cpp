// SPDX-License-Identifier: Apache-2.0
// Each read the imports and the command line's probe make, failed with EIO by the tests' FUSE
// file system: every one ends in read-failed with nothing in the target folder, beside the
// source or in the temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/posix/failing_reads_mount.h"
#include "tests/run_program.h"

namespace veskar {

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
    file.data = PatternBytes(150000, 31);
    file.resource = PatternBytes(50000, 32);
    return file;
}();

// A table longer than the 256-byte header block, then name, Finder info and the forks.
Bytes Apple(bool single) {
    std::vector<AppleEntry> entries;
    for (std::uint32_t id = 0x80000001; entries.size() < 30; ++id)
        entries.push_back({id, PatternBytes(8, id)});
    entries.push_back({af::kRealName, BytesOf("Victim")});
    entries.push_back({af::kFinderInfo, FinderInfo("TEXTttxt")});
    if (single) entries.push_back({af::kDataFork, kFile.data});
    entries.push_back({af::kResourceFork, kFile.resource});
    return single ? EncodeAppleSingle(entries) : EncodeAppleDouble(entries);
}
const Bytes kSingle = Apple(true), kCompanion = Apple(false);

// Where the encoder put entry `index`: the offset its descriptor states.
std::uint64_t At(const Bytes& image, std::size_t index) {
    const std::size_t at = 26 + 12 * index + 4;
    return std::uint64_t{image[at]} << 24 | image[at + 1] << 16 | image[at + 2] << 8 |
           image[at + 3];
}
constexpr std::size_t kName = 30, kFinderInfo = 31;
constexpr std::uint64_t kInText = 120000;  // past what the probe reads of a BinHex text

struct Case {
    const char* label;
    const char* source;   // given to the command line; "victim" is an AppleDouble pair
    const char* options;  // words before it
    std::string failing;  // the file, below the row's folder, whose reads fail
    std::uint64_t from;
    std::string what;  // the detail says "cannot read " and this
};

const Case kCases[] = {
    {"probe", "victim.bin", "", "victim.bin", 0, "its first bytes"},
    {"probe BinHex search", "victim.txt", "", "victim.txt", 1000, "the text"},
    {"probe companion", "victim", "", "._victim", 0, "its companion"},
    {"MacBinary header", "victim.bin", "-f macbinary", "victim.bin", 0, "the header"},
    {"MacBinary check", "victim.bin", "--verify -f macbinary", "victim.bin", 0, "the header"},
    {"MacBinary data", "victim.bin", "", "victim.bin", 60000, "the data fork"},
    {"MacBinary resource", "victim.bin", "", "victim.bin", 150200, "the resource fork"},
    {"AppleSingle header", "victim.as", "-f applesingle", "victim.as", 10, "the header"},
    {"AppleSingle table", "victim.as", "", "victim.as", 300, "the entry table"},
    {"AppleSingle name", "victim.as", "", "victim.as", At(kSingle, kName), "the name entry"},
    {"AppleSingle Finder info", "victim.as", "", "victim.as", At(kSingle, kFinderInfo),
     "the Finder info entry"},
    {"AppleSingle data", "victim.as", "", "victim.as", 60000, "the data fork"},
    {"AppleSingle resource", "victim.as", "", "victim.as", kSingle.size() - 9, "the resource fork"},
    {"AppleDouble data", "victim", "-f appledouble", "victim", 60000, "the data fork"},
    {"AppleDouble header", "victim", "-f appledouble", "._victim", 10, "the header"},
    {"AppleDouble table", "victim", "-f appledouble", "._victim", 300, "the entry table"},
    {"AppleDouble name", "victim", "-f appledouble", "._victim", At(kCompanion, kName),
     "the name entry"},
    {"AppleDouble Finder info", "victim", "-f appledouble", "._victim", At(kCompanion, kFinderInfo),
     "the Finder info entry"},
    {"AppleDouble resource", "victim", "-f appledouble", "._victim", kCompanion.size() - 9,
     "the resource fork"},
    {"BinHex data start", "victim.hqx", "-f binhex", "victim.hqx", 0, "the text"},
    {"BinHex data start, strict", "victim.hqx", "--strict -f binhex", "victim.hqx", 0, "the text"},
    {"BinHex pass 1", "victim.hqx", "", "victim.hqx", kInText, "the text"},
    {"BinHex pass 2", "victim.hqx", "--strict", "victim.bqx", 1000, "the packed intermediate file"},
    {"BinHex staging", "victim.hqx", "--strict", "victim.bix", 1000,
     "the expanded intermediate file"},
    {"BinHex staging file", "victim.hqx", "--strict", "tmp/BIN*", 0, "the header"},
    {"BinHex verify", "victim.hqx", "--verify", "victim.hqx", kInText, "the text"},
    {"BinHex trial", "victim.hqx", "--dry-run", "victim.hqx", kInText, "the text"},
};

TEST(ReadFailures, EveryReadOfEveryImportFailsCleanly) {
    REQUIRE_NTFS(volume);
    TempDir backing;
    std::vector<FailingReadsMount::Rule> rules;
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const std::string row = backing.File("r" + std::to_string(i)) + "/";
        ASSERT_TRUE(fs::create_directories(row + "tmp"));
        const std::string source = kCases[i].source;
        const bool written =
            source == "victim.bin"   ? WriteFile(row + source, EncodeMacBinary(kFile))
            : source == "victim.as"  ? WriteFile(row + source, kSingle)
            : source == "victim.hqx" ? WriteFile(row + source, BytesOf(EncodeBinHex(kFile)))
            : source == "victim.txt"
                ? WriteFile(row + source, Bytes(100000, 'x'))
                : WriteFile(row + source, kFile.data) && WriteFile(row + "._" + source, kCompanion);
        ASSERT_TRUE(written) << source;
        rules.push_back({"r" + std::to_string(i) + "/" + kCases[i].failing, kCases[i].from});
    }
    REQUIRE_FAILING_READS(mount, backing.Path(), rules);

    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const Case& c = kCases[i];
        SCOPED_TRACE(c.label);
        const std::string row = "r" + std::to_string(i);
        const std::set<std::string> before = Listing(backing.File(row));
        const std::string target = volume->Path(RowName(c.label));
        ASSERT_TRUE(fs::create_directory(target));
        // The staging file goes through the failing file system too.
        TempFolderOverride temp(mount->Path(row + "/tmp"));
        std::vector<std::string> args{"--json"};
        std::istringstream words(c.options);
        for (std::string word; words >> word;)
            args.push_back(word);
        args.insert(args.end(), {target, mount->Path(row + "/" + c.source)});
        const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, args);

        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.out.find("\"result\": \"read-failed\", \"code\": -5"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("cannot read " + c.what), std::string::npos) << run.out;
        EXPECT_TRUE(run.out.ends_with(": Input/output error\"}\n")) << run.out;
        EXPECT_TRUE(fs::is_empty(target));
        EXPECT_EQ(Listing(backing.File(row)), before);  // no intermediate beside the source
        EXPECT_TRUE(fs::is_empty(backing.File(row + "/tmp")));
    }
}

}  // namespace

}  // namespace veskar
