// SPDX-License-Identifier: Apache-2.0
// The HFS checker against hfsutils, the peer that makes HFS images: every volume hfsutils
// makes holds together, from an empty floppy to a catalog four levels deep with forks in
// extents records and inside an Apple partition map; and each damage done to one, byte by
// byte, is found. Then the readers of hfs_tools on what hfsutils prints.
#include <gtest/gtest.h>

#include <functional>

#include "tests/hfs_check.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/hfs_tools.h"

namespace veskar {

namespace {

#define REQUIRE_HFSUTILS()                                         \
    if (!HfsTools::Installed()) {                                  \
        if (IsCi()) FAIL() << "no hfsutils under CI";              \
        GTEST_SKIP() << "NO HFSUTILS (Debian: hfsutils): skipped"; \
    }

std::uint32_t Get(const Bytes& image, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | image[at + static_cast<std::size_t>(i)];
    return value;
}

// Where things are in a volume that hfsutils made: the master directory block at 1024, the
// catalog file in its first extent.
constexpr std::size_t kMdb = 1024;
std::size_t CatalogNode(const Bytes& image, std::uint32_t node) {
    const std::size_t blockSize = Get(image, kMdb + 20, 4);
    EXPECT_LT(node * 512u, Get(image, kMdb + 152, 2) * blockSize) << "past the first extent";
    return Get(image, kMdb + 28, 2) * 512u + Get(image, kMdb + 150, 2) * blockSize + node * 512u;
}
std::size_t CatalogHeader(const Bytes& image) {
    return CatalogNode(image, 0) + 14;
}
// The catalog key of `name` in folder `parent`, found by its leaf's record offsets (a node's
// free space may hold old keys).
std::size_t KeyOf(const Bytes& image, std::uint32_t parent, const std::string& name) {
    const std::uint32_t nodes = Get(image, CatalogHeader(image) + 22, 4);
    for (std::uint32_t node = 1; node < nodes; ++node) {
        const std::size_t at = CatalogNode(image, node);
        if (image[at + 8] != 0xFF) continue;  // not a leaf
        for (std::uint32_t i = 0; i < Get(image, at + 10, 2); ++i) {
            const std::size_t key = at + Get(image, at + 510 - 2 * i, 2);
            if (Get(image, key + 2, 4) == parent &&
                std::string(
                    image.begin() + static_cast<std::ptrdiff_t>(key + 7),
                    image.begin() + static_cast<std::ptrdiff_t>(key + 7 + image[key + 6])) == name)
                return key;
        }
    }
    ADD_FAILURE() << "no key " << name;
    return 0;
}
std::size_t RecordOf(const Bytes& image, std::uint32_t parent, const std::string& name) {
    const std::size_t key = KeyOf(image, parent, name);
    return key + ((image[key] + 2u) & ~1u);
}

// A floppy with files and folders in the root and below it: "Alpha" and "Bravo" (ids 16 and
// 17) in the root, folder "Sub" (18) with "Inner" and folder "Deep" holding a file of 70000
// bytes whose name has bytes above 0x7F, an empty folder, a locked and invisible file, a file
// with type and creator.
void FillFloppy(const HfsTools& tools, const std::string& image, const std::string& folder) {
    ASSERT_TRUE(WriteFile(folder + "/text", BytesOf("Dear Sir,\n")));
    ASSERT_TRUE(WriteFile(folder + "/big", PatternBytes(70000)));
    ASSERT_EQ(tools.Format(image, 1440 * 1024, "Floppy").status, 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"hcopy", "-r", folder + "/text", ":Alpha"},
          {"hcopy", "-r", folder + "/text", ":Bravo"},
          {"hmkdir", ":Sub"},
          {"hmkdir", ":Sub:Deep"},
          {"hmkdir", ":Empty"},
          {"hcopy", "-r", folder + "/text", ":Sub:Inner"},
          {"hcopy", "-r", folder + "/big", ":Sub:Deep:R\xC3\xA9sum\xC3\xA9"},
          {"hattrib", "+l", "+i", ":Bravo"},
          {"hattrib", "-t", "APPL", "-c", "ttxt", ":Sub:Inner"}}) {
        const ProgramRun run =
            tools.Run(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
        ASSERT_EQ(run.status, 0) << args[0] << " " << args.back() << ": " << run.err;
    }
    ASSERT_EQ(tools.Unmount().status, 0);
}

}  // namespace

TEST(HfsCheck, VolumesOfHfsutilsHoldTogether) {
    REQUIRE_HFSUTILS();
    HfsTools tools;
    TempDir folder;
    // An empty 800K floppy.
    const std::string empty = folder.File("empty.img");
    ASSERT_EQ(tools.Format(empty, 800 * 1024, "Empty").status, 0);
    ASSERT_EQ(tools.Unmount().status, 0);
    EXPECT_EQ(CheckHfsImage(empty), std::vector<std::string>{});

    const std::string floppy = folder.File("floppy.img");
    ASSERT_NO_FATAL_FAILURE(FillFloppy(tools, floppy, folder.Path()));
    EXPECT_EQ(CheckHfsImage(floppy), std::vector<std::string>{});

    // The floppy's volume as the second partition of an Apple partition map, from block 64.
    Bytes mapped(64 * 512);
    const Bytes volume = ReadFile(floppy);
    mapped.insert(mapped.end(), volume.begin(), volume.end());
    mapped[0] = 'E', mapped[1] = 'R';
    for (std::uint32_t entry = 0; entry < 2; ++entry) {
        const std::size_t at = 512 * (1 + entry);
        mapped[at] = 'P', mapped[at + 1] = 'M';
        PutBigEndian32(mapped, at + 4, 2);
        PutBigEndian32(mapped, at + 8, entry == 0 ? 1 : 64);
        PutBigEndian32(mapped, at + 12, entry == 0 ? 63 : volume.size() / 512);
        const std::string type = entry == 0 ? "Apple_partition_map" : "Apple_HFS";
        std::copy(type.begin(), type.end(), mapped.begin() + static_cast<std::ptrdiff_t>(at + 48));
    }
    ASSERT_TRUE(WriteFile(folder.File("mapped.img"), mapped));
    EXPECT_EQ(CheckHfsImage(folder.File("mapped.img")), std::vector<std::string>{});

    // 400 files on an 800K floppy, every other one of the first 300 removed, then a 200 KB file
    // into the gaps: a catalog four levels deep that has grown into an extents record, and a
    // fork in some thirty more.
    std::vector<std::string> sources;
    for (int i = 1; i <= 400; ++i) {
        sources.push_back(folder.File("f" + std::to_string(i)));
        ASSERT_TRUE(WriteFile(sources.back(), PatternBytes(i * 37 % 3000 + 1, i)));
    }
    ASSERT_TRUE(WriteFile(folder.File("large"), PatternBytes(200000)));
    const std::string crowded = folder.File("crowded.img");
    ASSERT_EQ(tools.Format(crowded, 800 * 1024, "Crowded").status, 0);
    ASSERT_EQ(tools.CopyIn(sources, ":", "-r").status, 0);
    std::vector<std::string> removed;
    for (int i = 2; i <= 300; i += 2)
        removed.push_back(":f" + std::to_string(i));
    ASSERT_EQ(tools.Run("hdel", removed).status, 0);
    ASSERT_EQ(tools.CopyIn({folder.File("large")}, ":Large", "-r").status, 0);
    ASSERT_EQ(tools.Unmount().status, 0);
    const Bytes image = ReadFile(crowded);
    const std::size_t extentsHeader =
        Get(image, kMdb + 28, 2) * 512u + Get(image, kMdb + 134, 2) * Get(image, kMdb + 20, 4) + 14;
    EXPECT_GT(Get(image, extentsHeader + 6, 4), 10u) << "extents records";
    EXPECT_EQ(Get(image, CatalogHeader(image), 2), 4u) << "the catalog's depth";
    EXPECT_EQ(CheckHfsImage(crowded), std::vector<std::string>{});
}

TEST(HfsCheck, EachDamageToAVolumeIsFound) {
    REQUIRE_HFSUTILS();
    HfsTools tools;
    TempDir folder;
    const std::string floppy = folder.File("floppy.img");
    ASSERT_NO_FATAL_FAILURE(FillFloppy(tools, floppy, folder.Path()));
    const Bytes whole = ReadFile(floppy);
    ASSERT_EQ(CheckHfsImage(floppy), std::vector<std::string>{});

    const struct {
        const char* damage;
        std::function<void(Bytes&)> make;
        std::vector<std::string> problems;
    } cases[] = {
        {"the bitmap bit of block 0 cleared",
         [](Bytes& image) { image[3 * 512] &= 0x7F; },
         {"allocation blocks 0 to 0 of the extents file are not marked in the volume bitmap",
          "drFreeBks is 2690, the volume bitmap has 2691 free blocks"}},
        {"Sub's valence one more",
         [](Bytes& image) {
             const std::size_t record = RecordOf(image, 2, "Sub");
             PutBigEndian16(image, record + 4, 3);
         },
         {"folder 18 \"Sub\" has valence 3, and 2 entries lie in it"}},
        {"drFilCnt one less",
         [](Bytes& image) { PutBigEndian32(image, kMdb + 84, 3); },
         {"drFilCnt is 3, the catalog has 4"}},
        {"the keys of Alpha and Bravo swapped",
         [](Bytes& image) {
             const std::size_t alpha = KeyOf(image, 2, "Alpha"), bravo = KeyOf(image, 2, "Bravo");
             std::swap_ranges(image.begin() + static_cast<std::ptrdiff_t>(alpha + 7),
                              image.begin() + static_cast<std::ptrdiff_t>(alpha + 12),
                              image.begin() + static_cast<std::ptrdiff_t>(bravo + 7));
         },
         {"the index key (2, \"Bravo\") in catalog node 3 is not the first key (2, \"Alpha\") "
          "of node 2",
          "catalog node 2: key (2, \"Alpha\") is not after (2, \"Bravo\"), the last key of the "
          "node before"}},
        {"the last leaf linked to the first",
         [](Bytes& image) {
             const std::size_t header = CatalogHeader(image);
             const std::size_t last = CatalogNode(image, Get(image, header + 14, 4));
             PutBigEndian32(image, last, Get(image, header + 10, 4));
         },
         {"catalog node 4 links to 1 and back to 2, its level's next 0 and previous 2",
          "the catalog leaf chain loops back to node 1"}},
        {"Alpha's data fork moved onto the catalog file",
         [](Bytes& image) {
             const std::size_t record = RecordOf(image, 2, "Alpha");
             PutBigEndian16(image, record + 74, Get(image, kMdb + 150, 2));
         },
         {"1 allocation blocks from block 22 of the data fork of file 16 \"Alpha\" are also in "
          "the catalog file",
          "allocation blocks 44 to 44 are marked in the volume bitmap but in no fork or B-tree "
          "file"}},
        {"a catalog node freed in the map",
         [](Bytes& image) { image[CatalogNode(image, 0) + 248] &= 0xBF; },
         {"catalog node 1 is in use but free in the map",
          "the catalog header counts 17 free nodes, the map 18"}},
        {"the alternate block's catalog extent changed",
         [](Bytes& image) { image[image.size() - 1024 + 151] ^= 1; },
         {"the alternate master directory block's drCTExtRec differs from the master directory "
          "block's"}},
    };
    for (const auto& test : cases) {
        Bytes image = whole;
        test.make(image);
        ASSERT_TRUE(WriteFile(floppy, image));
        EXPECT_EQ(CheckHfsImage(floppy), test.problems) << test.damage;
    }
}

TEST(HfsTools, ListingAndCopiesShowWhatWentIn) {
    REQUIRE_HFSUTILS();
    HfsTools tools;
    TempDir folder;
    MacFile file;
    file.name = "Read Me";
    file.type = "ttro";
    file.creator = "MPS ";
    file.data = PatternBytes(3000, 1);
    file.resource = PatternBytes(700, 2);
    file.comment = "MacBinary II, which is what hcopy takes";
    ASSERT_TRUE(WriteFile(folder.File("readme.bin"), EncodeMacBinary(file)));
    ASSERT_EQ(tools.Format(folder.File("image"), 800 * 1024, "Disk").status, 0);
    ASSERT_EQ(tools.Run("hmkdir", {":Letters"}).status, 0);
    const ProgramRun copied = tools.CopyIn({folder.File("readme.bin")}, ":Letters:");
    ASSERT_EQ(copied.status, 0) << copied.err;
    ASSERT_EQ(tools.Run("hattrib", {"+l", ":Letters:Read Me"}).status, 0);

    std::string why;
    const auto listing = tools.List(why);
    ASSERT_TRUE(listing) << why;
    ASSERT_EQ(listing->size(), 2u);
    EXPECT_EQ((*listing)[0].path, "Letters");
    EXPECT_TRUE((*listing)[0].folder);
    EXPECT_EQ((*listing)[0].items, 1u);
    const HfsListing& listed = (*listing)[1];
    EXPECT_EQ(listed.path, "Letters:Read Me");
    EXPECT_FALSE(listed.folder);
    EXPECT_TRUE(listed.locked);
    EXPECT_EQ(listed.type + listed.creator, "ttroMPS ");
    EXPECT_EQ(listed.dataLength, 3000u);
    EXPECT_EQ(listed.resourceLength, 700u);

    const auto copy = tools.CopyOut(":Letters:Read Me", why);
    ASSERT_TRUE(copy) << why;
    EXPECT_EQ(copy->name, "Read Me");
    EXPECT_EQ(copy->type + copy->creator, "ttroMPS ");
    EXPECT_EQ(copy->data, file.data);
    EXPECT_EQ(copy->resource, file.resource);
    EXPECT_FALSE(tools.CopyOut(":Letters:Missing", why));
    EXPECT_EQ(tools.Unmount().status, 0);
    EXPECT_EQ(CheckHfsImage(folder.File("image")), std::vector<std::string>{});
}

}  // namespace veskar
