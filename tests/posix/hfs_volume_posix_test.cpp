// SPDX-License-Identifier: Apache-2.0
// HFS images the library made or filled, read by hfsutils (Debian's hmount, hls, hcopy, hattrib,
// hvol): every name listed in the catalog's order, every fork and the type and creator back
// through hcopy's MacBinary, the free space hvol counts; and an image hformat made and hcopy
// filled, opened, read and filled further. hfsutils keeps its mounted volume in ~/.hcwd: HOME
// is the test's own folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/hfs/hfs_volume.h"
#include "tests/environment.h"
#include "tests/hfs_check.h"
#include "tests/hfs_fork_input.h"
#include "tests/mac_fixtures.h"
#include "tests/run_program.h"
#include "tests/scratch_folder.h"

namespace veskar {

namespace {

using hfs::CatalogId;
using hfs::kRootFolder;
using hfs::Volume;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

hfs::NewEntry Named(std::string name, const char* typeCreator) {
    hfs::NewEntry entry;
    entry.name = std::move(name);
    std::memcpy(entry.finder.data(), typeCreator, std::strlen(typeCreator));
    entry.dates = {3000000000u, 3000000100u, 0};
    return entry;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// hfsutils with a HOME of the test's own; the volume unmounted at the end.
class Hfsutils {
  public:
    Hfsutils() : home_(GetEnvironment("HOME")) { SetEnvironment("HOME", scratch_.Path().string()); }
    ~Hfsutils() {
        Run("humount", {});
        SetEnvironment("HOME", home_);
    }
    static bool Installed() { return std::filesystem::exists("/usr/bin/hmount"); }
    ProgramRun Run(const std::string& tool, const std::vector<std::string>& args) {
        return RunProgram("/usr/bin/" + tool, args);
    }
    // Succeeds, or the test fails with what the tool said.
    std::string Out(const std::string& tool, const std::vector<std::string>& args) {
        const ProgramRun run = Run(tool, args);
        EXPECT_EQ(run.status, 0) << tool << ": " << run.err;
        return run.out;
    }
    // The file as hcopy -m writes it, MacBinary: type and creator, data and resource fork.
    struct MacBinary {
        std::string typeCreator;
        std::vector<std::uint8_t> data, resource;
    };
    MacBinary Copy(const std::string& hfsPath) {
        const std::string out = scratch_ / "copied.bin";
        std::filesystem::remove(out);
        Out("hcopy", {"-m", hfsPath, out});
        const auto bytes = ReadFile(out);
        MacBinary file;
        if (bytes.size() < 128) return file;
        const auto big = [&](std::size_t at) {
            return std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 |
                   std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        };
        file.typeCreator.assign(reinterpret_cast<const char*>(&bytes[65]), 8);
        const std::size_t data = big(83), resource = big(87);
        const std::size_t resourceAt = 128 + (data + 127) / 128 * 128;
        if (resourceAt + resource > bytes.size()) return file;
        file.data.assign(bytes.begin() + 128, bytes.begin() + 128 + data);
        file.resource.assign(bytes.begin() + resourceAt, bytes.begin() + resourceAt + resource);
        return file;
    }
    std::uint64_t FreeBytes() {
        for (const std::string& line : Lines(Out("hvol", {})))
            if (line.rfind("Volume has ", 0) == 0) return std::stoull(line.substr(11));
        return 0;
    }

  private:
    ScratchFolder scratch_;
    std::optional<std::string> home_;
};

std::vector<std::string> NamesIn(const Volume& volume, CatalogId folder) {
    std::vector<std::string> names;
    for (const hfs::Entry& entry : volume.List(folder))
        names.push_back(entry.name);
    return names;
}

// Volumes the library made, of each size, read by hfsutils: the floppy also with hundreds of
// entries more, so that its catalog has grown past its first extents into the extents tree.
TEST(HfsVolumeHfsutils, ReadsTheVolumesMade) {
    if (!Hfsutils::Installed()) GTEST_SKIP() << "hfsutils is not installed";
    const struct {
        std::uint64_t bytes;
        int extraFiles;
    } sizes[] = {{819200, 300}, {1474560, 0}, {20971520, 0}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.bytes);
        ScratchFolder scratch;
        const std::string image = scratch / "made.img";
        std::string why;
        auto volume = Volume::Create(image, size.bytes, "Made Here", 3000000000u, why);
        ASSERT_TRUE(volume) << why;
        const auto folder = volume->AddFolder(kRootFolder, Named("Mixed Case", ""), why);
        ASSERT_TRUE(folder) << why;
        const struct {
            std::string name;
            std::size_t data, resource;
        } files[] = {{"zebra", 0, 0},
                     {"Zulu", 1, 1},
                     {"alpha", 20000, 0},
                     {"ALPHA BRAVO", 0, 9000},
                     {std::string(31, 'x'), 3, 70000}};
        for (std::size_t i = 0; i < std::size(files); ++i) {
            BytesFork data(PatternBytes(files[i].data, i)),
                resource(PatternBytes(files[i].resource, i + 9));
            ASSERT_TRUE(
                volume->AddFile(*folder, Named(files[i].name, "APPLappl"), &data, &resource, why))
                << why;
        }
        for (int i = 0; i < size.extraFiles; ++i) {
            BytesFork data(PatternBytes(10, i));
            ASSERT_TRUE(volume->AddFile(i % 2 ? kRootFolder : *folder,
                                        Named("extra " + std::to_string(i), "TEXTttxt"), &data,
                                        nullptr, why))
                << why;
        }
        ASSERT_TRUE(volume->Sync(why)) << why;
        EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});

        Hfsutils tools;
        tools.Out("hmount", {image});
        // hls -f lists in the catalog's order, which is the library's.
        EXPECT_EQ(Lines(tools.Out("hls", {"-f", ":Mixed Case"})), NamesIn(*volume, *folder));
        EXPECT_EQ(Lines(tools.Out("hls", {"-f"})), NamesIn(*volume, kRootFolder));
        for (std::size_t i = 0; i < std::size(files); ++i) {
            SCOPED_TRACE(files[i].name);
            const auto copied = tools.Copy(":Mixed Case:" + files[i].name);
            EXPECT_EQ(copied.typeCreator, "APPLappl");
            EXPECT_EQ(copied.data, PatternBytes(files[i].data, i));
            EXPECT_EQ(copied.resource, PatternBytes(files[i].resource, i + 9));
        }
        EXPECT_EQ(tools.FreeBytes(), volume->FreeBytes());
        // hfsutils changes a file of ours; the library still takes the volume and sees it.
        tools.Out("hattrib", {"-t", "BINA", ":Mixed Case:zebra"});
        tools.Out("humount", {});
        volume = Volume::Open(image, true, why);
        ASSERT_TRUE(volume) << why;
        EXPECT_EQ(std::memcmp(volume->Find(*folder, "ZEBRA")->finder.data(), "BINA", 4), 0);
    }
}

// An image hformat made and hcopy filled to the brim, every other file then deleted: the
// library reads it, and a file larger than any hole goes into several holes, its extents past
// the catalog record's three in the extents tree, which hfsutils follows.
TEST(HfsVolumeHfsutils, FillsAnImageHfsutilsMade) {
    if (!Hfsutils::Installed()) GTEST_SKIP() << "hfsutils is not installed";
    ScratchFolder scratch;
    const std::string image = scratch / "hformat.img";
    WriteFile(image, {});
    std::filesystem::resize_file(image, 1474560);
    Hfsutils tools;
    tools.Out("hformat", {"-l", "From hformat", image});
    tools.Out("hmkdir", {":Sub"});
    const std::string source = scratch / "source";
    WriteFile(source, PatternBytes(100000, 1));
    int copied = 0;
    while (copied < 30 &&
           tools.Run("hcopy", {"-r", source, ":Sub:piece " + std::to_string(copied)}).status == 0)
        ++copied;
    ASSERT_GT(copied, 8);
    for (int i = 0; i < copied; i += 2)
        tools.Out("hdel", {":Sub:piece " + std::to_string(i)});
    tools.Out("humount", {});

    std::string why;
    auto volume = Volume::Open(image, true, why);
    ASSERT_TRUE(volume) << why;
    EXPECT_EQ(volume->Name(), "From hformat");
    const auto sub = volume->Find(kRootFolder, "sub");
    ASSERT_TRUE(sub && sub->folder);
    const auto parts = volume->List(sub->id);
    // hcopy may have left a cut-off file behind when the volume filled.
    ASSERT_GE(parts.size(), static_cast<std::size_t>(copied / 2));
    std::vector<std::uint8_t> read(parts[0].dataLength);
    ASSERT_TRUE(volume->ReadFork(parts[0], false, 0, read, why)) << why;
    EXPECT_EQ(read, PatternBytes(100000, 1));
    const std::size_t bigBytes = 450000;
    BytesFork big(PatternBytes(bigBytes, 2)), resource(PatternBytes(5000, 3));
    ASSERT_TRUE(volume->AddFile(sub->id, Named("Big", "SIT!SITx"), &big, &resource, why)) << why;
    ASSERT_TRUE(volume->AddFolder(kRootFolder, Named("Added", ""), why)) << why;
    const auto names = NamesIn(*volume, sub->id);
    const std::uint64_t freeBytes = volume->FreeBytes();
    volume.reset();
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});

    tools.Out("hmount", {image});
    EXPECT_EQ(Lines(tools.Out("hls", {"-f", ":Sub"})), names);
    EXPECT_EQ(Lines(tools.Out("hls", {"-f"})), (std::vector<std::string>{"Added", "Sub"}));
    const auto copy = tools.Copy(":Sub:Big");
    EXPECT_EQ(copy.typeCreator, "SIT!SITx");
    EXPECT_EQ(copy.data, PatternBytes(bigBytes, 2));
    EXPECT_EQ(copy.resource, PatternBytes(5000, 3));
    EXPECT_EQ(tools.FreeBytes(), freeBytes);
}

}  // namespace

}  // namespace veskar
