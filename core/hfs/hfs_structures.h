// SPDX-License-Identifier: Apache-2.0
// The fixed structures of an HFS volume: the master directory block (sector 2 of the volume and
// its alternate copy in the second-to-last sector), extent descriptors and records, the volume
// bitmap (one bit an allocation block, the first block in the high bit), and the layout a new
// volume of a given size gets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/common/byte_order.h"

namespace veskar {

namespace hfs {

constexpr std::uint32_t kSectorBytes = 512;
constexpr std::uint16_t kHfsSignature = 0x4244;      // "BD"
constexpr std::uint16_t kHfsPlusSignature = 0x482B;  // "H+"
constexpr std::uint64_t kMdbOffset = 1024;           // the volume's sector 2

// The catalog ids HFS keeps for itself; new entries are numbered from kFirstUserId.
constexpr std::uint32_t kRootParent = 1;
constexpr std::uint32_t kExtentsFileId = 3;
constexpr std::uint32_t kCatalogFileId = 4;
constexpr std::uint32_t kFirstUserId = 16;

// drAtrb: the volume was unmounted cleanly; locked by hardware or by software.
constexpr std::uint16_t kAttributeUnmounted = 0x0100;
constexpr std::uint16_t kAttributeHardwareLock = 0x0080;
constexpr std::uint16_t kAttributeSoftwareLock = 0x8000;

inline void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}
inline void Put32(std::uint8_t* at, std::uint32_t value) {
    Put16(at, static_cast<std::uint16_t>(value >> 16));
    Put16(at + 2, static_cast<std::uint16_t>(value));
}

// A run of allocation blocks.
struct Extent {
    std::uint16_t start = 0;
    std::uint16_t count = 0;
    bool operator==(const Extent&) const = default;
};
// Three extents, as the catalog, the master directory block and the extents tree keep them.
using ExtentRecord = std::array<Extent, 3>;
constexpr std::size_t kExtentRecordBytes = 12;

ExtentRecord ReadExtentRecord(const std::uint8_t* at);
void WriteExtentRecord(std::uint8_t* at, const ExtentRecord& record);

// The master directory block, its fields by name; the sector it came from is kept so that
// fields this code does not use are written back as they were.
struct MasterDirectoryBlock {
    std::array<std::uint8_t, kSectorBytes> sector{};
    std::uint16_t signature = 0;
    std::uint32_t created = 0;
    std::uint32_t modified = 0;
    std::uint16_t attributes = 0;
    std::uint16_t rootFiles = 0;
    std::uint16_t bitmapStart = 0;  // in sectors
    std::uint16_t allocationStart = 0;
    std::uint16_t blockCount = 0;
    std::uint32_t blockBytes = 0;
    std::uint32_t clumpBytes = 0;
    std::uint16_t firstBlock = 0;  // sector of allocation block 0
    std::uint32_t nextId = 0;
    std::uint16_t freeBlocks = 0;
    std::string name;  // Mac Roman, up to 27 bytes
    std::uint32_t backedUp = 0;
    std::uint32_t writeCount = 0;
    std::uint32_t extentsClump = 0;
    std::uint32_t catalogClump = 0;
    std::uint16_t rootFolders = 0;
    std::uint32_t fileCount = 0;
    std::uint32_t folderCount = 0;
    std::uint16_t embedSignature = 0;
    std::uint32_t extentsBytes = 0;
    ExtentRecord extentsExtents{};
    std::uint32_t catalogBytes = 0;
    ExtentRecord catalogExtents{};
};

MasterDirectoryBlock ParseMasterDirectoryBlock(std::span<const std::uint8_t, kSectorBytes> sector);
// The sector with the fields written over the one it came from.
std::array<std::uint8_t, kSectorBytes> SerializeMasterDirectoryBlock(
    const MasterDirectoryBlock& mdb);

// The volume bitmap, padded to whole sectors as it lies on the disk.
class VolumeBitmap {
  public:
    VolumeBitmap() = default;
    VolumeBitmap(std::vector<std::uint8_t> bytes, std::uint32_t blocks)
        : bytes_(std::move(bytes)), blocks_(blocks) {}

    std::uint32_t Blocks() const { return blocks_; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    bool Used(std::uint32_t block) const {
        return (bytes_[block >> 3] & (0x80u >> (block & 7))) != 0;
    }
    void Mark(Extent extent, bool used);
    std::uint32_t FreeCount() const;
    // Whether the extent's blocks are all free.
    bool AllFree(Extent extent) const;
    // The first run of `blocks` free blocks at or after `from`, wrapping round to the start.
    std::optional<Extent> FirstFit(std::uint32_t from, std::uint32_t blocks) const;
    // Every run of free blocks, in block order.
    std::vector<Extent> FreeRuns() const;
    // Free blocks right after `block`, up to `most`.
    std::uint32_t FreeAfter(std::uint32_t block, std::uint32_t most) const;

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t blocks_ = 0;
};

// Free blocks for `blocks` blocks in as few extents as the free space allows: one run where one
// is long enough (the first at or after `from`), otherwise the longest runs. nullopt when there
// are not enough free blocks.
std::optional<std::vector<Extent>> ChooseExtents(const VolumeBitmap& bitmap, std::uint32_t from,
                                                 std::uint32_t blocks);

// How a new volume of a size is laid out.
struct Layout {
    std::uint32_t sectors = 0;
    std::uint32_t blockBytes = 0;
    std::uint16_t blockCount = 0;
    std::uint16_t bitmapSectors = 0;
    std::uint16_t firstBlock = 0;
    std::uint32_t clumpBytes = 0;
    std::uint32_t treeBlocks = 0;  // each of the extents and catalog files, in blocks
};
Layout LayoutFor(std::uint64_t bytes);

}  // namespace hfs

}  // namespace veskar
