// SPDX-License-Identifier: Apache-2.0
// The target folder's volume is checked when it is used: a drive unmounted under a target
// folder (the path now on the file system beneath it) must not get "NAME:AFP_AfpInfo" as a
// plain file, and a folder refused once converts again once its volume is back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/import.h"
#include "core/read/macbinary.h"
#include "core/write/target_folder.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

std::size_t EntriesIn(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

TEST(TargetFolder, IsCheckedAgainWhenItsVolumeGoesAndComesBack) {
    REQUIRE_NTFS(volume);
    TempDir sources;
    const CurrentFolderGuard keep;
    const std::string source = sources.File("a.bin");
    MacFile file;
    file.data = PatternBytes(300);
    ASSERT_TRUE(WriteFile(source, EncodeMacBinary(file)));

    EXPECT_EQ(ImportMacBinary(volume->Root(), source), ImportResult::Converted);
    ASSERT_TRUE(volume->Unmount());
    // The mount point is an empty folder of the file system beneath.
    EXPECT_EQ(ImportMacBinary(volume->Root(), source), ImportResult::WriteFailed);
    EXPECT_EQ(EntriesIn(volume->Root()), 0u);

    ASSERT_TRUE(volume->Mount());
    EXPECT_EQ(ImportMacBinary(volume->Root(), source), ImportResult::Converted);
    EXPECT_TRUE(fs::exists(volume->Path("Report.001")));
}

// A folder entered again by the same path is entered anew when the current folder was moved
// elsewhere meanwhile (a host program's own chdir) or the path names another folder now.
TEST(TargetFolder, EnteredAgainWhenTheCurrentFolderOrThePathChanged) {
    TempDir root;
    const CurrentFolderGuard keep;
    const std::string target = root.File("target");
    ASSERT_TRUE(fs::create_directory(target));
    ASSERT_TRUE(EnterTargetFolder(target, TargetNeeds::Nothing).usable);
    ASSERT_EQ(::chdir(root.Path().c_str()), 0);
    ASSERT_TRUE(EnterTargetFolder(target, TargetNeeds::Nothing).usable);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), target));

    fs::rename(target, root.File("moved"));
    ASSERT_TRUE(fs::create_directory(target));
    ASSERT_TRUE(EnterTargetFolder(target, TargetNeeds::Nothing).usable);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), target));
    EXPECT_FALSE(fs::equivalent(fs::current_path(), root.File("moved")));
}

}  // namespace

}  // namespace veskar
