// SPDX-License-Identifier: Apache-2.0
// Symbolic links met by the command line's folder walk, and one named as a source.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/report.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

TEST(CliLinks, WalkReportsEachLinkAsSkippedAndANamedLinkIsFollowed) {
    REQUIRE_NTFS(vol);
    TempDir src;
    MacFile file;
    file.name = "One";
    file.type = "TEXT";
    file.creator = "VSKR";
    file.data = PatternBytes(100, 1);
    fs::create_directories(src.File("tree/sub"));
    ASSERT_TRUE(WriteFile(src.File("tree/one.bin"), EncodeMacBinary(file)));
    fs::create_symlink("one.bin", src.File("tree/file-link"));
    fs::create_directory_symlink("sub", src.File("tree/folder-link"));
    fs::create_directory_symlink("..", src.File("tree/sub/loop"));
    fs::create_symlink(src.File("tree/one.bin"), src.File("named"));

    ProgramRun run =
        RunProgram(VESKAR_CONVERT_PATH, {"--json", "-r", vol->Root(), "tree"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    const auto skipped = [](const char* source) {
        return "{\"source\": " + cli::JsonString(source) +
               ", \"result\": \"link-skipped\", \"code\": 0}\n";
    };
    EXPECT_EQ(run.out, skipped("tree/file-link") + skipped("tree/folder-link") +
                           "{\"source\": \"tree/one.bin\", \"result\": \"converted\", "
                           "\"code\": 1, \"output\": \"One\"}\n" +
                           skipped("tree/sub/loop"));
    EXPECT_EQ(run.err, "veskar-convert: 1 converted, 0 failed, 3 skipped, 100 bytes written\n");

    run = RunProgram(VESKAR_CONVERT_PATH, {"-r", vol->Root(), "named"}, src.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "named -> One.001\n");
}

}  // namespace

}  // namespace veskar
