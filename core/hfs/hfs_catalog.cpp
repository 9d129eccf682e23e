// SPDX-License-Identifier: Apache-2.0
#include "core/hfs/hfs_catalog.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace veskar {

namespace hfs {

namespace {

// Mac OS's ordering of Mac Roman for HFS names, the one Mac OS, libhfs and Linux compare
// catalog keys by: each byte's rank. Upper and lower case of a letter share a rank (A and a,
// Mac Roman 0x80 and 0x8A), as do a few characters Mac OS takes for the same (the non-breaking
// space and the space); accented letters rank beside their base letter but apart from it.
// clang-format off
constexpr std::array<std::uint8_t, 256> kNameOrder = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
    0x20, 0x22, 0x23, 0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2f, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3a, 0x3b, 0x3c, 0x3d, 0x3e, 0x3f, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46,
    0x47, 0x48, 0x58, 0x5a, 0x5e, 0x60, 0x67, 0x69, 0x6b, 0x6d, 0x73, 0x75, 0x77, 0x79, 0x7b, 0x7f,
    0x8d, 0x8f, 0x91, 0x93, 0x96, 0x98, 0x9f, 0xa1, 0xa3, 0xa5, 0xa8, 0xaa, 0xab, 0xac, 0xad, 0xae,
    0x54, 0x48, 0x58, 0x5a, 0x5e, 0x60, 0x67, 0x69, 0x6b, 0x6d, 0x73, 0x75, 0x77, 0x79, 0x7b, 0x7f,
    0x8d, 0x8f, 0x91, 0x93, 0x96, 0x98, 0x9f, 0xa1, 0xa3, 0xa5, 0xa8, 0xaf, 0xb0, 0xb1, 0xb2, 0xb3,
    0x4c, 0x50, 0x5c, 0x62, 0x7d, 0x81, 0x9a, 0x55, 0x4a, 0x56, 0x4c, 0x4e, 0x50, 0x5c, 0x62, 0x64,
    0x65, 0x66, 0x6f, 0x70, 0x71, 0x72, 0x7d, 0x89, 0x8a, 0x8b, 0x81, 0x83, 0x9c, 0x9d, 0x9e, 0x9a,
    0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0x95, 0xbb, 0xbc, 0xbd, 0xbe, 0xbf, 0xc0, 0x52, 0x85,
    0xc1, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xcb, 0x57, 0x8c, 0xcc, 0x52, 0x85,
    0xcd, 0xce, 0xcf, 0xd0, 0xd1, 0xd2, 0xd3, 0x26, 0x27, 0xd4, 0x20, 0x4a, 0x4e, 0x83, 0x87, 0x87,
    0xd5, 0xd6, 0x24, 0x25, 0x2d, 0x2e, 0xd7, 0xd8, 0xa7, 0xd9, 0xda, 0xdb, 0xdc, 0xdd, 0xde, 0xdf,
    0xe0, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xeb, 0xec, 0xed, 0xee, 0xef,
    0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa, 0xfb, 0xfc, 0xfd, 0xfe, 0xff,
};
// clang-format on

int CompareNameBytes(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b,
                     std::size_t bLength) {
    const std::size_t common = std::min(aLength, bLength);
    for (std::size_t i = 0; i < common; ++i) {
        const int difference = int{kNameOrder[a[i]]} - int{kNameOrder[b[i]]};
        if (difference != 0) return difference;
    }
    return static_cast<int>(aLength) - static_cast<int>(bLength);
}

int CompareUnsigned(std::uint32_t a, std::uint32_t b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

void PutFinder(std::uint8_t* user, std::uint8_t* finder, const FinderRecord& record) {
    std::memcpy(user, record.data(), 16);
    std::memcpy(finder, record.data() + 16, 16);
}

FinderRecord GetFinder(const std::uint8_t* user, const std::uint8_t* finder) {
    FinderRecord record;
    std::memcpy(record.data(), user, 16);
    std::memcpy(record.data() + 16, finder, 16);
    return record;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    return CompareNameBytes(reinterpret_cast<const std::uint8_t*>(a.data()), a.size(),
                            reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
}

bool KeyIsWhole(KeyKind kind, std::span<const std::uint8_t> record, std::size_t& keyBytes) {
    if (record.empty()) return false;
    const std::size_t length = record[0];
    if (kind == KeyKind::Extents) {
        if (length != kExtentsKeyLength) return false;
    } else {
        if (length < 6 || length > kCatalogIndexKeyLength || length + 1 > record.size())
            return false;
        if (record[6] > kMaxNameBytes || 6u + record[6] > length) return false;
    }
    keyBytes = (length + 2) & ~std::size_t{1};
    return keyBytes <= record.size();
}

int CompareKeys(KeyKind kind, const std::uint8_t* a, const std::uint8_t* b) {
    if (kind == KeyKind::Catalog) {
        if (const int parent = CompareUnsigned(BigEndian32(a + 2), BigEndian32(b + 2)))
            return parent;
        return CompareNameBytes(a + 7, a[6], b + 7, b[6]);
    }
    if (const int file = CompareUnsigned(BigEndian32(a + 2), BigEndian32(b + 2))) return file;
    if (const int fork = CompareUnsigned(a[1], b[1])) return fork;
    return CompareUnsigned(BigEndian16(a + 6), BigEndian16(b + 6));
}

std::vector<std::uint8_t> IndexKeyOf(KeyKind kind, const std::uint8_t* key) {
    if (kind == KeyKind::Extents) return {key, key + kExtentsKeyLength + 1};
    std::vector<std::uint8_t> index(kCatalogIndexKeyLength + 1, 0);
    index[0] = kCatalogIndexKeyLength;
    std::memcpy(index.data() + 2, key + 2, 4);
    index[6] = key[6];
    std::memcpy(index.data() + 7, key + 7, key[6]);
    return index;
}

CatalogKey ParseCatalogKey(const std::uint8_t* key) {
    return {BigEndian32(key + 2), std::string(reinterpret_cast<const char*>(key + 7), key[6])};
}

std::vector<std::uint8_t> CatalogKeyBytes(const CatalogKey& key) {
    const std::size_t nameLength = std::min(key.name.size(), kMaxNameBytes);
    std::vector<std::uint8_t> bytes((7 + nameLength + 1) & ~std::size_t{1}, 0);
    bytes[0] = static_cast<std::uint8_t>(6 + nameLength);
    Put32(bytes.data() + 2, key.parent);
    bytes[6] = static_cast<std::uint8_t>(nameLength);
    std::memcpy(bytes.data() + 7, key.name.data(), nameLength);
    return bytes;
}

ExtentsKey ParseExtentsKey(const std::uint8_t* key) {
    return {static_cast<ExtentFork>(key[1]), BigEndian32(key + 2), BigEndian16(key + 6)};
}

std::vector<std::uint8_t> ExtentsKeyBytes(const ExtentsKey& key) {
    std::vector<std::uint8_t> bytes(kExtentsKeyLength + 1, 0);
    bytes[0] = kExtentsKeyLength;
    bytes[1] = static_cast<std::uint8_t>(key.fork);
    Put32(bytes.data() + 2, key.file);
    Put16(bytes.data() + 6, key.startBlock);
    return bytes;
}

std::vector<std::uint8_t> FolderRecordBytes(CatalogId id, const FinderRecord& finder,
                                            const Dates& dates) {
    using namespace folder_at;
    std::vector<std::uint8_t> r(kFolderRecordBytes, 0);
    r[0] = kFolderRecord;
    Put32(&r[kId], id);
    Put32(&r[kCreated], dates.created);
    Put32(&r[kModified], dates.modified);
    Put32(&r[kBackedUp], dates.backedUp);
    PutFinder(&r[kUserInfo], &r[kFinderInfo], finder);
    return r;
}

std::vector<std::uint8_t> FileRecordBytes(CatalogId id, const NewEntry& entry,
                                          const ForkPlace& data, const ForkPlace& resource) {
    using namespace file_at;
    std::vector<std::uint8_t> r(kFileRecordBytes, 0);
    r[0] = kFileRecord;
    r[kFlags] = static_cast<std::uint8_t>(kFileHasThread | (entry.locked ? kFileLocked : 0));
    Put32(&r[kId], id);
    Put16(&r[kDataStart], data.first[0].start);
    Put32(&r[kDataLength], data.length);
    Put32(&r[kDataPhysical], data.physical);
    Put16(&r[kResourceStart], resource.first[0].start);
    Put32(&r[kResourceLength], resource.length);
    Put32(&r[kResourcePhysical], resource.physical);
    Put32(&r[kCreated], entry.dates.created);
    Put32(&r[kModified], entry.dates.modified);
    Put32(&r[kBackedUp], entry.dates.backedUp);
    PutFinder(&r[kUserInfo], &r[kFinderInfo], entry.finder);
    WriteExtentRecord(&r[kDataExtents], data.first);
    WriteExtentRecord(&r[kResourceExtents], resource.first);
    return r;
}

std::vector<std::uint8_t> ThreadRecordBytes(std::uint8_t type, const CatalogKey& of) {
    std::vector<std::uint8_t> r(kThreadRecordBytes, 0);
    r[0] = type;
    Put32(&r[10], of.parent);
    const std::size_t nameLength = std::min(of.name.size(), kMaxNameBytes);
    r[14] = static_cast<std::uint8_t>(nameLength);
    std::memcpy(&r[15], of.name.data(), nameLength);
    return r;
}

std::optional<Entry> EntryOf(const CatalogKey& key, std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    Entry e;
    e.parent = key.parent;
    e.name = key.name;
    const std::uint8_t* r = data.data();
    if (data[0] == kFolderRecord && data.size() >= kFolderRecordBytes) {
        using namespace folder_at;
        e.folder = true;
        e.id = BigEndian32(r + kId);
        e.valence = BigEndian16(r + kValence);
        e.dates = {BigEndian32(r + kCreated), BigEndian32(r + kModified),
                   BigEndian32(r + kBackedUp)};
        e.finder = GetFinder(r + kUserInfo, r + kFinderInfo);
        return e;
    }
    if (data[0] == kFileRecord && data.size() >= kFileRecordBytes) {
        using namespace file_at;
        e.id = BigEndian32(r + kId);
        e.locked = (r[kFlags] & kFileLocked) != 0;
        e.dataLength = BigEndian32(r + kDataLength);
        e.resourceLength = BigEndian32(r + kResourceLength);
        e.dates = {BigEndian32(r + kCreated), BigEndian32(r + kModified),
                   BigEndian32(r + kBackedUp)};
        e.finder = GetFinder(r + kUserInfo, r + kFinderInfo);
        return e;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> JoinRecord(std::vector<std::uint8_t> key,
                                     std::span<const std::uint8_t> data) {
    if (key.size() % 2) key.push_back(0);
    key.insert(key.end(), data.begin(), data.end());
    return key;
}

}  // namespace hfs

}  // namespace veskar
