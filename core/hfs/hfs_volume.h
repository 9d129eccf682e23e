// SPDX-License-Identifier: Apache-2.0
// An HFS ("Mac OS Standard") volume in an image file, as emulators and vintage Macs take
// them: read (its catalog as a tree of folders and files, each fork by its extents) and filled
// (new folders and files added beside what is there). A raw image, or one with an Apple
// partition map holding an HFS partition.
//
// Every change is whole or nothing: a file's forks go into blocks that are free, and the
// volume's structures (catalog and extents B-trees, volume bitmap, both master directory
// blocks) are written only once the file is whole, with interrupts held off meanwhile. A
// failure leaves the image as it was before the call.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veskar {

namespace hfs {

using CatalogId = std::uint32_t;
constexpr CatalogId kRootFolder = 2;  // the volume's own folder

constexpr std::size_t kMaxNameBytes = 31;        // a file's or folder's name, Mac Roman
constexpr std::size_t kMaxVolumeNameBytes = 27;  // the volume's name
constexpr std::uint64_t kMinImageBytes = 400 * 1024;
constexpr std::uint64_t kMaxImageBytes = 2ull * 1024 * 1024 * 1024;

// A file's FInfo and FXInfo, or a folder's DInfo and DXInfo, as the catalog keeps them.
using FinderRecord = std::array<std::uint8_t, 32>;

// Dates as HFS keeps them: seconds since 1904-01-01 in the Mac's local time; 0 for none.
struct Dates {
    std::uint32_t created = 0;
    std::uint32_t modified = 0;
    std::uint32_t backedUp = 0;
};

struct Entry {
    CatalogId id = 0;
    CatalogId parent = 0;
    std::string name;  // Mac Roman, 1 to 31 bytes
    bool folder = false;
    FinderRecord finder{};
    Dates dates;
    bool locked = false;           // a file's lock bit
    std::uint32_t dataLength = 0;  // a file's forks, their logical lengths
    std::uint32_t resourceLength = 0;
    std::uint16_t valence = 0;  // a folder's: what it holds directly
};

// What a new entry carries.
struct NewEntry {
    std::string name;  // Mac Roman, 1 to 31 bytes, no ':'; not taken in the folder
    FinderRecord finder{};
    Dates dates;
    bool locked = false;
};

// A fork to write, its bytes pulled in order.
class ForkInput {
  public:
    virtual ~ForkInput() = default;
    virtual std::uint32_t Length() const = 0;
    // Fills `into` wholly with the fork's next bytes; false, with the reason in `why`, when a
    // read fails or the fork ends first.
    virtual bool Read(std::span<std::uint8_t> into, std::string& why) = 0;
};

class Volume {
  public:
    // An existing image; with `writable` it can be filled. A damaged volume (a B-tree that
    // does not hold together, extents past the volume, a loop in a node chain, counts that
    // cannot be) is refused with the reason in `why`, never read past or looped on.
    static std::unique_ptr<Volume> Open(const std::string& path, bool writable, std::string& why);
    // A new image file of `bytes` (kMinImageBytes to kMaxImageBytes, a multiple of 512) with an
    // empty volume named `name` (Mac Roman, 1 to 27 bytes), made at `now` (seconds since 1904).
    // The file must not exist; nothing is left of it on failure.
    static std::unique_ptr<Volume> Create(const std::string& path, std::uint64_t bytes,
                                          std::string_view name, std::uint32_t now,
                                          std::string& why);
    virtual ~Volume() = default;

    virtual std::string Name() const = 0;  // Mac Roman
    virtual std::uint64_t FreeBytes() const = 0;
    virtual std::uint32_t FileCount() const = 0;    // on the whole volume
    virtual std::uint32_t FolderCount() const = 0;  // the root not counted

    // The folder or file of that id; nullopt when there is none.
    virtual std::optional<Entry> Get(CatalogId id) const = 0;
    // What a folder holds directly, in the catalog's order.
    virtual std::vector<Entry> List(CatalogId folder) const = 0;
    // The entry of that name in the folder, compared as HFS compares names (letter case and
    // nothing else ignored, Mac Roman).
    virtual std::optional<Entry> Find(CatalogId folder, std::string_view name) const = 0;
    // `into.size()` bytes of a file's fork from `offset`; false, with the reason, past its end
    // or when the image cannot be read.
    virtual bool ReadFork(const Entry& file, bool resource, std::uint64_t offset,
                          std::span<std::uint8_t> into, std::string& why) const = 0;

    // Adds a folder or a file inside `folder`: its id, or nullopt with the reason (the volume
    // full, the name taken, a write that failed), the image as it was before.
    virtual std::optional<CatalogId> AddFolder(CatalogId folder, const NewEntry& entry,
                                               std::string& why) = 0;
    virtual std::optional<CatalogId> AddFile(CatalogId folder, const NewEntry& entry,
                                             ForkInput* data, ForkInput* resource,
                                             std::string& why) = 0;
    // A folder's Finder information and dates, set on a folder this run added.
    virtual bool SetFolderInformation(CatalogId folder, const FinderRecord& finder,
                                      const Dates& dates, std::string& why) = 0;
    // Everything written on the disk (fsync).
    virtual bool Sync(std::string& why) = 0;
};

// The bytes of `size` ("800K", "1440K", "20M", "1G", or a count of bytes) as an image size;
// nullopt when it is not one (not a multiple of 512, outside the sizes above).
std::optional<std::uint64_t> ImageSizeFromText(std::string_view size);

}  // namespace hfs

}  // namespace veskar
