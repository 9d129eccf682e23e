// SPDX-License-Identifier: Apache-2.0
// The Linux platform layer's own rules: UTF-8 names, TMPDIR, links and pipes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "platform/platform.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/scratch_folder.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

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
TEST(PlatformNames, NativeTextIsAlreadyUtf8) {
    EXPECT_EQ(platform::NativeToUtf8("R\xC5\xBDsum\xC5\xBD"), "R\xC5\xBDsum\xC5\xBD");
    EXPECT_EQ(platform::NativeToUtf8("stray \x8E"), "stray \x8E");  // JSON escapes it later
}

TEST(PlatformLookup, LinksCountAsWhatTheyPointTo) {
    const std::string former = platform::CurrentFolder();
    ScratchFolder scratch;
    fs::create_directory(scratch / "Sub");
    fs::create_directory_symlink("Sub", scratch / "LinkToSub");
    fs::create_symlink("nowhere", scratch / "Dangling");
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    EXPECT_EQ(platform::FindInCurrentFolder("LINKTOSUB"), platform::Found::Folder);
    // A link to nothing still takes the name.
    EXPECT_EQ(platform::FindInCurrentFolder("dangling"), platform::Found::File);
    platform::SetCurrentFolder(former);
}

// The lookup keeps a filter of fixed size, not the names: in a folder of many names, made
// behind its back, a name is still found in other letters, and no absent one is, also one
// that differs from a present one by a letter. (A name found in other letters costs a
// reading of the folder, so only some are looked for.)
TEST(PlatformLookup, FolderOfManyNamesMadeBehindItsBack) {
    ScratchFolder scratch;
    CurrentFolderGuard guard;
    constexpr int kNames = 8000;
    for (int i = 0; i < kNames; ++i)
        std::ofstream(scratch / ("Name " + std::to_string(i))).put('x');
    fs::create_directory(scratch / "Folder");
    ASSERT_TRUE(platform::SetCurrentFolder(scratch.Path().string()));
    for (int i = 0; i < kNames; i += 499)
        ASSERT_EQ(platform::FindInCurrentFolder("NAME " + std::to_string(i)), platform::Found::File)
            << i;
    EXPECT_EQ(platform::FindInCurrentFolder("fOLDER"), platform::Found::Folder);
    for (int i = 0; i < kNames; ++i) {
        ASSERT_EQ(platform::FindInCurrentFolder("name " + std::to_string(kNames + i)),
                  platform::Found::Nothing)
            << i;
        ASSERT_EQ(platform::FindInCurrentFolder("Nam " + std::to_string(i)),
                  platform::Found::Nothing)
            << i;
    }
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
TEST(PlatformStreams, APipeHasNoSize) {
    std::FILE* pipe = ::popen("true", "r");
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(platform::StreamSize(pipe), std::nullopt);
    ::pclose(pipe);
}

// Mounted read-only, an ntfs-3g volume still says NTFS but cannot take the outputs.
TEST(PlatformVolume, IsNtfsVolumeRefusesAReadOnlyNtfs3gMount) {
    REQUIRE_NTFS(vol);
    fs::create_directory(vol->Path("Out"));
    ASSERT_TRUE(vol->Unmount());
    ASSERT_TRUE(vol->Mount(/*readOnly=*/true));
    EXPECT_EQ(platform::IsNtfsVolume(vol->Path("Out")), 0u);
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

}  // namespace veskar
