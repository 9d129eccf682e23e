// SPDX-License-Identifier: Apache-2.0
// HFS volumes made, filled, reopened and read back through the library, on real image files:
// names in HFS's order, forks of every shape, catalogs that grow, a full volume that refuses
// without a byte changed, a fork that fails midway, and damaged images refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/hfs/hfs_volume.h"
#include "tests/hfs_check.h"
#include "tests/hfs_fork_input.h"
#include "tests/mac_fixtures.h"
#include "tests/scratch_folder.h"

namespace veskar {

namespace {

using hfs::CatalogId;
using hfs::kRootFolder;
using hfs::Volume;

void PutBytes(const std::string& path, std::uint64_t at, std::vector<std::uint8_t> bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t Big(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | b[at + i];
    return v;
}

hfs::NewEntry Named(std::string name, const char* typeCreator = "TEXTttxt") {
    hfs::NewEntry entry;
    entry.name = std::move(name);
    std::memcpy(entry.finder.data(), typeCreator, std::strlen(typeCreator));
    entry.dates = {3000000000u, 3000000100u, 0};
    return entry;
}

std::vector<std::string> NamesIn(const Volume& volume, CatalogId folder) {
    std::vector<std::string> names;
    for (const hfs::Entry& entry : volume.List(folder))
        names.push_back(entry.name);
    return names;
}

std::vector<std::uint8_t> ForkOf(const Volume& volume, const hfs::Entry& file, bool resource) {
    std::vector<std::uint8_t> bytes(resource ? file.resourceLength : file.dataLength);
    std::string why;
    EXPECT_TRUE(volume.ReadFork(file, resource, 0, bytes, why)) << why;
    return bytes;
}

TEST(HfsVolume, ImageSizesFromText) {
    const struct {
        const char* text;
        std::optional<std::uint64_t> bytes;
    } cases[] = {
        {"800K", 819200},    {"1440k", 1474560},
        {"20M", 20971520},   {"1G", 1073741824},
        {"2G", 2147483648u}, {"409600", 409600},
        {"3G", {}},          {"399K", {}},
        {"409601", {}},      {"20MB", {}},
        {"M", {}},           {"", {}},
        {"-800K", {}},       {"99999999999999999999", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hfs::ImageSizeFromText(c.text), c.bytes) << c.text;
}

// Volumes of the sizes emulators take, filled and read back after reopening: names in HFS's
// order (case ignored, not byte order), empty, one-byte and many-block forks.
TEST(HfsVolume, CreatedVolumesKeepWhatWasAdded) {
    for (const std::uint64_t bytes : {819200ull, 1474560ull, 20971520ull}) {
        SCOPED_TRACE(bytes);
        ScratchFolder scratch;
        const std::string image = scratch / "disk.img";
        std::string why;
        auto volume = Volume::Create(image, bytes, "Emulator Disk", 3000000000u, why);
        ASSERT_TRUE(volume) << why;
        EXPECT_EQ(volume->Name(), "Emulator Disk");
        const std::uint64_t freeAtStart = volume->FreeBytes();
        const auto folder = volume->AddFolder(kRootFolder, Named("Stuff"), why);
        ASSERT_TRUE(folder) << why;
        const std::string longest(31, 'L');
        const struct {
            std::string name;
            std::size_t data, resource;
        } files[] = {{"banana", 0, 0},      {"Apple", 1, 0},        {"cherry", 5000, 1},
                     {"apple pie", 0, 700}, {longest, 40000, 3000}, {"\x80pfel", 10, 10}};
        for (std::size_t i = 0; i < std::size(files); ++i) {
            BytesFork data(PatternBytes(files[i].data, i)),
                resource(PatternBytes(files[i].resource, i + 50));
            ASSERT_TRUE(volume->AddFile(*folder, Named(files[i].name), &data, &resource, why))
                << why;
        }
        EXPECT_FALSE(volume->AddFile(*folder, Named("APPLE"), nullptr, nullptr, why));
        EXPECT_NE(why.find("taken"), std::string::npos) << why;
        for (const char* bad : {"", "a:b", "32 bytes are too many for HFS!!!"})
            EXPECT_FALSE(volume->AddFolder(kRootFolder, Named(bad), why)) << bad;
        ASSERT_TRUE(volume->SetFolderInformation(*folder, Named("x", "ABCDEFGH").finder,
                                                 {2900000000u, 2900000001u, 0}, why))
            << why;
        ASSERT_TRUE(volume->Sync(why)) << why;
        volume.reset();
        EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});

        volume = Volume::Open(image, false, why);
        ASSERT_TRUE(volume) << why;
        EXPECT_EQ(volume->FileCount(), std::size(files));
        EXPECT_EQ(volume->FolderCount(), 1u);
        EXPECT_LT(volume->FreeBytes(), freeAtStart);
        // Mac Roman 0x80 (A with diaeresis) sorts with the A's, after "apple pie".
        EXPECT_EQ(NamesIn(*volume, *folder),
                  (std::vector<std::string>{"Apple", "apple pie", "\x80pfel", "banana", "cherry",
                                            longest}));
        const auto stuff = volume->Get(*folder);
        ASSERT_TRUE(stuff);
        EXPECT_EQ(stuff->valence, std::size(files));
        EXPECT_EQ(stuff->dates.created, 2900000000u);
        EXPECT_EQ(std::memcmp(stuff->finder.data(), "ABCDEFGH", 8), 0);
        for (std::size_t i = 0; i < std::size(files); ++i) {
            const auto file = volume->Find(*folder, files[i].name);
            ASSERT_TRUE(file) << files[i].name;
            EXPECT_EQ(std::memcmp(file->finder.data(), "TEXTttxt", 8), 0);
            EXPECT_EQ(file->dates.modified, 3000000100u);
            EXPECT_EQ(ForkOf(*volume, *file, false), PatternBytes(files[i].data, i));
            EXPECT_EQ(ForkOf(*volume, *file, true), PatternBytes(files[i].resource, i + 50));
        }
        EXPECT_EQ(volume->Find(*folder, "CHERRY")->name, "cherry");
        EXPECT_FALSE(volume->Find(*folder, "cherr"));
        std::vector<std::uint8_t> past(2);
        EXPECT_FALSE(volume->ReadFork(*volume->Find(*folder, "Apple"), false, 0, past, why));
    }
}

// Hundreds of entries on a floppy: the catalog outgrows what it was made with, several times
// and past the three extents the master directory block holds, and splits up to an index.
TEST(HfsVolume, CatalogGrowsAndSplitsOnAFloppy) {
    ScratchFolder scratch;
    const std::string image = scratch / "floppy.img";
    std::string why;
    auto volume = Volume::Create(image, 819200, "Floppy", 3000000000u, why);
    ASSERT_TRUE(volume) << why;
    std::vector<CatalogId> folders{kRootFolder};
    for (int i = 0; i < 4; ++i)
        folders.push_back(
            *volume->AddFolder(kRootFolder, Named("Folder " + std::to_string(i)), why));
    for (int i = 0; i < 400; ++i) {
        BytesFork data(PatternBytes(1 + i % 3, i));
        ASSERT_TRUE(volume->AddFile(folders[i % folders.size()],
                                    Named("f" + std::to_string(i * 7919 % 1000)), &data, nullptr,
                                    why))
            << i << ": " << why;
    }
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
    volume = Volume::Open(image, true, why);
    ASSERT_TRUE(volume) << why;
    EXPECT_EQ(volume->FileCount(), 400u);
    std::size_t listed = 0;
    for (CatalogId folder : folders) {
        const auto names = NamesIn(*volume, folder);
        listed += names.size();
        // ASCII names: HFS's order is that of their lower case.
        std::vector<std::string> lower = names;
        for (std::string& name : lower)
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(std::is_sorted(lower.begin(), lower.end()));
    }
    EXPECT_EQ(listed, 400u + 4u);
    const auto file = volume->Find(folders[2], "F" + std::to_string(7 * 7919 % 1000));
    ASSERT_TRUE(file);
    EXPECT_EQ(ForkOf(*volume, *file, false), PatternBytes(2, 7));
    EXPECT_EQ(volume->Get(file->id)->name, file->name);
}

// A file the volume cannot hold is refused before anything is written; a fork whose source
// fails midway leaves the volume's structures as they were, and the next file goes in.
TEST(HfsVolume, FailedAdditionsLeaveTheImageAsItWas) {
    ScratchFolder scratch;
    const std::string image = scratch / "small.img";
    std::string why;
    auto volume = Volume::Create(image, 409600, "Small", 3000000000u, why);
    ASSERT_TRUE(volume) << why;
    BytesFork most(PatternBytes(static_cast<std::size_t>(volume->FreeBytes() - 20 * 1024), 1));
    ASSERT_TRUE(volume->AddFile(kRootFolder, Named("most"), &most, nullptr, why)) << why;
    const auto before = ReadFile(image);
    BytesFork tooBig(PatternBytes(static_cast<std::size_t>(volume->FreeBytes() + 1), 2));
    EXPECT_FALSE(volume->AddFile(kRootFolder, Named("too big"), &tooBig, nullptr, why));
    EXPECT_NE(why.find("full"), std::string::npos) << why;
    EXPECT_EQ(ReadFile(image), before);

    const std::uint64_t freeBefore = volume->FreeBytes();
    BytesFork failing(PatternBytes(8000, 3), 4000);
    EXPECT_FALSE(volume->AddFile(kRootFolder, Named("failing"), &failing, nullptr, why));
    EXPECT_EQ(why, "the source went away");
    EXPECT_EQ(volume->FreeBytes(), freeBefore);
    EXPECT_FALSE(volume->Find(kRootFolder, "failing"));
    BytesFork after(PatternBytes(8000, 4));
    ASSERT_TRUE(volume->AddFile(kRootFolder, Named("failing"), &after, nullptr, why)) << why;
    volume = Volume::Open(image, true, why);
    ASSERT_TRUE(volume) << why;
    EXPECT_EQ(NamesIn(*volume, kRootFolder), (std::vector<std::string>{"failing", "most"}));
    EXPECT_EQ(ForkOf(*volume, *volume->Find(kRootFolder, "failing"), false), PatternBytes(8000, 4));
    EXPECT_EQ(CheckHfsImage(image), std::vector<std::string>{});
}

// An image with an Apple partition map: the volume is read in its Apple_HFS partition.
TEST(HfsVolume, OpensTheHfsPartitionOfAPartitionMap) {
    ScratchFolder scratch;
    const std::string raw = scratch / "raw.img";
    std::string why;
    {
        auto volume = Volume::Create(raw, 819200, "Inside", 3000000000u, why);
        ASSERT_TRUE(volume) << why;
        BytesFork data(PatternBytes(3000, 9));
        ASSERT_TRUE(volume->AddFile(kRootFolder, Named("Read Me"), &data, nullptr, why)) << why;
    }
    const auto volumeBytes = ReadFile(raw);
    std::vector<std::uint8_t> disk(64 * 512, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            disk[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    disk[0] = 'E', disk[1] = 'R', disk[2] = 0x02;  // blocks of 512 bytes
    const struct {
        std::uint32_t start, blocks;
        const char* type;
    } partitions[] = {{1, 63, "Apple_partition_map"},
                      {64, static_cast<std::uint32_t>(volumeBytes.size() / 512), "Apple_HFS"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::size_t at = 512 * (i + 1);
        disk[at] = 'P', disk[at + 1] = 'M';
        put32(at + 4, 2);
        put32(at + 8, partitions[i].start);
        put32(at + 12, partitions[i].blocks);
        std::strcpy(reinterpret_cast<char*>(&disk[at + 48]), partitions[i].type);
    }
    disk.insert(disk.end(), volumeBytes.begin(), volumeBytes.end());
    const std::string mapped = scratch / "mapped.img";
    std::ofstream(mapped, std::ios::binary)
        .write(reinterpret_cast<const char*>(disk.data()),
               static_cast<std::streamsize>(disk.size()));
    auto volume = Volume::Open(mapped, true, why);
    ASSERT_TRUE(volume) << why;
    EXPECT_EQ(volume->Name(), "Inside");
    EXPECT_EQ(ForkOf(*volume, *volume->Find(kRootFolder, "read me"), false), PatternBytes(3000, 9));
    BytesFork more(PatternBytes(100, 10));
    ASSERT_TRUE(volume->AddFile(kRootFolder, Named("More"), &more, nullptr, why)) << why;
    EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + 64 * 512, ReadFile(mapped).begin()));
    ASSERT_TRUE(Volume::Open(mapped, false, why)) << why;
    EXPECT_EQ(CheckHfsImage(mapped), std::vector<std::string>{});
}

// Damaged images are refused with the reason, never read past or looped on.
TEST(HfsVolume, DamagedImagesAreRefusedWithAReason) {
    ScratchFolder scratch;
    const std::string good = scratch / "good.img";
    std::string why;
    {
        auto volume = Volume::Create(good, 20971520, "Damaged", 3000000000u, why);
        ASSERT_TRUE(volume) << why;
        for (int i = 0; i < 60; ++i)
            ASSERT_TRUE(volume->AddFolder(kRootFolder, Named("Folder " + std::to_string(i)), why));
    }
    const auto pristine = ReadFile(good);
    const std::uint64_t catalogAt =
        Big(pristine, 1024 + 28, 2) * 512ull +
        Big(pristine, 1024 + 150, 2) * std::uint64_t{Big(pristine, 1024 + 20, 4)};
    const std::uint64_t firstLeaf =
        catalogAt + 512 * std::uint64_t{Big(pristine, catalogAt + 24, 4)};
    const std::uint64_t secondLeaf = catalogAt + 512 * std::uint64_t{Big(pristine, firstLeaf, 4)};
    const struct {
        const char* what;
        std::function<void(const std::string&)> damage;
        bool writable;
        const char* reason;
    } cases[] = {
        {"bad signature",
         [](auto& p) {
             PutBytes(p, 1024, {'X', 'X'});
         },
         false, "not an HFS volume"},
        {"HFS Plus",
         [](auto& p) {
             PutBytes(p, 1024, {'H', '+'});
         },
         false, "HFS Plus"},
        {"catalog extent past the end",
         [](auto& p) {
             PutBytes(p, 1024 + 150, {0xFF, 0x00});
         },
         false, "extent past the volume's end"},
        {"cut short", [](auto& p) { std::filesystem::resize_file(p, 1 << 20); }, false,
         "past the volume's end"},
        {"leaf chain that loops",
         [&](auto& p) {
             PutBytes(p, secondLeaf,
                      {0, 0, 0, static_cast<std::uint8_t>((firstLeaf - catalogAt) / 512)});
         },
         false, "chained out of order"},
        {"record offsets out of order",
         [&](auto& p) {
             PutBytes(p, firstLeaf + 512 - 4, {0x01, 0xF0});
         },
         false, "record offsets out of order"},
        {"node count past its file",
         [&](auto& p) {
             PutBytes(p, catalogAt + 36, {0x7F, 0, 0, 0});
         },
         false, "node count does not fit"},
        {"bitmap that frees the catalog",
         [](auto& p) { PutBytes(p, 3 * 512, std::vector<std::uint8_t>(512, 0)); }, true,
         "free in the volume bitmap"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string damaged = scratch / "damaged.img";
        // Removed first: MinGW's copy_file refuses to overwrite, whatever its options.
        std::filesystem::remove(damaged);
        std::filesystem::copy_file(good, damaged);
        c.damage(damaged);
        why.clear();
        EXPECT_FALSE(Volume::Open(damaged, c.writable, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    }
    ASSERT_TRUE(Volume::Open(good, true, why)) << why;
    EXPECT_FALSE(Volume::Create(good, 819200, "Taken", 0, why));
    EXPECT_EQ(ReadFile(good), pristine);
}

}  // namespace

}  // namespace veskar
