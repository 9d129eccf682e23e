// SPDX-License-Identifier: Apache-2.0
// The whole Mac file on a real NTFS volume: the dates as the file's creation and modification
// times, each extended attribute as the named stream of its name, and a folder's own
// information in the folder's AFP_AfpInfo stream, with the folder's times set after what
// landed in it.
#include <gtest/gtest.h>

#include "tests/ntfs_volume.h"
#include "tests/run_program.h"
#include "tests/whole_file_sources.h"

namespace veskar {

namespace wf = whole_file;

TEST(WholeMacFileOnNtfs, DatesAttributesAndFolders) {
    REQUIRE_NTFS(volume);
    TempDir sources;
    wf::MakeSources(sources);
    const ProgramRun run =
        RunProgram(VESKAR_CONVERT_PATH, {"--json", "-r", volume->Root(), sources.Path()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\"result\": \"folder-information\""), std::string::npos) << run.out;
    // The name too long for a stream is left out, and said.
    EXPECT_NE(run.err.find("warning: the extended attribute " + wf::kLongName + " was left out"),
              std::string::npos)
        << run.err;

    const auto dated = volume->TimesOf("Dated");
    ASSERT_TRUE(dated);
    if (dated->created) {
        EXPECT_EQ(*dated->created, wf::kCreated);
    }
    EXPECT_EQ(dated->modified, wf::kModified);
    const auto album = volume->TimesOf("Album");
    ASSERT_TRUE(album);
    if (album->created) {
        EXPECT_EQ(*album->created, wf::kFolderCreated);
    }
    EXPECT_EQ(album->modified, wf::kFolderModified);

    EXPECT_EQ(volume->ReadStream("tagged", wf::kEmptyName), "");
#ifndef _WIN32
    // ':' is kept in the private range (U+F022), as a Mac client stores it through SMB.
    EXPECT_EQ(volume->ReadStream("tagged", "com.apple.metadata\xEF\x80\xA2_kMDItemUserTags"),
              std::string(wf::kTags.begin(), wf::kTags.end()));
#endif
    const std::optional<std::string> folderInfo = volume->ReadStream("Album", "AFP_AfpInfo");
    ASSERT_TRUE(folderInfo);
    ASSERT_EQ(folderInfo->size(), 60u);
    EXPECT_EQ(static_cast<std::uint8_t>((*folderInfo)[24]), wf::kFolderFlags >> 8);
    EXPECT_TRUE(volume->ReadStream("Album/Inner", "AFP_AfpInfo"));
}

}  // namespace veskar
