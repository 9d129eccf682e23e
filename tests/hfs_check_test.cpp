// SPDX-License-Identifier: Apache-2.0
// The HFS checker on images that are no whole volume: each is one problem, said plainly, and
// never a crash or a read past the file. The checker on real volumes of hfsutils, whole and
// damaged, is in posix/hfs_check_posix_test.cpp.
#include "tests/hfs_check.h"

#include <gtest/gtest.h>

#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

// 64 KiB of zeros with a master directory block: 512-byte blocks from sector 5, `blocks` of
// them, the volume bitmap at sector 3.
Bytes WithMasterDirectoryBlock(std::uint16_t blocks, std::uint32_t blockSize) {
    Bytes image(64 * 1024);
    PutBigEndian16(image, 1024, 0x4244);
    PutBigEndian16(image, 1024 + 14, 3);
    PutBigEndian16(image, 1024 + 18, blocks);
    PutBigEndian32(image, 1024 + 20, blockSize);
    PutBigEndian16(image, 1024 + 28, 5);
    return image;
}

// An Apple partition map of one entry (block 1) whose partition of `type` starts at block 2.
Bytes WithAppleMap(const std::string& type, std::uint32_t blocks) {
    Bytes image(64 * 1024);
    image[0] = 'E', image[1] = 'R';
    image[512] = 'P', image[513] = 'M';
    PutBigEndian32(image, 512 + 4, 1);
    PutBigEndian32(image, 512 + 8, 2);
    PutBigEndian32(image, 512 + 12, blocks);
    std::copy(type.begin(), type.end(), image.begin() + 512 + 48);
    return image;
}

}  // namespace

TEST(HfsCheck, ImagesThatAreNoVolumeAreOneProblemEach) {
    const struct {
        const char* what;
        Bytes image;
        const char* problem;
    } cases[] = {
        {"100 bytes", Bytes(100), "the image of 100 bytes is too small for an HFS volume"},
        {"zeros", Bytes(64 * 1024),
         "no HFS master directory block: signature 0x0000 where 0x4244 belongs"},
        {"no block size", WithMasterDirectoryBlock(100, 0),
         "allocation blocks of 0 bytes, 100 of them: no volume has those"},
        {"blocks past the end", WithMasterDirectoryBlock(200, 512),
         "the 200 allocation blocks end at byte 104960, past the volume's 65536 less its last "
         "two sectors"},
        {"no HFS partition", WithAppleMap("Apple_Free", 10),
         "the partition map holds no Apple_HFS partition"},
        {"a partition past the end", WithAppleMap("Apple_HFS", 1000),
         "the Apple_HFS partition (block 2, 1000 blocks) ends past the image"},
    };
    TempDir folder;
    for (const auto& test : cases) {
        ASSERT_TRUE(WriteFile(folder.File("image"), test.image));
        EXPECT_EQ(CheckHfsImage(folder.File("image")), std::vector<std::string>{test.problem})
            << test.what;
    }
    EXPECT_EQ(CheckHfsImage(folder.File("missing")),
              std::vector<std::string>{"the image cannot be opened"});
}

}  // namespace veskar
