// SPDX-License-Identifier: Apache-2.0
// Opening, checking, creating and filling an HFS volume image. The whole of the volume's
// structures is held in memory (the master directory block, the bitmap, both B-trees' nodes in
// use); an addition changes that copy, writes the forks into blocks the image still has free,
// and only then writes what changed, under an interrupt hold, or puts the copy back as it was.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "core/common/c_stream.h"
#include "core/common/mac_time.h"
#include "core/hfs/hfs_btree.h"
#include "core/hfs/hfs_catalog.h"
#include "core/hfs/hfs_structures.h"
#include "core/hfs/hfs_volume.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace hfs {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::uint16_t kDriverSignature = 0x4552;        // "ER"
constexpr std::uint16_t kPartitionSignature = 0x504D;     // "PM"
constexpr std::uint16_t kOldPartitionSignature = 0x5453;  // "TS"
constexpr std::uint32_t kMaxPartitionEntries = 256;

std::string SystemReason() {
    return std::strerror(errno);
}

bool NameIsValid(std::string_view name, std::size_t most, std::string& why) {
    if (name.empty()) {
        why = "a name cannot be empty";
        return false;
    }
    if (name.size() > most) {
        why = "a name cannot be longer than " + std::to_string(most) + " bytes";
        return false;
    }
    if (name.find(':') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
        why = "a name cannot hold ':' or a zero byte";
        return false;
    }
    return true;
}

std::uint32_t BlocksFor(std::uint64_t bytes, std::uint32_t blockBytes) {
    return static_cast<std::uint32_t>((bytes + blockBytes - 1) / blockBytes);
}

std::uint32_t BlocksIn(const std::vector<Extent>& extents) {
    std::uint32_t blocks = 0;
    for (const Extent& e : extents)
        blocks += e.count;
    return blocks;
}

// An open image file, read and written at offsets from the volume's start.
class Image {
  public:
    CStream stream;
    platform::RawFile raw;
    std::uint64_t base = 0;   // where the volume starts in the file
    std::uint64_t bytes = 0;  // the volume's length

    bool ReadFile(std::uint64_t at, void* into, std::size_t count, std::string& why) const {
        auto* next = static_cast<std::uint8_t*>(into);
        while (count > 0) {
            const std::int64_t got = platform::RawReadAt(raw, at, next, count);
            if (got < 0) {
                why = "the image cannot be read: " + SystemReason();
                return false;
            }
            if (got == 0) {
                why = "the image ends before its volume does";
                return false;
            }
            next += got;
            at += static_cast<std::uint64_t>(got);
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }
    bool Read(std::uint64_t at, void* into, std::size_t count, std::string& why) const {
        if (at > bytes || count > bytes - at) {
            why = "a read would go past the volume's end";
            return false;
        }
        return ReadFile(base + at, into, count, why);
    }
    bool Write(std::uint64_t at, const void* from, std::size_t count, std::string& why) {
        if (at > bytes || count > bytes - at) {
            why = "a write would go past the volume's end";
            return false;
        }
        if (!platform::RawWriteAllAt(raw, base + at, from, count)) {
            why = "the image cannot be written: " + SystemReason();
            return false;
        }
        return true;
    }
};

// Finds the volume in the file: the first Apple_HFS partition of an Apple partition map, or
// the whole file.
bool LocateVolume(Image& image, std::uint64_t fileBytes, std::string& why) {
    std::array<std::uint8_t, kSectorBytes> block{};
    if (fileBytes < 3 * kSectorBytes) {
        why = "the image is too small to hold an HFS volume";
        return false;
    }
    if (!image.ReadFile(0, block.data(), block.size(), why)) return false;
    image.base = 0;
    image.bytes = fileBytes;
    if (BigEndian16(block.data()) != kDriverSignature) return true;
    const std::uint16_t blockSize = BigEndian16(block.data() + 2);
    if (blockSize < kSectorBytes || blockSize % kSectorBytes != 0 || blockSize > 4096) {
        why = "its partition map has blocks of " + std::to_string(blockSize) + " bytes";
        return false;
    }
    std::uint32_t entries = 1;
    for (std::uint32_t i = 1; i <= entries; ++i) {
        const std::uint64_t at = std::uint64_t{i} * blockSize;
        if (at + kSectorBytes > fileBytes) break;
        if (!image.ReadFile(at, block.data(), block.size(), why)) return false;
        const std::uint16_t signature = BigEndian16(block.data());
        if (signature == kOldPartitionSignature) {
            why = "its partition map is of the old kind, which this reader does not take";
            return false;
        }
        if (signature != kPartitionSignature) break;
        if (i == 1) entries = std::min(BigEndian32(block.data() + 4), kMaxPartitionEntries);
        char type[33] = {};
        std::memcpy(type, block.data() + 48, 32);
        if (std::strcmp(type, "Apple_HFS") != 0) continue;
        const std::uint64_t start = std::uint64_t{BigEndian32(block.data() + 8)} * blockSize;
        const std::uint64_t length = std::uint64_t{BigEndian32(block.data() + 12)} * blockSize;
        if (start >= fileBytes || length > fileBytes - start) {
            why = "its HFS partition runs past the image's end";
            return false;
        }
        image.base = start;
        image.bytes = length;
        return true;
    }
    why = "its partition map has no Apple_HFS partition";
    return false;
}

// Where byte `offset` of a file whose blocks are `extents` lies in the volume.
std::optional<std::uint64_t> VolumeOffset(const MasterDirectoryBlock& mdb,
                                          const std::vector<Extent>& extents,
                                          std::uint64_t offset) {
    std::uint64_t block = offset / mdb.blockBytes;
    for (const Extent& e : extents) {
        if (block < e.count)
            return std::uint64_t{mdb.firstBlock} * kSectorBytes +
                   (e.start + block) * std::uint64_t{mdb.blockBytes} + offset % mdb.blockBytes;
        block -= e.count;
    }
    return std::nullopt;
}

class VolumeImage final : public Volume {
  public:
    static std::unique_ptr<Volume> Open(Image image, bool writable, std::string& why);

    std::string Name() const override { return mdb_.name; }
    std::uint64_t FreeBytes() const override {
        return std::uint64_t{mdb_.freeBlocks} * mdb_.blockBytes;
    }
    std::uint32_t FileCount() const override { return state_.files; }
    std::uint32_t FolderCount() const override { return state_.folders; }
    std::optional<Entry> Get(CatalogId id) const override;
    std::vector<Entry> List(CatalogId folder) const override;
    std::optional<Entry> Find(CatalogId folder, std::string_view name) const override;
    bool ReadFork(const Entry& file, bool resource, std::uint64_t offset,
                  std::span<std::uint8_t> into, std::string& why) const override;
    std::optional<CatalogId> AddFolder(CatalogId folder, const NewEntry& entry,
                                       std::string& why) override;
    std::optional<CatalogId> AddFile(CatalogId folder, const NewEntry& entry, ForkInput* data,
                                     ForkInput* resource, std::string& why) override;
    bool SetFolderInformation(CatalogId folder, const FinderRecord& finder, const Dates& dates,
                              std::string& why) override;
    bool Sync(std::string& why) override;

  private:
    // What an addition changes besides B-tree nodes, copied before it and put back after a
    // failure.
    struct State {
        MasterDirectoryBlock mdb;
        VolumeBitmap bitmap;
        std::vector<Extent> extentsFile, catalogFile;
        std::uint32_t files = 0, folders = 0, rootFiles = 0, rootFolders = 0;
        CatalogId nextId = kFirstUserId;
    };
    enum class Tree { Extents, Catalog };

    VolumeImage(Image image, bool writable)
        : image_(std::move(image)),
          writable_(writable),
          extents_(KeyKind::Extents, "the extents tree"),
          catalog_(KeyKind::Catalog, "the catalog") {}

    bool Load(std::string& why);
    bool CheckMasterDirectoryBlock(std::string& why) const;
    bool LoadTree(Tree which, std::string& why);
    bool CheckCatalogRecords(std::string& why);
    bool CheckBlocksInUse(std::string& why) const;
    // The extents of a file's fork, its first record given, covering `blocks` blocks.
    bool ForkExtents(CatalogId file, ExtentFork fork, const ExtentRecord& first,
                     std::uint32_t blocks, std::vector<Extent>& extents, std::string& why) const;
    bool ExtentInVolume(const Extent& e) const {
        return std::uint32_t{e.start} + e.count <= mdb_.blockCount;
    }
    std::optional<BTree::Position> RecordOf(CatalogId id) const;

    bool CanWrite(std::string& why) const;
    bool CheckNewEntry(CatalogId folder, const NewEntry& entry, std::string& why) const;
    std::uint32_t GrowTree(Tree which, std::uint32_t nodes, std::string& why);
    bool WriteOverflowRecords(CatalogId file, ExtentFork fork, const std::vector<Extent>& extents,
                              std::string& why);
    bool InsertCatalog(std::span<const std::uint8_t> record, std::string& why);
    bool CountInParent(CatalogId folder, bool isFolder, std::string& why);
    bool WriteFork(ForkInput* input, std::uint32_t length, const std::vector<Extent>& extents,
                   std::string& why);
    void Begin();
    void Rollback();
    bool Commit(std::string& why);

    Image image_;
    bool writable_;
    bool broken_ = false;  // a commit failed midway: the image may not match any more
    State state_;
    State before_;
    MasterDirectoryBlock& mdb_ = state_.mdb;
    VolumeBitmap diskBitmap_;  // as the image holds it
    BTree extents_;
    BTree catalog_;
    std::unordered_map<CatalogId, CatalogKey> keys_;  // every folder and file, by id
    std::unordered_set<CatalogId> addedFolders_;
    std::vector<CatalogId> addedIds_;  // in the addition under way
    std::vector<Extent> grown_;        // blocks the trees took in the addition under way
    std::vector<std::uint8_t> buffer_;
};

bool VolumeImage::CheckMasterDirectoryBlock(std::string& why) const {
    const MasterDirectoryBlock& m = mdb_;
    const auto fail = [&](const char* reason) {
        why = std::string("the master directory block ") + reason;
        return false;
    };
    if (m.signature == kHfsPlusSignature) {
        why = "it is an HFS Plus (Mac OS Extended) volume, not HFS";
        return false;
    }
    if (m.signature != kHfsSignature) {
        why = "it is not an HFS volume (no HFS signature at byte 1024 of the volume)";
        return false;
    }
    if (m.embedSignature == kHfsPlusSignature) {
        why = "it is an HFS Plus volume inside an HFS wrapper, not HFS";
        return false;
    }
    if (m.blockBytes == 0 || m.blockBytes % kSectorBytes != 0 || m.blockBytes > (1u << 30))
        return fail("has an allocation block size that HFS cannot have");
    if (m.blockCount == 0) return fail("counts no allocation blocks");
    const std::uint64_t end =
        std::uint64_t{m.firstBlock} * kSectorBytes + std::uint64_t{m.blockCount} * m.blockBytes;
    if (end > image_.bytes) return fail("has allocation blocks past the volume's end");
    const std::uint32_t bitmapSectors = (m.blockCount + 4095u) / 4096u;
    if (m.bitmapStart < 3 || m.bitmapStart + bitmapSectors > m.firstBlock)
        return fail("places the volume bitmap over other structures");
    if (m.sector[36] == 0 || m.sector[36] > kMaxVolumeNameBytes)
        return fail("has a malformed volume name");
    if (m.freeBlocks > m.blockCount) return fail("counts more free blocks than there are");
    for (const ExtentRecord* record : {&m.extentsExtents, &m.catalogExtents})
        for (const Extent& e : *record)
            if (!ExtentInVolume(e)) return fail("has an extent past the volume's end");
    if (m.extentsBytes % kNodeBytes != 0 || m.catalogBytes % kNodeBytes != 0 ||
        m.extentsBytes == 0 || m.catalogBytes == 0)
        return fail("gives the extents or catalog file a length that is not whole nodes");
    return true;
}

bool VolumeImage::ForkExtents(CatalogId file, ExtentFork fork, const ExtentRecord& first,
                              std::uint32_t blocks, std::vector<Extent>& extents,
                              std::string& why) const {
    extents.clear();
    std::uint32_t have = 0;
    const auto take = [&](const ExtentRecord& record) {
        for (const Extent& e : record) {
            if (have >= blocks || e.count == 0) break;
            if (!ExtentInVolume(e)) {
                why = "file " + std::to_string(file) + " has an extent past the volume's end";
                return false;
            }
            extents.push_back(e);
            have += e.count;
        }
        return true;
    };
    if (!take(first)) return false;
    // Each further record starts at the fork's block where the ones before end, so the walk
    // moves on or stops.
    while (have < blocks) {
        if (have > 0xFFFF) break;
        const auto key = ExtentsKeyBytes({fork, file, static_cast<std::uint16_t>(have)});
        const auto found = extents_.Find(key);
        if (!found) break;
        const auto data = extents_.Data(*found);
        const std::uint32_t before = have;
        if (!take(ReadExtentRecord(data.data()))) return false;
        if (have == before) break;
    }
    if (have < blocks) {
        why = "file " + std::to_string(file) + " has fewer blocks than its length needs";
        return false;
    }
    return true;
}

bool VolumeImage::LoadTree(Tree which, std::string& why) {
    BTree& tree = which == Tree::Extents ? extents_ : catalog_;
    std::vector<Extent>& file = which == Tree::Extents ? state_.extentsFile : state_.catalogFile;
    const std::uint32_t fileBytes = which == Tree::Extents ? mdb_.extentsBytes : mdb_.catalogBytes;
    const ExtentRecord& first = which == Tree::Extents ? mdb_.extentsExtents : mdb_.catalogExtents;
    const std::uint32_t blocks = BlocksFor(fileBytes, mdb_.blockBytes);
    if (which == Tree::Extents) {
        file.clear();
        std::uint32_t have = 0;
        for (const Extent& e : first)
            if (have < blocks && e.count > 0) file.push_back(e), have += e.count;
        if (have < blocks) {
            why = "the extents file is longer than its extents";
            return false;
        }
    } else if (!ForkExtents(kCatalogFileId, ExtentFork::Data, first, blocks, file, why)) {
        why = "the catalog file is longer than its extents";
        return false;
    }
    const auto read = [&](std::uint32_t number, Node& into, std::string& reason) {
        const auto at = VolumeOffset(mdb_, file, std::uint64_t{number} * kNodeBytes);
        if (!at) {
            reason = "a node lies outside its file";
            return false;
        }
        return image_.Read(*at, into.data(), into.size(), reason);
    };
    if (!tree.Load(fileBytes, read, writable_, why)) return false;
    tree.SetGrower([this, which](std::uint32_t nodes, std::string& reason) {
        return GrowTree(which, nodes, reason);
    });
    return true;
}

bool VolumeImage::CheckCatalogRecords(std::string& why) {
    keys_.clear();
    CatalogId highest = kFirstUserId - 1;
    std::uint32_t files = 0, folders = 0, rootFiles = 0, rootFolders = 0;
    auto at = catalog_.First();
    for (std::uint32_t seen = 0; at && seen < catalog_.LeafRecords(); ++seen) {
        const auto record = catalog_.Record(*at);
        const CatalogKey key = ParseCatalogKey(record.data());
        const auto data = catalog_.Data(*at);
        const std::uint8_t type = data.empty() ? 0 : data[0];
        const std::size_t needs = type == kFolderRecord   ? kFolderRecordBytes
                                  : type == kFileRecord   ? kFileRecordBytes
                                  : type == kFolderThread ? kThreadRecordBytes
                                  : type == kFileThread   ? kThreadRecordBytes
                                                          : 0;
        if (needs == 0 || data.size() < needs) {
            why = "the catalog holds a record of an unknown type or cut short";
            return false;
        }
        if (type == kFolderThread || type == kFileThread) {
            if (data[14] > kMaxNameBytes) {
                why = "the catalog holds a malformed thread record";
                return false;
            }
        } else {
            const auto entry = EntryOf(key, data);
            if (key.name.empty() || entry->id < kRootFolder) {
                why = "the catalog holds an entry without a name or id";
                return false;
            }
            if (!keys_.emplace(entry->id, key).second) {
                why = "the catalog holds id " + std::to_string(entry->id) + " twice";
                return false;
            }
            highest = std::max(highest, entry->id);
            if (entry->folder) {
                if (entry->id != kRootFolder) ++folders, rootFolders += key.parent == kRootFolder;
            } else {
                ++files, rootFiles += key.parent == kRootFolder;
                using namespace file_at;
                for (std::size_t from : {kDataExtents, kResourceExtents})
                    for (const Extent& e : ReadExtentRecord(data.data() + from))
                        if (!ExtentInVolume(e)) {
                            why = "file " + std::to_string(entry->id) +
                                  " has an extent past the volume's end";
                            return false;
                        }
                if (BigEndian32(&data[kDataLength]) > BigEndian32(&data[kDataPhysical]) ||
                    BigEndian32(&data[kResourceLength]) > BigEndian32(&data[kResourcePhysical])) {
                    why = "file " + std::to_string(entry->id) + " is longer than its blocks";
                    return false;
                }
            }
        }
        if (!catalog_.Next(*at)) at.reset();
    }
    const auto root = keys_.find(kRootFolder);
    if (root == keys_.end() || root->second.parent != kRootParent || !Get(kRootFolder) ||
        !Get(kRootFolder)->folder) {
        why = "the catalog has no root folder";
        return false;
    }
    state_.files = files, state_.folders = folders;
    state_.rootFiles = rootFiles, state_.rootFolders = rootFolders;
    state_.nextId = std::max<CatalogId>(mdb_.nextId, highest + 1);
    // The extents tree's records: each extent inside the volume.
    auto extent = extents_.First();
    for (std::uint32_t seen = 0; extent && seen < extents_.LeafRecords(); ++seen) {
        const auto data = extents_.Data(*extent);
        if (data.size() < kExtentRecordBytes) {
            why = "the extents tree holds a record cut short";
            return false;
        }
        for (const Extent& e : ReadExtentRecord(data.data()))
            if (!ExtentInVolume(e)) {
                why = "the extents tree holds an extent past the volume's end";
                return false;
            }
        if (!extents_.Next(*extent)) extent.reset();
    }
    return true;
}

bool VolumeImage::CheckBlocksInUse(std::string& why) const {
    std::vector<bool> used(mdb_.blockCount, false);
    const auto claim = [&](const Extent& e) {
        for (std::uint32_t b = e.start; b < std::uint32_t{e.start} + e.count; ++b) {
            if (used[b]) {
                why = "allocation block " + std::to_string(b) + " belongs to two files";
                return false;
            }
            if (!state_.bitmap.Used(b)) {
                why = "allocation block " + std::to_string(b) +
                      " is in use but free in the volume bitmap";
                return false;
            }
            used[b] = true;
        }
        return true;
    };
    for (const ExtentRecord* record : {&mdb_.extentsExtents, &mdb_.catalogExtents})
        for (const Extent& e : *record)
            if (!claim(e)) return false;
    auto at = extents_.First();
    for (std::uint32_t seen = 0; at && seen < extents_.LeafRecords(); ++seen) {
        for (const Extent& e : ReadExtentRecord(extents_.Data(*at).data()))
            if (!claim(e)) return false;
        if (!extents_.Next(*at)) at.reset();
    }
    at = catalog_.First();
    for (std::uint32_t seen = 0; at && seen < catalog_.LeafRecords(); ++seen) {
        const auto data = catalog_.Data(*at);
        if (data[0] == kFileRecord)
            for (std::size_t from : {file_at::kDataExtents, file_at::kResourceExtents})
                for (const Extent& e : ReadExtentRecord(data.data() + from))
                    if (!claim(e)) return false;
        if (!catalog_.Next(*at)) at.reset();
    }
    return true;
}

bool VolumeImage::Load(std::string& why) {
    std::array<std::uint8_t, kSectorBytes> sector{};
    if (image_.bytes < kMdbOffset + kSectorBytes) {
        why = "the volume is too small to be HFS";
        return false;
    }
    if (!image_.Read(kMdbOffset, sector.data(), sector.size(), why)) return false;
    mdb_ = ParseMasterDirectoryBlock(sector);
    if (!CheckMasterDirectoryBlock(why)) return false;
    if (writable_ && (mdb_.attributes & (kAttributeHardwareLock | kAttributeSoftwareLock))) {
        why = "the volume is locked";
        return false;
    }
    std::vector<std::uint8_t> bits(std::size_t{(mdb_.blockCount + 4095u) / 4096u} * kSectorBytes);
    if (!image_.Read(std::uint64_t{mdb_.bitmapStart} * kSectorBytes, bits.data(), bits.size(), why))
        return false;
    state_.bitmap = VolumeBitmap(std::move(bits), mdb_.blockCount);
    diskBitmap_ = state_.bitmap;
    if (!LoadTree(Tree::Extents, why) || !LoadTree(Tree::Catalog, why) || !CheckCatalogRecords(why))
        return false;
    if (writable_) {
        if (!CheckBlocksInUse(why)) return false;
        state_.nextId = std::max(state_.nextId, kFirstUserId);
        // What the next commit writes: the counts as the catalog and the bitmap have them.
        mdb_.freeBlocks = static_cast<std::uint16_t>(state_.bitmap.FreeCount());
    }
    return true;
}

std::unique_ptr<Volume> VolumeImage::Open(Image image, bool writable, std::string& why) {
    std::unique_ptr<VolumeImage> volume(new VolumeImage(std::move(image), writable));
    if (!volume->Load(why)) return nullptr;
    return volume;
}

std::optional<BTree::Position> VolumeImage::RecordOf(CatalogId id) const {
    const auto key = keys_.find(id);
    if (key == keys_.end()) return std::nullopt;
    return catalog_.Find(CatalogKeyBytes(key->second));
}

std::optional<Entry> VolumeImage::Get(CatalogId id) const {
    const auto at = RecordOf(id);
    if (!at) return std::nullopt;
    return EntryOf(ParseCatalogKey(catalog_.Record(*at).data()), catalog_.Data(*at));
}

std::vector<Entry> VolumeImage::List(CatalogId folder) const {
    std::vector<Entry> entries;
    auto at = catalog_.LowerBound(CatalogKeyBytes({folder, ""}));
    for (std::uint32_t seen = 0; at && seen < catalog_.LeafRecords(); ++seen) {
        const CatalogKey key = ParseCatalogKey(catalog_.Record(*at).data());
        if (key.parent != folder) break;
        if (auto entry = EntryOf(key, catalog_.Data(*at))) entries.push_back(std::move(*entry));
        if (!catalog_.Next(*at)) break;
    }
    return entries;
}

std::optional<Entry> VolumeImage::Find(CatalogId folder, std::string_view name) const {
    if (name.empty() || name.size() > kMaxNameBytes) return std::nullopt;
    const auto at = catalog_.Find(CatalogKeyBytes({folder, std::string(name)}));
    if (!at) return std::nullopt;
    return EntryOf(ParseCatalogKey(catalog_.Record(*at).data()), catalog_.Data(*at));
}

bool VolumeImage::ReadFork(const Entry& file, bool resource, std::uint64_t offset,
                           std::span<std::uint8_t> into, std::string& why) const {
    const auto at = RecordOf(file.id);
    const auto data = at ? catalog_.Data(*at) : std::span<const std::uint8_t>{};
    if (data.empty() || data[0] != kFileRecord) {
        why = "there is no file of id " + std::to_string(file.id);
        return false;
    }
    using namespace file_at;
    const std::uint32_t length = BigEndian32(&data[resource ? kResourceLength : kDataLength]);
    if (offset > length || into.size() > length - offset) {
        why = "a read past the fork's end";
        return false;
    }
    if (into.empty()) return true;
    std::vector<Extent> extents;
    const ExtentRecord first = ReadExtentRecord(&data[resource ? kResourceExtents : kDataExtents]);
    if (!ForkExtents(file.id, resource ? ExtentFork::Resource : ExtentFork::Data, first,
                     BlocksFor(offset + into.size(), mdb_.blockBytes), extents, why))
        return false;
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t position = offset + done;
        const auto where = VolumeOffset(mdb_, extents, position);
        if (!where) {
            why = "the fork has fewer blocks than its length";
            return false;
        }
        // Up to the end of this allocation block's run.
        const std::size_t inBlock = mdb_.blockBytes - position % mdb_.blockBytes;
        std::size_t count = std::min(inBlock, into.size() - done);
        while (done + count < into.size()) {
            const auto next = VolumeOffset(mdb_, extents, position + count);
            if (!next || *next != *where + count) break;
            count += std::min<std::size_t>(mdb_.blockBytes, into.size() - done - count);
        }
        if (!image_.Read(*where, into.data() + done, count, why)) return false;
        done += count;
    }
    return true;
}

bool VolumeImage::CanWrite(std::string& why) const {
    if (!writable_) {
        why = "the volume was opened for reading only";
        return false;
    }
    if (broken_) {
        why = "an earlier write to the image failed midway";
        return false;
    }
    return true;
}

bool VolumeImage::CheckNewEntry(CatalogId folder, const NewEntry& entry, std::string& why) const {
    if (!CanWrite(why) || !NameIsValid(entry.name, kMaxNameBytes, why)) return false;
    const auto parent = Get(folder);
    if (!parent || !parent->folder) {
        why = "there is no folder of id " + std::to_string(folder);
        return false;
    }
    if (parent->valence == 0xFFFF) {
        why = "the folder holds as many entries as HFS can count";
        return false;
    }
    if (Find(folder, entry.name)) {
        why = "the name is taken in that folder";
        return false;
    }
    if (state_.nextId == 0xFFFFFFFF) {
        why = "the volume has no catalog ids left";
        return false;
    }
    return true;
}

void VolumeImage::Begin() {
    before_ = state_;
    addedIds_.clear();
    grown_.clear();
}

void VolumeImage::Rollback() {
    extents_.Rollback();
    catalog_.Rollback();
    state_ = before_;
    for (CatalogId id : addedIds_) {
        keys_.erase(id);
        addedFolders_.erase(id);
    }
    addedIds_.clear();
    grown_.clear();
}

std::uint32_t VolumeImage::GrowTree(Tree which, std::uint32_t nodes, std::string& why) {
    std::vector<Extent>& file = which == Tree::Extents ? state_.extentsFile : state_.catalogFile;
    std::uint32_t& fileBytes = which == Tree::Extents ? mdb_.extentsBytes : mdb_.catalogBytes;
    const std::uint32_t clumpBytes = which == Tree::Extents ? mdb_.extentsClump : mdb_.catalogClump;
    const std::uint32_t nodesPerBlock = mdb_.blockBytes / kNodeBytes;
    const std::uint32_t need = (nodes + nodesPerBlock - 1) / nodesPerBlock;
    const std::uint32_t want = std::max(need, clumpBytes / mdb_.blockBytes);
    const char* what = which == Tree::Extents ? "the extents file" : "the catalog file";
    // Where the file's blocks end, its length can take only what its extents hold.
    if (BlocksIn(file) != BlocksFor(fileBytes, mdb_.blockBytes) ||
        std::uint64_t{BlocksIn(file) + want} * mdb_.blockBytes > 0xFFFFFE00u) {
        why = std::string(what) + " cannot grow further";
        return 0;
    }
    std::vector<Extent> added;
    // Right after the file's last extent, the file keeps its count of extents.
    Extent& last = file.back();
    const std::uint32_t after = state_.bitmap.FreeAfter(
        last.start + last.count, std::min<std::uint32_t>(want, 0xFFFF - last.count));
    if (after >= need) {
        const Extent more{static_cast<std::uint16_t>(last.start + last.count),
                          static_cast<std::uint16_t>(after)};
        last.count = static_cast<std::uint16_t>(last.count + after);
        added.push_back(more);
    } else {
        std::optional<std::vector<Extent>> runs;
        if (const auto run = state_.bitmap.FirstFit(mdb_.allocationStart, want))
            runs = std::vector<Extent>{*run};
        else
            runs = ChooseExtents(state_.bitmap, mdb_.allocationStart, need);
        if (!runs) {
            why = "the volume is full: " + std::string(what) + " cannot grow";
            return 0;
        }
        if (which == Tree::Extents && file.size() + runs->size() > 3) {
            why = "the extents file cannot grow past three extents";
            return 0;
        }
        file.insert(file.end(), runs->begin(), runs->end());
        added = *runs;
    }
    std::uint32_t blocks = 0;
    for (const Extent& e : added) {
        state_.bitmap.Mark(e, true);
        blocks += e.count;
        grown_.push_back(e);
    }
    fileBytes += blocks * mdb_.blockBytes;
    ExtentRecord& first = which == Tree::Extents ? mdb_.extentsExtents : mdb_.catalogExtents;
    first = {};
    for (std::size_t i = 0; i < std::min<std::size_t>(3, file.size()); ++i)
        first[i] = file[i];
    if (which == Tree::Catalog && file.size() > 3 &&
        !WriteOverflowRecords(kCatalogFileId, ExtentFork::Data, file, why))
        return 0;
    return blocks * nodesPerBlock;
}

bool VolumeImage::WriteOverflowRecords(CatalogId file, ExtentFork fork,
                                       const std::vector<Extent>& extents, std::string& why) {
    std::uint32_t start = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(3, extents.size()); ++i)
        start += extents[i].count;
    for (std::size_t group = 3; group < extents.size(); group += 3) {
        ExtentRecord record{};
        std::uint32_t blocks = 0;
        for (std::size_t i = 0; i < 3 && group + i < extents.size(); ++i)
            record[i] = extents[group + i], blocks += extents[group + i].count;
        const auto key = ExtentsKeyBytes({fork, file, static_cast<std::uint16_t>(start)});
        std::uint8_t bytes[kExtentRecordBytes];
        WriteExtentRecord(bytes, record);
        if (const auto found = extents_.Find(key)) {
            const auto data = extents_.MutableData(*found);
            std::memcpy(data.data(), bytes, sizeof bytes);
        } else if (!extents_.Reserve(extents_.NodesForInsert(), why) ||
                   !extents_.Insert(JoinRecord(key, bytes), why)) {
            return false;
        }
        start += blocks;
    }
    return true;
}

bool VolumeImage::InsertCatalog(std::span<const std::uint8_t> record, std::string& why) {
    return catalog_.Reserve(catalog_.NodesForInsert(), why) && catalog_.Insert(record, why);
}

std::uint32_t Now1904() {
    return mac_time::To1904(static_cast<std::int64_t>(std::time(nullptr)));
}

bool VolumeImage::CountInParent(CatalogId folder, bool isFolder, std::string& why) {
    const auto at = RecordOf(folder);
    if (!at) {
        why = "there is no folder of id " + std::to_string(folder);
        return false;
    }
    const auto data = catalog_.MutableData(*at);
    Put16(&data[folder_at::kValence],
          static_cast<std::uint16_t>(BigEndian16(&data[folder_at::kValence]) + 1));
    Put32(&data[folder_at::kModified], Now1904());
    if (isFolder)
        ++state_.folders, state_.rootFolders += folder == kRootFolder;
    else
        ++state_.files, state_.rootFiles += folder == kRootFolder;
    return true;
}

bool VolumeImage::WriteFork(ForkInput* input, std::uint32_t length,
                            const std::vector<Extent>& extents, std::string& why) {
    if (buffer_.size() < kChunkBytes) buffer_.resize(kChunkBytes);
    std::uint64_t left = length;
    for (const Extent& e : extents) {
        std::uint64_t at = std::uint64_t{mdb_.firstBlock} * kSectorBytes +
                           std::uint64_t{e.start} * mdb_.blockBytes;
        std::uint64_t room = std::uint64_t{e.count} * mdb_.blockBytes;
        while (room > 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(room, kChunkBytes));
            const std::size_t bytes =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunk, left));
            if (bytes > 0 && !input->Read({buffer_.data(), bytes}, why)) return false;
            // The end of the fork's last block is zero, not whatever the block held.
            std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(bytes),
                      buffer_.begin() + static_cast<std::ptrdiff_t>(chunk), 0);
            if (!image_.Write(at, buffer_.data(), chunk, why)) return false;
            at += chunk;
            room -= chunk;
            left -= bytes;
        }
    }
    return true;
}

bool VolumeImage::Commit(std::string& why) {
    // The blocks the trees grew into hold no nodes yet: zeroed while the image still has them
    // free.
    if (!grown_.empty()) buffer_.assign(kChunkBytes, 0);
    for (const Extent& e : grown_) {
        std::uint64_t at = std::uint64_t{mdb_.firstBlock} * kSectorBytes +
                           std::uint64_t{e.start} * mdb_.blockBytes;
        std::uint64_t left = std::uint64_t{e.count} * mdb_.blockBytes;
        while (left > 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkBytes));
            if (!image_.Write(at, buffer_.data(), chunk, why)) return false;
            at += chunk;
            left -= chunk;
        }
    }
    mdb_.freeBlocks = static_cast<std::uint16_t>(state_.bitmap.FreeCount());
    mdb_.fileCount = state_.files;
    mdb_.folderCount = state_.folders;
    mdb_.rootFiles = static_cast<std::uint16_t>(state_.rootFiles);
    mdb_.rootFolders = static_cast<std::uint16_t>(state_.rootFolders);
    mdb_.nextId = state_.nextId;
    mdb_.modified = Now1904();
    ++mdb_.writeCount;
    bool written = true;
    {
        platform::InterruptsHeld held;
        for (BTree* tree : {&extents_, &catalog_}) {
            const auto& file = tree == &extents_ ? state_.extentsFile : state_.catalogFile;
            for (std::uint32_t number : tree->Changed()) {
                const auto at = VolumeOffset(mdb_, file, std::uint64_t{number} * kNodeBytes);
                written = written && at &&
                          image_.Write(*at, tree->NodeAt(number).data(), kNodeBytes, why);
            }
        }
        const auto& bits = state_.bitmap.Bytes();
        for (std::size_t s = 0; written && s < bits.size(); s += kSectorBytes)
            if (!std::equal(bits.begin() + s, bits.begin() + s + kSectorBytes,
                            diskBitmap_.Bytes().begin() + s))
                written = image_.Write(std::uint64_t{mdb_.bitmapStart} * kSectorBytes + s,
                                       bits.data() + s, kSectorBytes, why);
        const auto sector = SerializeMasterDirectoryBlock(mdb_);
        written = written && image_.Write(kMdbOffset, sector.data(), sector.size(), why);
        // The alternate copy in the second-to-last sector, where that is past the blocks.
        const std::uint64_t alternate = (image_.bytes / kSectorBytes - 2) * kSectorBytes;
        if (written && alternate >= std::uint64_t{mdb_.firstBlock} * kSectorBytes +
                                        std::uint64_t{mdb_.blockCount} * mdb_.blockBytes)
            written = image_.Write(alternate, sector.data(), sector.size(), why);
    }
    if (!written) {
        broken_ = true;
        why = "writing the volume's structures failed, the image may be damaged: " + why;
        return false;
    }
    extents_.Commit();
    catalog_.Commit();
    diskBitmap_ = state_.bitmap;
    mdb_.sector = SerializeMasterDirectoryBlock(mdb_);
    before_ = state_;
    addedIds_.clear();
    grown_.clear();
    return true;
}

std::optional<CatalogId> VolumeImage::AddFolder(CatalogId folder, const NewEntry& entry,
                                                std::string& why) {
    if (!CheckNewEntry(folder, entry, why)) return std::nullopt;
    Begin();
    const CatalogId id = state_.nextId++;
    const CatalogKey key{folder, entry.name};
    keys_.emplace(id, key);
    addedIds_.push_back(id);
    addedFolders_.insert(id);
    if (!InsertCatalog(
            JoinRecord(CatalogKeyBytes(key), FolderRecordBytes(id, entry.finder, entry.dates)),
            why) ||
        !InsertCatalog(JoinRecord(CatalogKeyBytes({id, ""}), ThreadRecordBytes(kFolderThread, key)),
                       why) ||
        !CountInParent(folder, true, why) || !Commit(why)) {
        if (!broken_) Rollback();
        return std::nullopt;
    }
    return id;
}

std::optional<CatalogId> VolumeImage::AddFile(CatalogId folder, const NewEntry& entry,
                                              ForkInput* data, ForkInput* resource,
                                              std::string& why) {
    if (!CheckNewEntry(folder, entry, why)) return std::nullopt;
    Begin();
    const auto fail = [&] {
        if (!broken_) Rollback();
        return std::nullopt;
    };
    const CatalogId id = state_.nextId++;
    const CatalogKey key{folder, entry.name};
    keys_.emplace(id, key);
    addedIds_.push_back(id);
    // Both forks' blocks first: a volume too full for them refuses the file before anything
    // is written.
    struct Fork {
        ForkInput* input;
        ExtentFork kind;
        ForkPlace place;
        std::vector<Extent> extents;
    };
    std::array<Fork, 2> forks{Fork{data, ExtentFork::Data, {}, {}},
                              Fork{resource, ExtentFork::Resource, {}, {}}};
    for (Fork& fork : forks) {
        fork.place.length = fork.input ? fork.input->Length() : 0;
        const std::uint32_t blocks = BlocksFor(fork.place.length, mdb_.blockBytes);
        auto chosen = blocks > state_.bitmap.FreeCount()
                          ? std::nullopt
                          : ChooseExtents(state_.bitmap, mdb_.allocationStart, blocks);
        if (!chosen) {
            why = "the volume is full: the file needs " +
                  std::to_string(std::uint64_t{blocks} * mdb_.blockBytes / 1024) + " KiB, " +
                  std::to_string(FreeBytes() / 1024) + " KiB are free";
            return fail();
        }
        fork.extents = std::move(*chosen);
        for (const Extent& e : fork.extents)
            state_.bitmap.Mark(e, true);
        if (!fork.extents.empty())
            mdb_.allocationStart = static_cast<std::uint16_t>(
                (fork.extents.back().start + fork.extents.back().count) % mdb_.blockCount);
        fork.place.physical = blocks * mdb_.blockBytes;
        for (std::size_t i = 0; i < std::min<std::size_t>(3, fork.extents.size()); ++i)
            fork.place.first[i] = fork.extents[i];
    }
    if (!InsertCatalog(JoinRecord(CatalogKeyBytes(key),
                                  FileRecordBytes(id, entry, forks[0].place, forks[1].place)),
                       why) ||
        !InsertCatalog(JoinRecord(CatalogKeyBytes({id, ""}), ThreadRecordBytes(kFileThread, key)),
                       why))
        return fail();
    for (const Fork& fork : forks)
        if (!WriteOverflowRecords(id, fork.kind, fork.extents, why)) return fail();
    if (!CountInParent(folder, false, why)) return fail();
    for (const Fork& fork : forks)
        if (!WriteFork(fork.input, fork.place.length, fork.extents, why)) return fail();
    if (!Commit(why)) return fail();
    return id;
}

bool VolumeImage::SetFolderInformation(CatalogId folder, const FinderRecord& finder,
                                       const Dates& dates, std::string& why) {
    if (!CanWrite(why)) return false;
    if (!addedFolders_.contains(folder)) {
        why = "folder " + std::to_string(folder) + " was not added by this run";
        return false;
    }
    const auto at = RecordOf(folder);
    if (!at) {
        why = "there is no folder of id " + std::to_string(folder);
        return false;
    }
    Begin();
    const auto data = catalog_.MutableData(*at);
    using namespace folder_at;
    std::memcpy(&data[kUserInfo], finder.data(), 16);
    std::memcpy(&data[kFinderInfo], finder.data() + 16, 16);
    Put32(&data[kCreated], dates.created);
    Put32(&data[kModified], dates.modified);
    Put32(&data[kBackedUp], dates.backedUp);
    if (!Commit(why)) {
        if (!broken_) Rollback();
        return false;
    }
    return true;
}

bool VolumeImage::Sync(std::string& why) {
    if (!writable_) return true;
    if (!platform::SyncFile(image_.stream.get())) {
        why = "the image cannot be written to the disk: " + SystemReason();
        return false;
    }
    return true;
}

bool OpenImage(const std::string& path, bool writable, Image& image, std::uint64_t& fileBytes,
               std::string& why) {
    image.stream.reset(platform::OpenStream(path, writable ? "r+b" : "rb"));
    if (!image.stream) {
        why = "cannot open " + path + ": " + SystemReason();
        return false;
    }
    image.raw = platform::RawOf(image.stream.get());
    const auto size = platform::StreamSize(image.stream.get());
    if (!size) {
        why = "cannot tell the size of " + path;
        return false;
    }
    fileBytes = *size;
    return true;
}

}  // namespace

std::unique_ptr<Volume> Volume::Open(const std::string& path, bool writable, std::string& why) {
    Image image;
    std::uint64_t fileBytes = 0;
    if (!OpenImage(path, writable, image, fileBytes, why) || !LocateVolume(image, fileBytes, why))
        return nullptr;
    return VolumeImage::Open(std::move(image), writable, why);
}

std::unique_ptr<Volume> Volume::Create(const std::string& path, std::uint64_t bytes,
                                       std::string_view name, std::uint32_t now, std::string& why) {
    if (bytes < kMinImageBytes || bytes > kMaxImageBytes || bytes % kSectorBytes != 0) {
        why = "an image is " + std::to_string(kMinImageBytes / 1024) + " KiB to " +
              std::to_string(kMaxImageBytes >> 30) + " GiB, in whole sectors of 512 bytes";
        return nullptr;
    }
    if (!NameIsValid(name, kMaxVolumeNameBytes, why)) return nullptr;
    const Layout layout = LayoutFor(bytes);
    MasterDirectoryBlock mdb;
    mdb.signature = kHfsSignature;
    mdb.created = mdb.modified = now;
    mdb.attributes = kAttributeUnmounted;
    mdb.bitmapStart = 3;
    mdb.allocationStart = static_cast<std::uint16_t>(2 * layout.treeBlocks);
    mdb.blockCount = layout.blockCount;
    mdb.blockBytes = layout.blockBytes;
    mdb.clumpBytes = layout.clumpBytes;
    mdb.firstBlock = layout.firstBlock;
    mdb.nextId = kFirstUserId;
    mdb.freeBlocks = static_cast<std::uint16_t>(layout.blockCount - 2 * layout.treeBlocks);
    mdb.name = std::string(name);
    mdb.extentsClump = mdb.catalogClump = mdb.extentsBytes = mdb.catalogBytes =
        layout.treeBlocks * layout.blockBytes;
    const auto treeBlocks = static_cast<std::uint16_t>(layout.treeBlocks);
    mdb.extentsExtents = {Extent{0, treeBlocks}, Extent{}, Extent{}};
    mdb.catalogExtents = {Extent{treeBlocks, treeBlocks}, Extent{}, Extent{}};

    VolumeBitmap bitmap(std::vector<std::uint8_t>(std::size_t{layout.bitmapSectors} * kSectorBytes),
                        layout.blockCount);
    bitmap.Mark({0, static_cast<std::uint16_t>(2 * treeBlocks)}, true);
    const std::uint32_t treeNodes = layout.treeBlocks * (layout.blockBytes / kNodeBytes);
    BTree extents(KeyKind::Extents, "the extents tree");
    extents.Format(treeNodes);
    BTree catalog(KeyKind::Catalog, "the catalog");
    catalog.Format(treeNodes);
    const CatalogKey rootKey{kRootParent, std::string(name)};
    if (!catalog.Insert(
            JoinRecord(CatalogKeyBytes(rootKey), FolderRecordBytes(kRootFolder, {}, {now, now, 0})),
            why) ||
        !catalog.Insert(JoinRecord(CatalogKeyBytes({kRootFolder, ""}),
                                   ThreadRecordBytes(kFolderThread, rootKey)),
                        why))
        return nullptr;

    int slot = -1;
    {
        platform::InterruptsHeld held;
        if (!platform::CreateNewFile(path)) {
            why = "cannot create " + path + ": " + SystemReason();
            return nullptr;
        }
        slot = platform::TrackTemporaryFile(path);
    }
    const auto discard = [&]() -> std::unique_ptr<Volume> {
        if (!(slot >= 0 && platform::RemoveTrackedFile(slot, path))) platform::RemoveFile(path);
        return nullptr;
    };
    {
        Image image;
        std::uint64_t fileBytes = 0;
        if (!OpenImage(path, true, image, fileBytes, why)) return discard();
        image.bytes = bytes;
        const std::array<std::uint8_t, kSectorBytes> zero{};
        const auto sector = SerializeMasterDirectoryBlock(mdb);
        bool written = image.Write(bytes - kSectorBytes, zero.data(), zero.size(), why) &&
                       image.Write(kMdbOffset, sector.data(), sector.size(), why) &&
                       image.Write(bytes - 2 * kSectorBytes, sector.data(), sector.size(), why) &&
                       image.Write(std::uint64_t{mdb.bitmapStart} * kSectorBytes,
                                   bitmap.Bytes().data(), bitmap.Bytes().size(), why);
        const std::uint64_t blocksAt = std::uint64_t{mdb.firstBlock} * kSectorBytes;
        for (const auto& [tree, start] : {std::pair{&extents, 0u}, std::pair{&catalog, 1u}})
            for (std::uint32_t number : tree->Changed())
                written =
                    written &&
                    image.Write(blocksAt + std::uint64_t{start} * treeBlocks * layout.blockBytes +
                                    std::uint64_t{number} * kNodeBytes,
                                tree->NodeAt(number).data(), kNodeBytes, why);
        if (!written || !CloseWritten(image.stream)) {
            if (written) why = "cannot write " + path + ": " + SystemReason();
            return discard();
        }
    }
    auto volume = Open(path, true, why);
    if (!volume) return discard();
    if (slot >= 0) platform::UntrackTemporaryFile(slot);
    return volume;
}

}  // namespace hfs

}  // namespace veskar
