// SPDX-License-Identifier: Apache-2.0
// The Windows platform layer's own rules: names as they are, ".\" paths, both separators,
// the system's temporary folder, and named streams on a real NTFS volume.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::string out;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;)
            out.push_back(static_cast<char>(c));
        std::fclose(file);
    }
    return out;
}

// The imports hand code page 1252 names to the ANSI calls; another code page would give
// other characters for the bytes 0x80 to 0xFF.
TEST(PlatformWin32Names, TheAnsiCodePageIs1252) {
    EXPECT_EQ(::GetACP(), 1252u);
}

TEST(PlatformWin32Names, EveryByteStaysAsItIs) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(platform::AnsiToNative(all), all);
    EXPECT_EQ(platform::NativeToAnsi(all), all);
}

// JSON output is UTF-8: the high half of code page 1252 is not Latin-1 (0x8E is Z with caron).
TEST(PlatformWin32Names, NativeTextBecomesUtf8ByCodePage1252) {
    EXPECT_EQ(platform::NativeToUtf8("R\x8Esum\xE9 \x80 \x81 \xFF"),
              "R\xC5\xBDsum\xC3\xA9 \xE2\x82\xAC \xC2\x81 \xC3\xBF");
    EXPECT_EQ(platform::NativeToUtf8("C:\\plain"), "C:\\plain");
}

TEST(PlatformWin32Names, OutputPathsGoThroughTheCurrentFolder) {
    EXPECT_EQ(platform::OutputPath("C"), ".\\C");
    EXPECT_EQ(platform::OutputPath("f", "AFP_Resource"), ".\\f:AFP_Resource");
    EXPECT_EQ(platform::OutputPath("\xE9t\xE9.txt"), ".\\\xE9t\xE9.txt");
    EXPECT_EQ(platform::kPathSeparator, '\\');
    EXPECT_TRUE(platform::IsSeparator('\\'));
    EXPECT_TRUE(platform::IsSeparator('/'));
    EXPECT_FALSE(platform::IsSeparator(':'));
}

TEST(PlatformWin32Files, TempFolderIsTheSystemsAndPrefixesAreKept) {
    char system[MAX_PATH + 1];
    ASSERT_GT(::GetTempPathA(sizeof system, system), 0u);
    const std::string folder = platform::TempFolder();
    EXPECT_EQ(folder, system);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    // GetTempFileNameA takes three characters of a prefix; a longer one is kept whole.
    for (const char* prefix : {"BIN", "VESKAR-STAGE"}) {
        const auto path = platform::CreateTempFile(folder, prefix);
        ASSERT_TRUE(path) << prefix;
        EXPECT_EQ(fs::path(*path).filename().string().rfind(prefix, 0), 0u) << *path;
        EXPECT_EQ(fs::file_size(*path), 0u);
        EXPECT_TRUE(platform::RemoveFile(*path));
    }
}

// The drive letter trap: "f:AFP_Resource" is a path on drive F:, ".\f:AFP_Resource" the
// stream of the file f.
TEST(PlatformWin32Volume, OneLetterNameGetsARealNamedStream) {
    REQUIRE_NTFS(vol);
    const std::string former = platform::CurrentFolder();
    ASSERT_TRUE(platform::SetCurrentFolder(vol->Root()));
    std::FILE* data = platform::OpenStream(platform::OutputPath("f"), "w+bx");
    ASSERT_NE(data, nullptr);
    std::fputs("data", data);
    std::fclose(data);
    std::FILE* stream = platform::OpenStream(platform::OutputPath("f", "AFP_Resource"), "w+b");
    ASSERT_NE(stream, nullptr);
    std::fputs("resource fork", stream);
    std::fclose(stream);
    platform::SetCurrentFolder(former);

    // One file, its unnamed stream unchanged, the named one beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(vol->Root()), {}), 1);
    EXPECT_EQ(fs::file_size(vol->Path("f")), 4u);
    EXPECT_EQ(ReadAll(vol->Path("f")), "data");
    EXPECT_EQ(ReadAll(vol->Path("f") + ":AFP_Resource"), "resource fork");
}

// Wine calls every drive NTFS (without the named-streams flag), whether or not it can keep a
// stream there; only the probe tells them apart, and it leaves nothing behind.
TEST(PlatformWin32Volume, ADriveThatOnlyClaimsStreamsIsRefused) {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr)
        GTEST_SKIP() << "not under Wine, whose drives claim streams they cannot keep";
    const fs::path scratch = fs::temp_directory_path() / "veskar-claims";
    fs::create_directories(scratch);
    const platform::VolumeInfo info = platform::QueryVolume(scratch.string());
    char fileSystem[MAX_PATH + 1] = "";
    DWORD flags = 0;
    const std::string root = scratch.root_path().string();
    if (::GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, fileSystem,
                                sizeof fileSystem) &&
        (flags & FILE_NAMED_STREAMS) == 0 && std::string(fileSystem) != "NTFS")
        GTEST_SKIP() << root << " does not claim named streams, so there is no claim to test";
    EXPECT_FALSE(info.namedStreams) << info.advice;
    EXPECT_NE(info.advice.find("streams_interface=windows"), std::string::npos) << info.advice;
    EXPECT_TRUE(fs::is_empty(scratch));
    fs::remove_all(scratch);
}

TEST(PlatformWin32Paths, TrailingBackslashForPathsLongerThanADriveRoot) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"C:\\Data\\Out", "C:\\Data\\Out\\"},
        {"C:\\Data\\Out\\", "C:\\Data\\Out\\"},
        {"C:\\Data/Out/", "C:\\Data/Out/"},
        {"C:\\", "C:\\"},
        {"C:\\a", "C:\\a\\"},
        {"C:", "C:"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::WithTrailingSeparator(row.in), row.out) << "input '" << row.in << "'";
}

// Only the drive letter is looked at, so a share reached without one has no volume to ask.
TEST(PlatformWin32Volume, IsNtfsVolumeRefusesASharePath) {
    REQUIRE_NTFS(vol);
    EXPECT_EQ(platform::IsNtfsVolume(vol->Root()), 255u);
    EXPECT_EQ(platform::IsNtfsVolume("\\\\server\\share\\"), 0u);
}

}  // namespace

}  // namespace veskar
