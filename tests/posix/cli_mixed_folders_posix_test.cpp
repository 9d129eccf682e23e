// SPDX-License-Identifier: Apache-2.0
// A folder of downloads as users have them: Mac files among others. The others are passed
// over (or copied with --copy-others), folders are made only for what lands in them, and a
// trial run names outputs as the run would.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/options.h"
#include "tests/mac_fixtures.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

ProgramRun Cli(const std::vector<std::string>& args, const std::string& folder) {
    return RunProgram(VESKAR_CONVERT_PATH, args, folder);
}

// downloads/: a Mac file, a text, an archive the readers do not know, a folder holding only
// others, an empty folder; and a MacBinary file named twice.
void MakeDownloads(const TempDir& dir) {
    MacFile mac;
    mac.name = "Game";
    mac.type = "APPL";
    mac.creator = "GAME";
    mac.data = PatternBytes(40);
    mac.resource = PatternBytes(30, 2);
    fs::create_directories(dir.File("downloads/docs"));
    fs::create_directories(dir.File("downloads/empty"));
    ASSERT_TRUE(WriteFile(dir.File("downloads/Game.bin"), EncodeMacBinary(mac)));
    ASSERT_TRUE(WriteFile(dir.File("downloads/README.txt"), PatternBytes(12)));
    ASSERT_TRUE(WriteFile(dir.File("downloads/tool.sit"), PatternBytes(700, 9)));
    ASSERT_TRUE(WriteFile(dir.File("downloads/docs/notes.txt"), PatternBytes(5)));
}

TEST(CliMixedFolders, OthersSkippedOrCopiedAndFoldersOnlyWhereSomethingLands) {
    TempDir dir;
    MakeDownloads(dir);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;  // each on standard output or standard error
        std::vector<std::string> made, notMade;
    };
    const Case cases[] = {
        {{"-r", "-l", "appledouble", "plain", "downloads"},
         0,
         {"downloads/Game.bin -> Game\n",
          "downloads/README.txt: skipped, not a Mac file (--copy-others copies such files)\n",
          "veskar-convert: 1 converted, 0 failed, 3 skipped (3 not Mac files)"},
         {"plain/Game", "plain/._Game"},
         {"plain/docs", "plain/empty", "plain/README.txt"}},
        {{"-r", "--copy-others", "-l", "appledouble", "all", "downloads"},
         0,
         {"downloads/README.txt -> README.txt (copied as it is)\n",
          "downloads/docs/notes.txt -> docs/notes.txt (copied as it is)\n",
          "veskar-convert: 1 converted, 3 copied, 0 failed, 0 skipped"},
         {"all/Game", "all/README.txt", "all/tool.sit", "all/docs/notes.txt", "all/empty"},
         {"all/._README.txt"}},
        // Named as a source itself, a file that is not a Mac file is a failure.
        {{"-l", "appledouble", "named", "downloads/tool.sit"},
         1,
         {"veskar-convert: downloads/tool.sit: not a Mac file: not MacBinary, AppleSingle, "
          "AppleDouble or BinHex\n"},
         {},
         {"named/tool.sit"}},
        {{"--copy-others", "x", "downloads"},
         2,
         {"--copy-others copies the other files of"},
         {},
         {}},
        // Described without a target, nothing written.
        {{"--info", "-r", "downloads"},
         0,
         {"downloads/Game.bin\n  format:        MacBinary",
          "  type:          APPL   creator: GAME\n", "downloads/tool.sit: not a Mac file\n"},
         {},
         {"downloads/Game"}},
        // A trial run foresees the names the batch takes from each other, in a folder it
        // would make.
        {{"-n", "-l", "fruit", "trial/new", "downloads/Game.bin", "downloads/Game.bin"},
         0,
         {"downloads/Game.bin -> Game (data 40, resource 30, APPL/GAME)\n",
          "downloads/Game.bin -> Game.001 (data 40", "trial/new: would be made"},
         {},
         {"trial"}},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Cli(c.args, dir.Path());
        const std::string all = run.out + run.err;
        SCOPED_TRACE(c.args.back() + " " + c.args[c.args.size() - 2] + ":\n" + all);
        EXPECT_EQ(run.status, c.status);
        for (const std::string& line : c.lines)
            EXPECT_NE(all.find(line), std::string::npos) << line;
        for (const std::string& path : c.made)
            EXPECT_TRUE(fs::exists(dir.File(path))) << path;
        for (const std::string& path : c.notMade)
            EXPECT_FALSE(fs::exists(dir.File(path))) << path;
    }
    // The copies are the files byte for byte.
    EXPECT_EQ(ReadFile(dir.File("all/tool.sit")), PatternBytes(700, 9));
}

// --help fits a screen and starts with examples; the rest is in the man page.
TEST(CliMixedFolders, HelpIsShortWithThreeExamples) {
    std::istringstream help(cli::HelpText());
    std::size_t lines = 0, examples = 0;
    for (std::string line; std::getline(help, line); ++lines) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.starts_with("  veskar-convert ")) ++examples;
    }
    EXPECT_LE(lines, 60u);
    EXPECT_EQ(examples, 3u);
}

}  // namespace

}  // namespace veskar
