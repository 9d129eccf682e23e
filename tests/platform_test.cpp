// SPDX-License-Identifier: Apache-2.0
// The platform layer's contract, checked against the real file system and a real NTFS volume.
#include "platform/platform.h"
#include "tests/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

// Restores the current folder a test moves away from.
class CurrentFolderGuard {
  public:
    CurrentFolderGuard() : former_(platform::CurrentFolder()) {}
    ~CurrentFolderGuard() { platform::SetCurrentFolder(former_); }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

  private:
    std::string former_;
};

void Touch(const std::string& path) {
    std::ofstream(path).put('x');
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(PlatformFolders, CurrentFolderMovesOnlyIntoFolders) {
    // Declared after the folder, so that the folder is left before it is removed: Windows
    // removes no folder that is a process's current one.
    ScratchFolder scratch;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    EXPECT_EQ(fs::path(platform::CurrentFolder()), fs::canonical(scratch.Path()));
    EXPECT_FALSE(platform::SetCurrentFolder(scratch / "missing"));
    EXPECT_EQ(fs::path(platform::CurrentFolder()), fs::canonical(scratch.Path()));
}

TEST(PlatformLookup, IgnoresLetterCaseAndTellsFoldersFromFiles) {
    ScratchFolder scratch;
    CurrentFolderGuard guard;
    Touch(scratch / "Report");
    Touch(scratch / platform::AnsiToNative("\xE9t\xE9"));
    fs::create_directory(scratch / "Sub");
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));

    const struct {
        const char* ansi;
        platform::Found found;
    } cases[] = {
        {"Report", platform::Found::File},     {"REPORT", platform::Found::File},
        {"rEpOrT", platform::Found::File},     {"\xC9T\xC9", platform::Found::File},
        {"\xE9t\xE9", platform::Found::File},  {"sub", platform::Found::Folder},
        {"Reports", platform::Found::Nothing}, {"Repor", platform::Found::Nothing},
        {"", platform::Found::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::FindInCurrentFolder(c.ansi), c.found) << c.ansi;
}

// A name beside a source, looked up in another folder than the current one: what bears it
// whatever the letter case, answered with the folder's own spelling.
TEST(PlatformLookup, NameInFolderAnswersWithTheFoldersSpelling) {
    ScratchFolder scratch;
    Touch(scratch / "Report");
    Touch(scratch / platform::AnsiToNative("\xE9t\xE9"));
    fs::create_directory(scratch / "Sub");
    const std::string folder = scratch.Path().string();
    const struct {
        std::string given;
        std::optional<std::string> spelt;
    } cases[] = {
        {"Report", "Report"},
        {"REPORT", "Report"},
        {"sub", "Sub"},
        {platform::AnsiToNative("\xC9T\xC9"), platform::AnsiToNative("\xE9t\xE9")},
        {"Repor", std::nullopt},
        {"Rep*", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::NameInFolder(folder, c.given), c.spelt) << c.given;
        EXPECT_EQ(platform::NameTakenInFolder(folder, c.given), c.spelt.has_value()) << c.given;
    }
    EXPECT_EQ(platform::NameInFolder(scratch / "missing", "Report"), std::nullopt);
}

TEST(PlatformLookup, SeesChangesMadeBehindItsBack) {
    ScratchFolder scratch;
    ScratchFolder other;
    CurrentFolderGuard guard;
    Touch(other / "later");
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    EXPECT_EQ(platform::FindInCurrentFolder("LATER"), platform::Found::Nothing);

    // Made through another path, right after the folder was listed.
    Touch(scratch / "later");
    fs::create_directory(scratch / "newer");
    EXPECT_EQ(platform::FindInCurrentFolder("LATER"), platform::Found::File);
    EXPECT_EQ(platform::FindInCurrentFolder("Newer"), platform::Found::Folder);
    fs::remove(scratch / "later");
    EXPECT_EQ(platform::FindInCurrentFolder("LATER"), platform::Found::Nothing);

    // Another folder has its own names.
    ASSERT_TRUE(platform::SetCurrentFolder(other.Path().string()));
    EXPECT_EQ(platform::FindInCurrentFolder("Later"), platform::Found::File);
    EXPECT_EQ(platform::FindInCurrentFolder("Newer"), platform::Found::Nothing);
}

TEST(PlatformLookup, FindsEveryFileNotedInABatch) {
    ScratchFolder scratch;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    constexpr int kFiles = 2000;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "file" + std::to_string(i);
        ASSERT_EQ(platform::FindInCurrentFolder(name), platform::Found::Nothing);
        ASSERT_TRUE(platform::CreateNewFile(platform::OutputPath(name)));
        platform::NoteCreatedInCurrentFolder(name);
    }
    Touch(scratch / "outsider");
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(platform::FindInCurrentFolder("FILE" + std::to_string(i)), platform::Found::File);
    EXPECT_EQ(platform::FindInCurrentFolder("OUTSIDER"), platform::Found::File);
}

TEST(PlatformFiles, TemporaryFilesAreNewEmptyAndDistinct) {
    ScratchFolder scratch;
    std::set<std::string> made;
    for (int i = 0; i < 50; ++i) {
        const auto path = platform::CreateTempFile(scratch.Path().string(), "BIN");
        ASSERT_TRUE(path);
        EXPECT_TRUE(made.insert(*path).second) << *path;
        EXPECT_EQ(fs::path(*path).parent_path(), scratch.Path());
        EXPECT_EQ(fs::path(*path).filename().string().rfind("BIN", 0), 0u) << *path;
        EXPECT_EQ(fs::file_size(*path), 0u);
    }
    EXPECT_EQ(Listing(scratch.Path()).size(), made.size());
    EXPECT_FALSE(platform::CreateTempFile(scratch / "missing", "BIN"));

    const std::string path = scratch / "new";
    EXPECT_TRUE(platform::CreateNewFile(path));
    EXPECT_FALSE(platform::CreateNewFile(path));
    EXPECT_TRUE(platform::IsWritableFolder(scratch.Path().string()));
    EXPECT_FALSE(platform::IsWritableFolder(path));
    EXPECT_TRUE(platform::RemoveFile(path));
    EXPECT_FALSE(platform::RemoveFile(path));
    EXPECT_FALSE(platform::IsWritableFolder(path));
}

TEST(PlatformStreams, PositionsAndRawTransfersReachPast4GiB) {
    ScratchFolder scratch;
    std::FILE* file = platform::OpenStream(scratch / "data", "w+b");
    ASSERT_NE(file, nullptr);
    std::vector<char> pattern(3 << 20);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i * 7);
    const platform::RawFile raw = platform::RawOf(file);
    ASSERT_TRUE(platform::RawWriteAll(raw, pattern.data(), pattern.size()));
    EXPECT_EQ(platform::StreamSize(file), pattern.size());

    const std::uint64_t far = (5ull << 30) + 3;
    ASSERT_TRUE(platform::Seek(file, far));
    EXPECT_EQ(platform::Tell(file), far);
    ASSERT_TRUE(platform::RawSeek(raw, far));
    ASSERT_TRUE(platform::RawWriteAll(raw, "end", 3));
    EXPECT_EQ(platform::StreamSize(file), far + 3);

    ASSERT_TRUE(platform::RawSeek(raw, 0));
    std::vector<char> back(pattern.size());
    std::size_t got = 0;
    while (got < back.size()) {
        const std::int64_t n = platform::RawRead(raw, back.data() + got, back.size() - got);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(back, pattern);
    ASSERT_TRUE(platform::RawSeek(raw, far + 3));
    EXPECT_EQ(platform::RawRead(raw, back.data(), back.size()), 0);
    std::fclose(file);

    EXPECT_EQ(platform::RawRead(platform::RawFile{}, back.data(), 1), -1);
    file = platform::OpenStream(scratch / "data", "rb");
    ASSERT_NE(file, nullptr);
    errno = 0;
    EXPECT_FALSE(platform::RawWriteAll(platform::RawOf(file), "x", 1));
    // The reason is kept for the caller's message (Wine's C runtime says EACCES).
    EXPECT_TRUE(errno == EBADF || errno == EACCES) << errno;
    std::fclose(file);
}

TEST(PlatformStreams, ExclusiveCreationNeverReplacesAFile) {
    ScratchFolder scratch;
    const std::string path = scratch / "only";
    std::FILE* file = platform::OpenStream(path, "w+bx");
    ASSERT_NE(file, nullptr);
    ASSERT_GE(std::fputs("first", file), 0);
    std::fclose(file);
    errno = 0;
    EXPECT_EQ(platform::OpenStream(path, "w+bx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    std::ifstream back(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), "first");
}

TEST(PlatformVolume, NamedStreamsOnlyOnNtfs3gWithTheWindowsInterface) {
    REQUIRE_NTFS(vol);
    fs::create_directory(vol->Path("Sub"));
    Touch(vol->Path("Sub/keep"));
    for (const std::string& folder : {vol->Root(), vol->Path("Sub")}) {
        const std::set<std::string> before = Listing(folder);
        const platform::VolumeInfo info = platform::QueryVolume(folder);
        EXPECT_TRUE(info.namedStreams) << folder << ": " << info.advice;
        EXPECT_EQ(info.fileSystem, "NTFS");
        EXPECT_EQ(info.maxNameLength, 255u);
        EXPECT_EQ(info.advice, "");
        EXPECT_EQ(Listing(folder), before) << folder;
    }
    {
        // ntfs-3g compares names exactly; the lookup still ignores letter case there.
        CurrentFolderGuard guard;
        ASSERT_TRUE(platform::SetCurrentFolder(vol->Path("Sub")));
        EXPECT_EQ(platform::FindInCurrentFolder("KEEP"), platform::Found::File);
    }

    ScratchFolder scratch;
    for (const std::string& folder : {scratch.Path().string(), std::string(VESKAR_PROJECT_DIR)}) {
        const platform::VolumeInfo info = platform::QueryVolume(folder);
        EXPECT_FALSE(info.namedStreams) << folder;
        EXPECT_EQ(info.maxNameLength, 0u);
        EXPECT_NE(info.fileSystem, "");
        EXPECT_NE(info.advice.find("streams_interface=windows"), std::string::npos) << info.advice;
    }
    EXPECT_TRUE(Listing(scratch.Path()).empty());
    const platform::VolumeInfo missing = platform::QueryVolume(scratch / "missing");
    EXPECT_FALSE(missing.namedStreams);
    EXPECT_EQ(missing.advice, "the folder does not exist");
}

// The folder chooser accepts a folder exactly where the streams work, and nothing is left
// behind by the probe.
TEST(PlatformVolume, IsNtfsVolumeGivesTheNameLengthOnlyOnAWorkingNtfs3gMount) {
    REQUIRE_NTFS(vol);
    fs::create_directory(vol->Path("Out"));
    for (const std::string& folder : {vol->Root(), vol->Path("Out"), vol->Path("Out") + "/"}) {
        EXPECT_EQ(platform::IsNtfsVolume(folder), 255u) << folder;
        EXPECT_TRUE(Listing(vol->Path("Out")).empty()) << folder;
    }
    EXPECT_EQ(platform::IsNtfsVolume(vol->Path("Out/missing")), 0u);

    ScratchFolder ext4;  // the temporary folder lies on the machine's ext4 root
    EXPECT_EQ(platform::IsNtfsVolume(ext4.Path().string()), 0u);
    EXPECT_TRUE(Listing(ext4.Path()).empty());
    EXPECT_EQ(platform::IsNtfsVolume(ext4 / "missing"), 0u);
    EXPECT_EQ(platform::IsNtfsVolume(""), 0u);
}

}  // namespace

}  // namespace veskar
