// SPDX-License-Identifier: Apache-2.0
// The command line into and out of HFS disk images, judged by hfsutils and by the suite's own
// consistency check: every shared sample goes in (each file as `hcopy -m` copies it out equal
// to the same source wrapped as MacBinary by the converter), images hfsutils made are read out
// and filled further, and a file that does not fit leaves the image as it was.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "core/common/charsets.h"
#include "tests/environment.h"
#include "tests/hfs_check.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/hfs_tools.h"
#include "tests/posix/pausing_mount.h"
#include "tests/posix/start_program_posix.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

#define REQUIRE_HFSUTILS()                                         \
    if (!HfsTools::Installed()) {                                  \
        if (IsCi()) FAIL() << "no hfsutils under CI";              \
        GTEST_SKIP() << "NO HFSUTILS (Debian: hfsutils): skipped"; \
    }

ProgramRun Cli(const std::vector<std::string>& args, const std::string& folder = "") {
    return RunProgram(VESKAR_CONVERT_PATH, args, folder);
}

// Each converted source and its output, from the --json lines of a run (no name of the samples
// holds a quote or a backslash).
std::map<std::string, std::string> Outputs(const std::string& json) {
    const auto field = [](const std::string& line, const std::string& key) -> std::string {
        const std::string mark = "\"" + key + "\": \"";
        const std::size_t at = line.find(mark);
        if (at == std::string::npos) return {};
        const std::size_t from = at + mark.size();
        return line.substr(from, line.find('"', from) - from);
    };
    std::map<std::string, std::string> outputs;
    std::istringstream lines(json);
    for (std::string line; std::getline(lines, line);)
        if (field(line, "result") == "converted")
            outputs[field(line, "source")] = field(line, "output");
    return outputs;
}

TEST(HfsLayout, EverySharedSampleIntoFloppiesAndADisk) {
    REQUIRE_HFSUTILS();
    const std::string samples = VESKAR_SAMPLES_DIR;
    if (!fs::is_directory(samples)) GTEST_SKIP() << "no samples at " << samples;
    TempDir dir;
    // The wrappings to compare with, made once.
    const ProgramRun wrapping =
        Cli({"--json", "-r", "--layout", "macbinary", dir.File("wrapped"), samples});
    ASSERT_EQ(wrapping.status, 0) << wrapping.err;
    const auto wrapped = Outputs(wrapping.out);
    // An 800K floppy takes one format's samples; 1440K and 20M take them all.
    std::vector<std::pair<std::string, std::string>> runs;  // size, folder
    for (const char* format : {"binhex", "macbinary", "applesingle", "appledouble"})
        runs.emplace_back("800K", samples + "/" + format);
    runs.emplace_back("1440K", samples);
    runs.emplace_back("20M", samples);
    int n = 0;
    for (const auto& [size, folder] : runs) {
        const std::string image = dir.File("disk" + std::to_string(n++) + ".dsk");
        SCOPED_TRACE(size + " " + folder);
        const ProgramRun run =
            Cli({"--json", "-r", "--layout", "hfs", "--image-size", size, image, folder});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
        HfsTools tools;
        ASSERT_EQ(tools.Mount(image).status, 0);
        std::map<std::string, std::string> inImage = Outputs(run.out);
        EXPECT_FALSE(inImage.empty());
        for (const auto& [source, output] : inImage) {
            SCOPED_TRACE(source);
            std::string path = ":" + charsets::Utf8ToMacRoman(output);
            std::replace(path.begin(), path.end(), '/', ':');
            std::string why;
            const std::optional<HfsCopy> copy = tools.CopyOut(path, why);
            ASSERT_TRUE(copy) << why;
            ASSERT_TRUE(wrapped.contains(source));
            const std::optional<HfsCopy> expected =
                ParseMacBinary(ReadFile(dir.File("wrapped/" + wrapped.at(source))));
            ASSERT_TRUE(expected);
            // A name taken in the folder has its number on the volume.
            EXPECT_TRUE(copy->name == expected->name ||
                        copy->name.starts_with(expected->name + "."))
                << copy->name;
            EXPECT_EQ(copy->type, expected->type);
            EXPECT_EQ(copy->creator, expected->creator);
            EXPECT_EQ(copy->finderFlags, expected->finderFlags);
            EXPECT_EQ(copy->data, expected->data);
            EXPECT_EQ(copy->resource, expected->resource);
        }
        tools.Unmount();
    }
}

// A tree of 2,000 files in nested folders into a 200M image, in one run.
TEST(HfsLayout, TwoThousandFilesInNestedFolders) {
    REQUIRE_HFSUTILS();
    TempDir dir;
    for (int i = 0; i < 2000; ++i) {
        const std::string folder =
            dir.File("tree/Disk " + std::to_string(i % 10) + "/Side " + std::to_string(i % 3));
        fs::create_directories(folder);
        MacFile file;
        file.name = "File " + std::to_string(i);
        file.type = "TEXT";
        file.creator = "ttxt";
        file.data = PatternBytes(1024 + static_cast<std::size_t>(i) * 31 % 65536,
                                 static_cast<std::uint32_t>(i));
        ASSERT_TRUE(WriteFile(folder + "/" + std::to_string(i) + ".bin", EncodeMacBinary(file)));
    }
    const std::string image = dir.File("big.hda");
    const ProgramRun run =
        Cli({"-q", "-r", "--layout", "hfs", "--image-size", "200M", image, dir.File("tree")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
    const HfsTools tools;
    ASSERT_EQ(tools.Mount(image).status, 0);
    std::string why;
    const auto listing = tools.List(why);
    ASSERT_TRUE(listing) << why;
    const auto files = std::count_if(listing->begin(), listing->end(),
                                     [](const HfsListing& entry) { return !entry.folder; });
    EXPECT_EQ(files, 2000);
    EXPECT_EQ(listing->size(), 2000u + 10 + 30);
}

// An image hfsutils made and filled: read out whole, filled further beside what is there (a
// name taken in another letter case gets a number), and still read by hfsutils after.
TEST(HfsLayout, ImagesOfHfsutilsReadOutAndFilledFurther) {
    REQUIRE_HFSUTILS();
    TempDir dir;
    const HfsTools tools;
    MacFile file;
    file.name = "Letter";
    file.type = "TEXT";
    file.creator = "ttxt";
    file.data = PatternBytes(3000);
    file.resource = PatternBytes(700, 5);
    file.comment = "MacBinary II, which hcopy takes";
    ASSERT_TRUE(WriteFile(dir.File("Letter.bin"), EncodeMacBinary(file)));
    const std::string image = dir.File("old.dsk");
    ASSERT_EQ(tools.Format(image, 1440 * 1024, "Old").status, 0);
    ASSERT_EQ(tools.Run("hmkdir", {":Docs"}).status, 0);
    ASSERT_EQ(tools.CopyIn({dir.File("Letter.bin")}, ":Docs:").status, 0);
    ASSERT_EQ(tools.Run("hattrib", {"+l", ":Docs:Letter"}).status, 0);
    ASSERT_EQ(tools.Unmount().status, 0);

    // From disk to disk, the lock too.
    ASSERT_EQ(Cli({"-r", "-f", "hfs", "--layout", "hfs", dir.File("copy.dsk"), image}).status, 0);
    ASSERT_EQ(tools.Mount(dir.File("copy.dsk")).status, 0);
    std::string listed;
    const auto copied = tools.List(listed);
    ASSERT_TRUE(copied && copied->size() == 2) << listed;
    EXPECT_TRUE(copied->back().locked);
    EXPECT_EQ(copied->back().resourceLength, 700u);
    ASSERT_EQ(tools.Unmount().status, 0);

    ProgramRun run = Cli({"-r", "-f", "hfs", "--layout", "appledouble", dir.File("out"), image});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.File("out/Docs/Letter")), file.data);
    EXPECT_TRUE(fs::exists(dir.File("out/Docs/._Letter")));

    file.name = "LETTER";
    fs::create_directories(dir.File("tree/Docs"));
    ASSERT_TRUE(WriteFile(dir.File("tree/Docs/LETTER.bin"), EncodeMacBinary(file)));
    run = Cli({"-r", "--layout", "hfs", image, dir.File("tree")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("-> Docs/LETTER.001"), std::string::npos) << run.out;
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
    ASSERT_EQ(tools.Mount(image).status, 0);
    std::string why;
    const auto listing = tools.List(why);
    ASSERT_TRUE(listing) << why;
    std::vector<std::string> paths;
    for (const HfsListing& entry : *listing)
        paths.push_back(entry.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"Docs", "Docs:Letter", "Docs:LETTER.001"}));
    const auto copy = tools.CopyOut(":Docs:LETTER.001", why);
    ASSERT_TRUE(copy) << why;
    EXPECT_EQ(copy->resource, file.resource);
}

// A file larger than the volume's room fails alone: the image is as it was, byte for byte,
// and the next source of the run still goes in.
TEST(HfsLayout, AFileThatDoesNotFitLeavesTheImageAsItWas) {
    REQUIRE_HFSUTILS();
    TempDir dir;
    MacFile small, big;
    small.name = "Small";
    small.data = PatternBytes(100);
    big.name = "Big";
    big.data = PatternBytes(900 * 1024);
    ASSERT_TRUE(WriteFile(dir.File("small.bin"), EncodeMacBinary(small)));
    ASSERT_TRUE(WriteFile(dir.File("big.bin"), EncodeMacBinary(big)));
    // A trial run into an image in a folder that a run would make makes neither.
    const ProgramRun trial =
        Cli({"-n", "--layout", "hfs", dir.File("new/disk.dsk"), dir.File("small.bin")});
    EXPECT_EQ(trial.status, 0) << trial.err;
    EXPECT_NE(trial.err.find("a new HFS image would be made"), std::string::npos) << trial.err;
    EXPECT_FALSE(fs::exists(dir.File("new")));
    const std::string image = dir.File("floppy.img");
    ASSERT_EQ(Cli({"--layout", "hfs", "--image-size", "800K", image, dir.File("small.bin")}).status,
              0);
    const Bytes before = ReadFile(image);
    ProgramRun run = Cli({"--layout", "hfs", image, dir.File("big.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("big.bin: the output could not be written: the volume is full"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(image), before);
    run = Cli({"--layout", "hfs", image, dir.File("big.bin"), dir.File("small.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("small.bin -> Small.001"), std::string::npos) << run.out;
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
}

// Interrupted while a file's fork is written, the run ends leaving the volume as it was before
// that file: consistent, and holding what went in before.
TEST(HfsLayout, AnInterruptMidForkLeavesTheVolumeAsItWas) {
    REQUIRE_HFSUTILS();
    TempDir backing, src;
    MacFile small, big;
    small.name = "Small";
    small.data = PatternBytes(100);
    big.name = "Big";
    big.data = PatternBytes(std::size_t{6} << 20);
    ASSERT_TRUE(WriteFile(src.File("small.bin"), EncodeMacBinary(small)));
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(big)));
    ASSERT_EQ(Cli({"--layout", "hfs", backing.File("disk.dsk"), src.File("small.bin")}).status, 0);
    const std::vector<PausingMount::Pause> pauses = {{"disk.dsk", 4 << 20}};
    REQUIRE_PAUSING_MOUNT(mount, backing.Path(), pauses);
    const pid_t child =
        StartProgram(VESKAR_CONVERT_PATH,
                     {"--layout", "hfs", mount->Path("disk.dsk"), src.File("big.bin")}, "", {});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(mount->WaitForPause());
    ::kill(child, SIGINT);
    mount->Resume();
    EXPECT_EQ(WaitForProgram(child), -1);  // ended by the signal
    EXPECT_EQ(CheckHfsImage(backing.File("disk.dsk")), std::vector<std::string>{});
    const HfsTools tools;
    ASSERT_EQ(tools.Mount(backing.File("disk.dsk")).status, 0);
    std::string why;
    const auto listing = tools.List(why);
    ASSERT_TRUE(listing) << why;
    ASSERT_EQ(listing->size(), 1u);
    EXPECT_EQ(listing->front().path, "Small");
}

}  // namespace

}  // namespace veskar
