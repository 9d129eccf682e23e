// The platform layer's contract, checked against the real file system and a real NTFS volume.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <vector>

#include "tests/ntfs_volume.h"

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

// A new empty folder of the test's own, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device random;
        do {
            path_ = fs::temp_directory_path() / ("veskar-platform-" + std::to_string(random()));
        } while (!fs::create_directory(path_));
    }
    ~ScratchFolder() { fs::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
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

TEST(PlatformNames, EveryCodePage1252ByteRoundTripsThroughUtf8) {
    std::set<std::string> natives;
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string ansi(1, static_cast<char>(b));
        const std::string native = platform::AnsiToNative(ansi);
        natives.insert(native);
        EXPECT_EQ(platform::NativeToAnsi(native), ansi) << "byte " << b;
        all += ansi;
    }
    EXPECT_EQ(natives.size(), 256u);
    EXPECT_EQ(platform::NativeToAnsi(platform::AnsiToNative(all)), all);
}

TEST(PlatformNames, FollowsTheWindowsTable) {
    const struct {
        unsigned char ansi;
        const char* utf8;
    } cases[] = {
        {0x41, "A"},        {0x80, "€"},        {0x81, "\xC2\x81"}, {0x8D, "\xC2\x8D"},
        {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"}, {0x9D, "\xC2\x9D"}, {0x8A, "Š"},
        {0x99, "™"},        {0x9F, "Ÿ"},        {0xA0, "\xC2\xA0"}, {0xE9, "é"},
        {0xFF, "ÿ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::AnsiToNative(std::string(1, static_cast<char>(c.ansi))), c.utf8)
            << "byte " << int(c.ansi);
}

TEST(PlatformNames, RefusesWhatCodePage1252CannotHold) {
    const char* refused[] = {
        "Ā",        "\xC2\x80",     "name 日本",    "😀",
        "\xC3",     "\xC3(",        "\x80",         "\xFF",
        "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
    };
    for (const char* native : refused)
        EXPECT_EQ(platform::NativeToAnsi(native), std::nullopt) << native;
    EXPECT_EQ(platform::NativeToAnsi("Ÿ€ é"), "\x9F\x80 \xE9");
}

TEST(PlatformNames, OutputPathsStayInTheCurrentFolder) {
    EXPECT_EQ(platform::OutputPath("C"), "./C");
    EXPECT_EQ(platform::OutputPath("\xE9t\xE9.txt"), "./été.txt");
    EXPECT_EQ(platform::OutputPath("Name", "AFP_Resource"), "./Name:AFP_Resource");
    EXPECT_TRUE(platform::IsSeparator('/'));
    EXPECT_FALSE(platform::IsSeparator('\\'));
}

TEST(PlatformFolders, CurrentFolderMovesOnlyIntoFolders) {
    CurrentFolderGuard guard;
    ScratchFolder scratch;
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    EXPECT_EQ(fs::path(platform::CurrentFolder()), fs::canonical(scratch.Path()));
    EXPECT_FALSE(platform::SetCurrentFolder(scratch / "missing"));
    EXPECT_EQ(fs::path(platform::CurrentFolder()), fs::canonical(scratch.Path()));
}

TEST(PlatformLookup, IgnoresLetterCaseAndTellsFoldersFromFiles) {
    CurrentFolderGuard guard;
    ScratchFolder scratch;
    Touch(scratch / "Report");
    Touch(scratch / "été");
    fs::create_directory(scratch / "Sub");
    fs::create_directory_symlink("Sub", scratch / "LinkToSub");
    fs::create_symlink("nowhere", scratch / "Dangling");
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));

    const struct {
        const char* ansi;
        platform::Found found;
    } cases[] = {
        {"Report", platform::Found::File},      {"REPORT", platform::Found::File},
        {"rEpOrT", platform::Found::File},      {"\xC9T\xC9", platform::Found::File},
        {"\xE9t\xE9", platform::Found::File},   {"sub", platform::Found::Folder},
        {"LINKTOSUB", platform::Found::Folder}, {"dangling", platform::Found::File},
        {"Reports", platform::Found::Nothing},  {"Repor", platform::Found::Nothing},
        {"", platform::Found::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::FindInCurrentFolder(c.ansi), c.found) << c.ansi;
}

TEST(PlatformLookup, SeesChangesMadeBehindItsBack) {
    CurrentFolderGuard guard;
    ScratchFolder scratch;
    ScratchFolder other;
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
    CurrentFolderGuard guard;
    ScratchFolder scratch;
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

TEST(PlatformFiles, TempFolderPrefersAUsableTmpdir) {
    ScratchFolder scratch;
    const char* saved = std::getenv("TMPDIR");
    const std::string former = saved ? saved : "";
    ::setenv("TMPDIR", scratch.Path().c_str(), 1);
    EXPECT_EQ(platform::TempFolder(), scratch.Path().string() + "/");
    ::setenv("TMPDIR", (scratch / "missing").c_str(), 1);
    EXPECT_EQ(platform::TempFolder(), "/tmp/");
    if (saved)
        ::setenv("TMPDIR", former.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
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
    EXPECT_EQ(errno, EBADF);
    std::fclose(file);

    std::FILE* pipe = ::popen("true", "r");
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(platform::StreamSize(pipe), std::nullopt);
    ::pclose(pipe);
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
        EXPECT_NE(info.fileSystem, "NTFS");
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
    // A read-only mount cannot take the outputs, even though it is ntfs-3g.
    ASSERT_TRUE(vol->Unmount());
    ASSERT_TRUE(vol->Mount(/*readOnly=*/true));
    EXPECT_EQ(platform::IsNtfsVolume(vol->Path("Out")), 0u);

    ScratchFolder ext4;  // the temporary folder lies on the machine's ext4 root
    EXPECT_EQ(platform::IsNtfsVolume(ext4.Path().string()), 0u);
    EXPECT_TRUE(Listing(ext4.Path()).empty());
    EXPECT_EQ(platform::IsNtfsVolume(ext4 / "missing"), 0u);
    EXPECT_EQ(platform::IsNtfsVolume(""), 0u);
}

TEST(PlatformPaths, TrailingSeparatorIsAppendedOnceAndTheRootKeepsItsOwn) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"/mnt/mac/Out", "/mnt/mac/Out/"},
        {"/mnt/mac/Out/", "/mnt/mac/Out/"},
        {"/", "/"},
        {"Out", "Out/"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::WithTrailingSeparator(row.in), row.out) << "input '" << row.in << "'";
}

}  // namespace
