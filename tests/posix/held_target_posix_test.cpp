// SPDX-License-Identifier: Apache-2.0
// Outputs held to their target, in every layout, under attack: links planted where a folder is
// expected, an output removed, moved aside or replaced while it is written, the target swapped
// for a link mid-batch, a kill at any moment and the run after it. Nothing outside the target
// changes, nothing partial stands under a final name, no file the run did not make is removed,
// and nothing is reported converted that is not whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/pausing_mount.h"
#include "tests/posix/start_program_posix.h"
#include "tests/run_program.h"
#include "tests/work_folder.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

struct LayoutCase {
    const char* word;
    bool ntfs;       // written into an NTFS volume (else a folder of the temporary folder)
    bool companion;  // a "._" file beside each data file
};

const LayoutCase kLayouts[] = {
    {"sfm", true, false},
    {"fruit", false, true},
    {"appledouble", false, true},
    {"streams-xattr", false, false},
};

std::string PrintLayout(const testing::TestParamInfo<LayoutCase>& info) {
    std::string name = info.param.word;
    std::erase(name, '-');
    return name;
}

// Every name below `folder`, relative to it, links not followed.
std::set<std::string> Tree(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        names.insert(it->path().lexically_relative(folder).string());
    return names;
}

// The names the output of `name` takes in the layout.
std::set<std::string> OutputNames(const LayoutCase& layout, const std::string& name) {
    if (layout.companion) return {name, "._" + name};
    return {name};
}

// The first file in the run's work folder below `target` whose name is `file`, once it holds
// `atLeast` bytes; empty when none does within a minute.
std::string WorkFileOnceWritten(const std::string& target, const std::string& file,
                                std::uintmax_t atLeast) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(target, error)) {
            if (!entry.path().filename().string().starts_with(".veskar-")) continue;
            const fs::path candidate = entry.path() / file;
            if (fs::exists(candidate, error) && fs::file_size(candidate, error) >= atLeast)
                return candidate.string();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return {};
}

class HeldTargetTest : public testing::TestWithParam<LayoutCase> {
  protected:
    // The target folder of the layout: the root of a fresh NTFS volume, or a temporary one.
    // False (the test skips or fails loudly) when no NTFS volume can be had.
    std::string Target() {
        if (!GetParam().ntfs) return scratch_.Path();
        if (!volume_) volume_ = NtfsVolume::Make(256, &why_);
        return volume_ ? volume_->Root() : std::string();
    }
    bool NoVolume() const { return GetParam().ntfs && !volume_; }

    ProgramRun Convert(std::vector<std::string> args, const std::string& folder = "") {
        args.insert(args.begin(), {"--layout", GetParam().word});
        return RunProgram(VESKAR_CONVERT_PATH, args, folder);
    }
    // Started as a child, its standard error into `err` when given.
    pid_t Start(std::vector<std::string> args, int err = -1) {
        args.insert(args.begin(), {"--layout", GetParam().word});
        return StartProgram(VESKAR_CONVERT_PATH, args, "", {-1, -1, err});
    }

    std::string why_;
    std::unique_ptr<NtfsVolume> volume_;
    TempDir scratch_;
};

#define REQUIRE_TARGET(target)                                              \
    const std::string target = Target();                                    \
    if (NoVolume()) {                                                       \
        if (IsCi()) FAIL() << "NTFS volume unavailable under CI: " << why_; \
        GTEST_SKIP() << "NO NTFS VOLUME (" << why_ << "): skipped";         \
    }

MacFile Report(std::size_t dataBytes, std::size_t resourceBytes) {
    MacFile file;
    file.name = "Report";
    file.data = PatternBytes(dataBytes, 3);
    file.resource = PatternBytes(resourceBytes, 4);
    return file;
}

// A link in the target where a source folder's outputs would go is refused, never followed:
// its folder's sources fail with a reason that says so, and nothing reaches where it points.
TEST_P(HeldTargetTest, ALinkWhereAFolderIsExpectedIsRefusedNotFollowed) {
    REQUIRE_TARGET(target);
    TempDir src, elsewhere;
    fs::create_directories(src.File("tree/sub"));
    ASSERT_TRUE(WriteFile(src.File("tree/top.bin"), EncodeMacBinary(Report(100, 50))));
    ASSERT_TRUE(WriteFile(src.File("tree/sub/in.bin"), EncodeMacBinary(Report(100, 50))));
    fs::create_directory_symlink(elsewhere.Path(), target + "/sub");
    const ProgramRun run = Convert({"-r", target, src.File("tree")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("sub is a symbolic link, not a folder"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    std::set<std::string> expected = OutputNames(GetParam(), "Report");
    expected.insert("sub");
    EXPECT_EQ(Tree(target), expected);

    // Planted while the run writes the output before them: the same.
    fs::remove(target + "/sub");
    for (const std::string& name : OutputNames(GetParam(), "Report"))
        fs::remove(target + "/" + name);
    fs::rename(src.File("tree/top.bin"), src.File("tree/a-first.bin"));
    ASSERT_TRUE(WriteFile(src.File("tree/a-first.bin"),
                          EncodeMacBinary(Report(std::size_t{48} << 20, 100))));
    const pid_t child = Start({"-r", target, src.File("tree")});
    ASSERT_GT(child, 0);
    ASSERT_FALSE(WorkFileOnceWritten(target, "1", 1 << 20).empty());
    fs::create_directory_symlink(elsewhere.Path(), target + "/sub");
    EXPECT_EQ(WaitForProgram(child), 1);
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_EQ(Tree(target), expected);
}

// Killed while an output is written, at each of its files: nothing stands under a final name;
// the next run into the folder removes what the killed one left, says so, and writes the
// output under its own name.
TEST_P(HeldTargetTest, AKillLeavesNothingUnderAFinalNameAndTheNextRunClearsIt) {
    REQUIRE_TARGET(target);
    TempDir src;
    // The resource fork is as long as the data fork where a "._" file holds it, so that its
    // writing can be caught too; one attribute holds it otherwise.
    const MacFile big =
        Report(std::size_t{48} << 20, GetParam().companion ? std::size_t{48} << 20 : 3000);
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(big)));
    // The data file is the run's first work file, the "._" file (where there is one) its second.
    std::vector<std::pair<std::string, std::uintmax_t>> moments = {{"1", 1 << 20}};
    if (GetParam().companion) moments.emplace_back("2", 1 << 20);
    for (const auto& [file, written] : moments) {
        SCOPED_TRACE("killed while work file " + file + " is written");
        const pid_t child = Start({target, src.File("big.bin")});
        ASSERT_GT(child, 0);
        const std::string seen = WorkFileOnceWritten(target, file, written);
        ::kill(child, SIGKILL);
        WaitForProgram(child);
        ASSERT_FALSE(seen.empty()) << "the output was never seen being written";
        for (const std::string& name : OutputNames(GetParam(), "Report"))
            EXPECT_FALSE(fs::exists(target + "/" + name)) << name;

        // A trial run writes nothing, and leaves the leftovers as they are.
        const std::set<std::string> left = Tree(target);
        EXPECT_EQ(Convert({"-n", target, src.File("big.bin")}).status, 0);
        EXPECT_EQ(Tree(target), left);

        const ProgramRun rerun = Convert({target, src.File("big.bin")});
        EXPECT_EQ(rerun.status, 0) << rerun.err;
        EXPECT_NE(rerun.err.find("removed what an interrupted run left in"), std::string::npos)
            << rerun.err;
        EXPECT_EQ(Tree(target), OutputNames(GetParam(), "Report"));
        EXPECT_EQ(fs::file_size(target + "/Report"), big.data.size());
        for (const std::string& name : OutputNames(GetParam(), "Report"))
            fs::remove(target + "/" + name);
    }
}

// An output removed or replaced while its data fork is written is never put in place (nor a
// new empty file made for its streams): the source fails, and a file put where the output's
// was is neither taken as it nor removed.
TEST_P(HeldTargetTest, AnOutputRemovedOrReplacedMidWriteFailsAndNothingElseIsTouched) {
    REQUIRE_TARGET(target);
    TempDir src, outside;
    // More than one ext4 block of attributes: streams-xattr fails at its resource fork, after
    // the data fork, as a full volume would.
    const MacFile big = Report(std::size_t{48} << 20, 100);
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(big)));
    ASSERT_TRUE(WriteFile(outside.File("victim"), BytesOf("someone else's")));
    struct Attack {
        const char* what;
        std::function<void(const std::string& file)> act;
    };
    const Attack attacks[] = {
        {"removed", [](const std::string& file) { fs::remove(file); }},
        {"replaced by a link to a file outside",
         [&](const std::string& file) {
             fs::rename(file, file + ".aside");
             fs::create_symlink(outside.File("victim"), file);
         }},
        {"replaced by another file",
         [](const std::string& file) {
             fs::rename(file, file + ".aside");
             WriteFile(file, BytesOf("another's"));
         }},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.what);
        const pid_t child = Start({target, src.File("big.bin")});
        ASSERT_GT(child, 0);
        const std::string file = WorkFileOnceWritten(target, "1", 1 << 20);
        ASSERT_FALSE(file.empty());
        attack.act(file);
        const std::string left = fs::path(file).parent_path().string();
        EXPECT_EQ(WaitForProgram(child), 1);
        for (const std::string& name : OutputNames(GetParam(), "Report"))
            EXPECT_FALSE(fs::exists(target + "/" + name)) << name;
        EXPECT_EQ(ReadFile(outside.File("victim")), BytesOf("someone else's"));
        char value[8];
        EXPECT_LT(::getxattr(outside.File("victim").c_str(), "user.DosStream.AFP_AfpInfo:$DATA",
                             value, sizeof value),
                  0);
        // The file put in the output's place is not this run's to remove; the folder it
        // stands in is then left, and the next run clears it.
        if (std::string(attack.what) == "replaced by another file") {
            EXPECT_EQ(ReadFile(file), BytesOf("another's"));
        }
        std::error_code ignored;
        fs::remove_all(left, ignored);
    }
}

// The target swapped for a link while a batch writes into it: the output under way finishes in
// the folder the run holds, and every later source fails with a reason that says so; nothing
// reaches where the link points.
TEST_P(HeldTargetTest, ATargetSwappedForALinkMidBatchIsNoticed) {
    REQUIRE_TARGET(root);
    TempDir src, elsewhere;
    const std::string target = root + "/out";
    fs::create_directory(target);
    ASSERT_TRUE(WriteFile(src.File("a.bin"), EncodeMacBinary(Report(std::size_t{48} << 20, 100))));
    MacFile second = Report(100, 100);
    second.name = "Second";
    ASSERT_TRUE(WriteFile(src.File("b.bin"), EncodeMacBinary(second)));
    const pid_t child = Start({target, src.File("a.bin"), src.File("b.bin")});
    ASSERT_GT(child, 0);
    ASSERT_FALSE(WorkFileOnceWritten(target, "1", 1 << 20).empty());
    fs::rename(target, root + "/moved");
    fs::create_directory_symlink(elsewhere.Path(), target);
    EXPECT_EQ(WaitForProgram(child), 1);
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_EQ(Tree(root + "/moved"), OutputNames(GetParam(), "Report"));
}

// The target turned read-only while an output is written: the source fails, nothing stands
// under a final name, and the reason names what could not be removed; the next run, once the
// folder takes writes again, clears it. (The NTFS output meets a read-only remount in
// HostileTargets' tests; FUSE's own test file system shows no NTFS streams.)
TEST_P(HeldTargetTest, ATargetTurnedReadOnlyMidOutputSaysWhatItLeft) {
    if (GetParam().ntfs) GTEST_SKIP() << "the NTFS output is written into ntfs-3g only";
    TempDir backing, src, logs;
    const std::vector<PausingMount::Pause> pauses = {{"1", 1 << 20}};
    REQUIRE_PAUSING_MOUNT(mount, backing.Path(), pauses);
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(Report(std::size_t{8} << 20, 100))));
    const int err = ::open(logs.File("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const pid_t child = Start({mount->Path(""), src.File("big.bin")}, err);
    ::close(err);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(mount->WaitForPause());
    mount->SetReadOnly(true);
    mount->Resume();
    EXPECT_EQ(WaitForProgram(child), 1);
    mount->SetReadOnly(false);
    const Bytes said = ReadFile(logs.File("err"));
    const std::string reason(said.begin(), said.end());
    EXPECT_NE(reason.find("Read-only file system"), std::string::npos) << reason;
    EXPECT_NE(reason.find("was left behind, as it cannot be removed"), std::string::npos) << reason;
    for (const std::string& name : OutputNames(GetParam(), "Report"))
        EXPECT_FALSE(fs::exists(backing.File(name))) << name;

    const ProgramRun rerun = Convert({mount->Path(""), src.File("big.bin")});
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_NE(rerun.err.find("removed what an interrupted run left in"), std::string::npos)
        << rerun.err;
    EXPECT_EQ(Tree(backing.Path()), OutputNames(GetParam(), "Report"));
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, HeldTargetTest, testing::ValuesIn(kLayouts), PrintLayout);

// An ext4 file system in an image, mounted through a loop device, unmounted when it goes.
class Ext4Image {
  public:
    explicit Ext4Image(const TempDir& dir)
        : image_(dir.File("ext4.img")), mountPoint_(dir.File("mnt")) {
        fs::create_directory(mountPoint_);
        mounted_ = RunCommand("truncate -s 64M " + ShellQuote(image_) + " && mkfs.ext4 -q -F " +
                              ShellQuote(image_) + " && mount -o loop " + ShellQuote(image_) + " " +
                              ShellQuote(mountPoint_))
                       .has_value();
    }
    ~Ext4Image() {
        if (mounted_) RunCommand("umount " + ShellQuote(mountPoint_));
    }
    bool Mounted() const { return mounted_; }
    const std::string& Image() const { return image_; }
    const std::string& Root() const { return mountPoint_; }

  private:
    std::string image_;
    std::string mountPoint_;
    bool mounted_ = false;
};

// Regression: an ext4 image copied right after a run's exit 0 did not hold its output at all.
// What a run wrote is on the disk when it reports: the copy, taken without unmounting, holds
// each file whole.
TEST(HeldTarget, WhatARunWroteIsOnTheDiskWhenItEnds) {
    TempDir dir, src;
    const Ext4Image ext4(dir);
    if (!ext4.Mounted()) {
        if (IsCi()) FAIL() << "no loop-mounted ext4 image under CI";
        GTEST_SKIP() << "NO LOOP-MOUNTED EXT4 IMAGE (needs root, mkfs.ext4, a loop device)";
    }
    const MacFile file = Report(200000, 3000);
    ASSERT_TRUE(WriteFile(src.File("report.bin"), EncodeMacBinary(file)));
    const ProgramRun run =
        RunProgram(VESKAR_CONVERT_PATH, {"--layout", "fruit", ext4.Root(), src.File("report.bin")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string copy = dir.File("copy.img");
    fs::copy_file(ext4.Image(), copy);
    ASSERT_TRUE(RunCommand("debugfs -R " + ShellQuote("dump /Report " + dir.File("data")) + " " +
                           ShellQuote(copy) + " 2>/dev/null"));
    EXPECT_EQ(ReadFile(dir.File("data")), file.data);
    const auto listing = RunCommand("debugfs -R 'ls -l /' " + ShellQuote(copy) + " 2>/dev/null");
    ASSERT_TRUE(listing);
    EXPECT_NE(listing->find("._Report"), std::string::npos) << *listing;
}

}  // namespace

}  // namespace veskar
