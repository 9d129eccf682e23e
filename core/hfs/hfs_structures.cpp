// SPDX-License-Identifier: Apache-2.0
#include "core/hfs/hfs_structures.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace veskar {

namespace hfs {

ExtentRecord ReadExtentRecord(const std::uint8_t* at) {
    ExtentRecord record;
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = {BigEndian16(at + 4 * i), BigEndian16(at + 4 * i + 2)};
    return record;
}

void WriteExtentRecord(std::uint8_t* at, const ExtentRecord& record) {
    for (std::size_t i = 0; i < record.size(); ++i) {
        Put16(at + 4 * i, record[i].start);
        Put16(at + 4 * i + 2, record[i].count);
    }
}

// Where each field of the master directory block lies.
namespace mdb_at {
constexpr std::size_t kSignature = 0, kCreated = 2, kModified = 6, kAttributes = 10,
                      kRootFiles = 12, kBitmapStart = 14, kAllocationStart = 16, kBlockCount = 18,
                      kBlockBytes = 20, kClumpBytes = 24, kFirstBlock = 28, kNextId = 30,
                      kFreeBlocks = 34, kName = 36, kBackedUp = 64, kWriteCount = 70,
                      kExtentsClump = 74, kCatalogClump = 78, kRootFolders = 82, kFileCount = 84,
                      kFolderCount = 88, kEmbedSignature = 124, kExtentsBytes = 130,
                      kExtentsExtents = 134, kCatalogBytes = 146, kCatalogExtents = 150;
}  // namespace mdb_at

MasterDirectoryBlock ParseMasterDirectoryBlock(std::span<const std::uint8_t, kSectorBytes> sector) {
    using namespace mdb_at;
    MasterDirectoryBlock m;
    std::copy(sector.begin(), sector.end(), m.sector.begin());
    const std::uint8_t* s = m.sector.data();
    m.signature = BigEndian16(s + kSignature);
    m.created = BigEndian32(s + kCreated);
    m.modified = BigEndian32(s + kModified);
    m.attributes = BigEndian16(s + kAttributes);
    m.rootFiles = BigEndian16(s + kRootFiles);
    m.bitmapStart = BigEndian16(s + kBitmapStart);
    m.allocationStart = BigEndian16(s + kAllocationStart);
    m.blockCount = BigEndian16(s + kBlockCount);
    m.blockBytes = BigEndian32(s + kBlockBytes);
    m.clumpBytes = BigEndian32(s + kClumpBytes);
    m.firstBlock = BigEndian16(s + kFirstBlock);
    m.nextId = BigEndian32(s + kNextId);
    m.freeBlocks = BigEndian16(s + kFreeBlocks);
    const std::size_t nameLength = std::min<std::size_t>(s[kName], 27);
    m.name.assign(reinterpret_cast<const char*>(s + kName + 1), nameLength);
    m.backedUp = BigEndian32(s + kBackedUp);
    m.writeCount = BigEndian32(s + kWriteCount);
    m.extentsClump = BigEndian32(s + kExtentsClump);
    m.catalogClump = BigEndian32(s + kCatalogClump);
    m.rootFolders = BigEndian16(s + kRootFolders);
    m.fileCount = BigEndian32(s + kFileCount);
    m.folderCount = BigEndian32(s + kFolderCount);
    m.embedSignature = BigEndian16(s + kEmbedSignature);
    m.extentsBytes = BigEndian32(s + kExtentsBytes);
    m.extentsExtents = ReadExtentRecord(s + kExtentsExtents);
    m.catalogBytes = BigEndian32(s + kCatalogBytes);
    m.catalogExtents = ReadExtentRecord(s + kCatalogExtents);
    return m;
}

std::array<std::uint8_t, kSectorBytes> SerializeMasterDirectoryBlock(
    const MasterDirectoryBlock& m) {
    using namespace mdb_at;
    std::array<std::uint8_t, kSectorBytes> sector = m.sector;
    std::uint8_t* s = sector.data();
    Put16(s + kSignature, m.signature);
    Put32(s + kCreated, m.created);
    Put32(s + kModified, m.modified);
    Put16(s + kAttributes, m.attributes);
    Put16(s + kRootFiles, m.rootFiles);
    Put16(s + kBitmapStart, m.bitmapStart);
    Put16(s + kAllocationStart, m.allocationStart);
    Put16(s + kBlockCount, m.blockCount);
    Put32(s + kBlockBytes, m.blockBytes);
    Put32(s + kClumpBytes, m.clumpBytes);
    Put16(s + kFirstBlock, m.firstBlock);
    Put32(s + kNextId, m.nextId);
    Put16(s + kFreeBlocks, m.freeBlocks);
    const std::size_t nameLength = std::min<std::size_t>(m.name.size(), 27);
    std::memset(s + kName, 0, 28);
    s[kName] = static_cast<std::uint8_t>(nameLength);
    std::memcpy(s + kName + 1, m.name.data(), nameLength);
    Put32(s + kBackedUp, m.backedUp);
    Put32(s + kWriteCount, m.writeCount);
    Put32(s + kExtentsClump, m.extentsClump);
    Put32(s + kCatalogClump, m.catalogClump);
    Put16(s + kRootFolders, m.rootFolders);
    Put32(s + kFileCount, m.fileCount);
    Put32(s + kFolderCount, m.folderCount);
    Put16(s + kEmbedSignature, m.embedSignature);
    Put32(s + kExtentsBytes, m.extentsBytes);
    WriteExtentRecord(s + kExtentsExtents, m.extentsExtents);
    Put32(s + kCatalogBytes, m.catalogBytes);
    WriteExtentRecord(s + kCatalogExtents, m.catalogExtents);
    return sector;
}

void VolumeBitmap::Mark(Extent extent, bool used) {
    for (std::uint32_t b = extent.start; b < std::uint32_t{extent.start} + extent.count; ++b) {
        const auto bit = static_cast<std::uint8_t>(0x80u >> (b & 7));
        if (used)
            bytes_[b >> 3] |= bit;
        else
            bytes_[b >> 3] &= static_cast<std::uint8_t>(~bit);
    }
}

std::uint32_t VolumeBitmap::FreeCount() const {
    std::uint32_t used = 0;
    for (std::uint32_t i = 0; i < blocks_ / 8; ++i)
        used += std::popcount(bytes_[i]);
    for (std::uint32_t b = blocks_ / 8 * 8; b < blocks_; ++b)
        used += Used(b);
    return blocks_ - used;
}

bool VolumeBitmap::AllFree(Extent extent) const {
    if (std::uint32_t{extent.start} + extent.count > blocks_) return false;
    for (std::uint32_t b = extent.start; b < std::uint32_t{extent.start} + extent.count; ++b)
        if (Used(b)) return false;
    return true;
}

std::uint32_t VolumeBitmap::FreeAfter(std::uint32_t block, std::uint32_t most) const {
    std::uint32_t count = 0;
    while (count < most && block + count < blocks_ && !Used(block + count))
        ++count;
    return count;
}

namespace {

// The free runs of [from, to), in order, handed to `take` until it returns true.
template <typename Take>
bool ForEachFreeRun(const VolumeBitmap& bitmap, std::uint32_t from, std::uint32_t to, Take take) {
    const auto& bytes = bitmap.Bytes();
    std::uint32_t b = from;
    while (b < to) {
        // Whole bytes of used blocks are passed over at once.
        if ((b & 7) == 0 && bytes[b >> 3] == 0xFF) {
            b += 8;
            continue;
        }
        if (bitmap.Used(b)) {
            ++b;
            continue;
        }
        const std::uint32_t start = b;
        while (b < to && !bitmap.Used(b)) {
            if ((b & 7) == 0 && b + 8 <= to && bytes[b >> 3] == 0)
                b += 8;
            else
                ++b;
        }
        if (take(Extent{static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(b - start)}))
            return true;
    }
    return false;
}

}  // namespace

std::optional<Extent> VolumeBitmap::FirstFit(std::uint32_t from, std::uint32_t blocks) const {
    if (from >= blocks_) from = 0;
    std::optional<Extent> found;
    const auto fits = [&](Extent run) {
        if (run.count < blocks) return false;
        found = Extent{run.start, static_cast<std::uint16_t>(blocks)};
        return true;
    };
    // A run that straddles `from` counts from `from` on.
    if (ForEachFreeRun(*this, from, blocks_, fits) || ForEachFreeRun(*this, 0, blocks_, fits))
        return found;
    return std::nullopt;
}

std::vector<Extent> VolumeBitmap::FreeRuns() const {
    std::vector<Extent> runs;
    ForEachFreeRun(*this, 0, blocks_, [&](Extent run) {
        runs.push_back(run);
        return false;
    });
    return runs;
}

std::optional<std::vector<Extent>> ChooseExtents(const VolumeBitmap& bitmap, std::uint32_t from,
                                                 std::uint32_t blocks) {
    std::vector<Extent> chosen;
    if (blocks == 0) return chosen;
    if (blocks > bitmap.Blocks()) return std::nullopt;
    if (const auto run = bitmap.FirstFit(from, blocks)) {
        chosen.push_back(*run);
        return chosen;
    }
    std::vector<Extent> runs = bitmap.FreeRuns();
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Extent& a, const Extent& b) { return a.count > b.count; });
    std::uint32_t left = blocks;
    for (const Extent& run : runs) {
        if (left == 0) break;
        const auto take = static_cast<std::uint16_t>(std::min<std::uint32_t>(run.count, left));
        chosen.push_back({run.start, take});
        left -= take;
    }
    if (left > 0) return std::nullopt;
    // In block order, so that the fork is written front to back.
    std::sort(chosen.begin(), chosen.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    return chosen;
}

Layout LayoutFor(std::uint64_t bytes) {
    Layout layout;
    layout.sectors = static_cast<std::uint32_t>(bytes / kSectorBytes);
    // The smallest block (in sectors) that keeps the count of blocks within 16 bits: the
    // sectors left after the boot blocks, the MDB, the bitmap and the alternate MDB.
    const std::uint32_t sectorsPerBlock = 1 + ((layout.sectors - 6) >> 16);
    layout.blockBytes = sectorsPerBlock * kSectorBytes;
    layout.bitmapSectors =
        static_cast<std::uint16_t>((layout.sectors / sectorsPerBlock + 4095) / 4096);
    layout.firstBlock = static_cast<std::uint16_t>(3 + layout.bitmapSectors);
    layout.blockCount =
        static_cast<std::uint16_t>((layout.sectors - 2 - layout.firstBlock) / sectorsPerBlock);
    // Files grow four blocks at a time; the extents and catalog files start at 1/128 of the
    // volume each, as hformat makes them, and the catalog grows by as much when it fills.
    layout.clumpBytes = 4 * layout.blockBytes;
    layout.treeBlocks = std::max<std::uint32_t>(layout.blockCount / 128, 4);
    return layout;
}

}  // namespace hfs

}  // namespace veskar
