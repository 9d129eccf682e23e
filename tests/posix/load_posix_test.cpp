// SPDX-License-Identifier: Apache-2.0
// Many sources in one process: 10,000 of the four formats, a third of them carrying one and
// the same Macintosh name, converted by one veskar-convert into a real NTFS volume. Every
// source must be accounted for once, with as many files written as were reported converted;
// and a name whose 32,768 unique codes are all taken fails cleanly instead of looping.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/import.h"
#include "core/write/sfm_output.h"
#include "core/write/unique_name.h"
#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

TEST(Load, TenThousandMixedSourcesInOneProcess) {
    REQUIRE_NTFS(volume, 256);
    TempDir sources;
    namespace af = apple_fixtures;
    constexpr int kSources = 10000;
    std::vector<std::string> args{"--json", volume->Root()};
    int expectConverted = 0;
    for (int i = 0; i < kSources; ++i) {
        MacFile file;
        file.name = i % 3 == 0 ? "Same" : "File " + std::to_string(i);
        file.type = "TEXT";
        file.creator = "ttxt";
        file.data = PatternBytes(64 + i % 700, static_cast<std::uint32_t>(i));
        file.resource = PatternBytes(i % 5 == 0 ? 0 : 32 + i % 90, static_cast<std::uint32_t>(~i));
        const std::vector<AppleEntry> entries = {{af::kRealName, BytesOf(file.name)},
                                                 {af::kFinderInfo, FinderInfo("TEXTttxt")},
                                                 {af::kResourceFork, file.resource},
                                                 {af::kDataFork, file.data}};
        std::string name = "s" + std::to_string(i);
        bool written = true;
        switch (i % 5) {
            case 0:
                written = WriteFile(sources.File(name += ".bin"), EncodeMacBinary(file));
                break;
            case 1:
                written = WriteFile(sources.File(name += ".hqx"), BytesOf(EncodeBinHex(file)));
                break;
            case 2:
                written = WriteFile(sources.File(name += ".as"), EncodeAppleSingle(entries));
                break;
            case 3:
                written = WriteFile(sources.File(name), file.data) &&
                          WriteFile(sources.File("._" + name),
                                    EncodeAppleDouble({entries[0], entries[1], entries[2]}));
                break;
            case 4:  // no Macintosh file at all
                written = WriteFile(sources.File(name += ".txt"), BytesOf("plain text\n"));
                break;
        }
        ASSERT_TRUE(written) << name;
        args.push_back(name);
        if (i % 5 != 4) ++expectConverted;
    }

    const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, args, sources.Path());
    EXPECT_EQ(run.status, 1);  // the plain texts fail

    // One line per source, in order; each result one of the defined ones.
    std::istringstream results(run.out);
    std::map<std::string, int> byResult;
    std::set<std::string> outputs;
    std::string text;
    int index = 0;
    // The text of "key": "value" in a JSON line (no escapes occur in these names).
    const auto field = [](const std::string& line, const std::string& key) -> std::string {
        const std::string start = "\"" + key + "\": \"";
        const std::size_t at = line.find(start);
        if (at == std::string::npos) return {};
        const std::size_t from = at + start.size();
        return line.substr(from, line.find('"', from) - from);
    };
    for (; std::getline(results, text); ++index) {
        ASSERT_LT(index, kSources);
        EXPECT_EQ(field(text, "source"), args[2 + static_cast<std::size_t>(index)]) << text;
        const std::string result = field(text, "result");
        ++byResult[result];
        if (result == "converted") {
            const std::string output = field(text, "output");
            EXPECT_TRUE(outputs.insert(output).second) << "output named twice: " << output;
        }
    }
    EXPECT_EQ(index, kSources);
    EXPECT_EQ(byResult["converted"], expectConverted);
    EXPECT_EQ(byResult["wrong-kind"], kSources - expectConverted);
    EXPECT_EQ(byResult.size(), 2u);

    // As many files as conversions, and the shared name taken once, the rest with codes.
    std::size_t files = 0, same = 0;
    for (const auto& entry : fs::directory_iterator(volume->Root())) {
        ++files;
        same += entry.path().filename().string().starts_with("Same");
    }
    EXPECT_EQ(files, static_cast<std::size_t>(expectConverted));
    EXPECT_EQ(outputs.size(), files);
    EXPECT_TRUE(fs::exists(volume->Path("Same")));
    EXPECT_TRUE(fs::exists(volume->Path("Same.001")));
    EXPECT_GT(same, 2000u);
}

// Every one of the 32,768 names "Same.000" … "Same.vvv", and "Same" itself, exists: the
// output is refused as write-failed, and nothing is created or touched.
TEST(Load, AllUniqueCodesOfANameTaken) {
    TempDir folder;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(folder.Path()));
    std::ofstream(folder.File("Same")).put('x');
    for (int code = 0; code < 32768; ++code)
        std::ofstream(folder.File("Same." + UniqueCode(code))).put('x');

    TempDir sourceFolder;
    const std::string source = sourceFolder.File("data");
    ASSERT_TRUE(WriteFile(source, BytesOf("the data fork")));
    std::FILE* stream = platform::OpenStream(source, "rb");
    ASSERT_NE(stream, nullptr);
    std::string name = "Same";
    ImportReport report;
    EXPECT_EQ(WriteSfmOutput(name, {stream, 0, 13}, {stream, 0, 0}, TypeCreator{}, &report),
              ImportResult::WriteFailed);
    std::fclose(stream);
    EXPECT_NE(report.detail.find("taken"), std::string::npos) << report.detail;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        ++count;
        EXPECT_EQ(fs::file_size(entry.path()), 1u) << entry.path();
    }
    EXPECT_EQ(count, 32769u);
}

}  // namespace

}  // namespace veskar
