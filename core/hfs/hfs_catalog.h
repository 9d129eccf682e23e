// SPDX-License-Identifier: Apache-2.0
// The records of the catalog and extents B-trees: their keys, how HFS orders them (names
// compared case-insensitively through Mac OS's ordering table, not byte by byte), and the
// folder, file and thread records and extent records they hold.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/hfs/hfs_structures.h"
#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace hfs {

// The two trees' keys, raw: a length byte and what it counts.
enum class KeyKind { Extents, Catalog };

constexpr std::size_t kCatalogIndexKeyLength = 37;  // bthKeyLen of the catalog
constexpr std::size_t kExtentsKeyLength = 7;

// Orders two names as HFS does: <0, 0 or >0.
int CompareNames(std::string_view a, std::string_view b);

// Whether a raw key at the start of `record` is whole and well formed for its tree; the
// bytes it takes (length byte included, padded to an even count) in `keyBytes`.
bool KeyIsWhole(KeyKind kind, std::span<const std::uint8_t> record, std::size_t& keyBytes);
// Orders two raw keys that KeyIsWhole took.
int CompareKeys(KeyKind kind, const std::uint8_t* a, const std::uint8_t* b);
// The key an index record holds for a child whose first key is `key`: of the tree's fixed
// length, as HFS writes index keys.
std::vector<std::uint8_t> IndexKeyOf(KeyKind kind, const std::uint8_t* key);
// The raw key's length byte included, unpadded.
inline std::size_t KeyLength(const std::uint8_t* key) {
    return std::size_t{key[0]} + 1;
}

struct CatalogKey {
    CatalogId parent = 0;
    std::string name;  // Mac Roman
};
CatalogKey ParseCatalogKey(const std::uint8_t* key);
// A leaf's key, padded to an even length.
std::vector<std::uint8_t> CatalogKeyBytes(const CatalogKey& key);

enum class ExtentFork : std::uint8_t { Data = 0x00, Resource = 0xFF };
struct ExtentsKey {
    ExtentFork fork = ExtentFork::Data;
    CatalogId file = 0;
    std::uint16_t startBlock = 0;  // the fork's block the record's first extent holds
};
ExtentsKey ParseExtentsKey(const std::uint8_t* key);
std::vector<std::uint8_t> ExtentsKeyBytes(const ExtentsKey& key);

// Catalog record types and sizes.
constexpr std::uint8_t kFolderRecord = 1;
constexpr std::uint8_t kFileRecord = 2;
constexpr std::uint8_t kFolderThread = 3;
constexpr std::uint8_t kFileThread = 4;
constexpr std::size_t kFolderRecordBytes = 70;
constexpr std::size_t kFileRecordBytes = 102;
constexpr std::size_t kThreadRecordBytes = 46;

// filFlags: locked; a thread record exists.
constexpr std::uint8_t kFileLocked = 0x01;
constexpr std::uint8_t kFileHasThread = 0x02;

// Field offsets inside a folder record.
namespace folder_at {
constexpr std::size_t kFlags = 2, kValence = 4, kId = 6, kCreated = 10, kModified = 14,
                      kBackedUp = 18, kUserInfo = 22, kFinderInfo = 38;
}
// Field offsets inside a file record.
namespace file_at {
constexpr std::size_t kFlags = 2, kUserInfo = 4, kId = 20, kDataStart = 24, kDataLength = 26,
                      kDataPhysical = 30, kResourceStart = 34, kResourceLength = 36,
                      kResourcePhysical = 40, kCreated = 44, kModified = 48, kBackedUp = 52,
                      kFinderInfo = 56, kClump = 72, kDataExtents = 74, kResourceExtents = 86;
}

std::vector<std::uint8_t> FolderRecordBytes(CatalogId id, const FinderRecord& finder,
                                            const Dates& dates);
struct ForkPlace {
    std::uint32_t length = 0;
    std::uint32_t physical = 0;
    ExtentRecord first{};
};
std::vector<std::uint8_t> FileRecordBytes(CatalogId id, const NewEntry& entry,
                                          const ForkPlace& data, const ForkPlace& resource);
std::vector<std::uint8_t> ThreadRecordBytes(std::uint8_t type, const CatalogKey& of);

// The entry a folder or file record tells of; nullopt for threads and short records.
std::optional<Entry> EntryOf(const CatalogKey& key, std::span<const std::uint8_t> data);

// A whole record: the key, padded, then the data.
std::vector<std::uint8_t> JoinRecord(std::vector<std::uint8_t> key,
                                     std::span<const std::uint8_t> data);

}  // namespace hfs

}  // namespace veskar
