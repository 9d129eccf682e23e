// SPDX-License-Identifier: Apache-2.0
// The volume is read in this order: the partition map (when there is one), the master directory
// block and its alternate copy, the extents overflow B-tree (whose records extend every fork
// past its first three extents), the catalog B-tree, and last the volume bitmap, held against
// every allocation block that some fork or B-tree file claims. Every offset is checked before
// it is read, and every walk is bounded by the node count, so a damaged image is a list of
// problems and never a crash or a loop.
#include "tests/hfs_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace veskar {

namespace {

using Buffer = std::vector<std::uint8_t>;

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kNodeSize = 512;  // the only B-tree node size HFS uses
constexpr std::size_t kMaxProblems = 100;
constexpr std::uint64_t kMaxTreeBytes = 64ull << 20;  // more than any HFS B-tree file of 2 GiB

// Node kinds (ndType).
constexpr int kIndexNode = 0, kHeaderNode = 1, kMapNode = 2, kLeafNode = -1;
// Catalog record kinds (cdrType).
constexpr std::uint8_t kFolderRecord = 1, kFileRecord = 2, kFolderThread = 3, kFileThread = 4;
// Catalog ids the volume keeps for itself.
constexpr std::uint32_t kRootParent = 1, kRootFolder = 2, kExtentsFile = 3, kCatalogFile = 4,
                        kBadBlocksFile = 5, kFirstUserId = 16;

// How HFS orders name bytes, letter case ignored: the Mac's RelString order, as Linux's
// fs/hfs/string.c and hfsutils keep it (a space sorts with the no-break space 0xCA).
constexpr std::uint8_t kCaseOrder[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x22, 0x23, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46,
    0x47, 0x48, 0x57, 0x59, 0x5D, 0x5F, 0x66, 0x68, 0x6A, 0x6C, 0x72, 0x74, 0x76, 0x78, 0x7A, 0x7E,
    0x8C, 0x8E, 0x90, 0x92, 0x95, 0x97, 0x9E, 0xA0, 0xA2, 0xA4, 0xA7, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD,
    0x4E, 0x48, 0x57, 0x59, 0x5D, 0x5F, 0x66, 0x68, 0x6A, 0x6C, 0x72, 0x74, 0x76, 0x78, 0x7A, 0x7E,
    0x8C, 0x8E, 0x90, 0x92, 0x95, 0x97, 0x9E, 0xA0, 0xA2, 0xA4, 0xA7, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3,
    0x4A, 0x4C, 0x5A, 0x60, 0x7B, 0x7F, 0x98, 0x4F, 0x49, 0x51, 0x4A, 0x4B, 0x4C, 0x5A, 0x60, 0x63,
    0x64, 0x65, 0x6E, 0x6F, 0x70, 0x71, 0x7B, 0x84, 0x85, 0x86, 0x7F, 0x80, 0x9A, 0x9B, 0x9C, 0x98,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0x94, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0x4D, 0x81,
    0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0x55, 0x8A, 0xCC, 0x4D, 0x81,
    0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0x26, 0x27, 0xD4, 0x20, 0x49, 0x4B, 0x80, 0x82, 0x82,
    0xD5, 0xD6, 0x24, 0x25, 0x2D, 0x2E, 0xD7, 0xD8, 0xA6, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

int CompareNames(const std::string& a, const std::string& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int order = kCaseOrder[static_cast<std::uint8_t>(a[i])] -
                          kCaseOrder[static_cast<std::uint8_t>(b[i])];
        if (order != 0) return order;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

std::uint16_t Be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
std::uint32_t Be32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
           at[3];
}

constexpr char kHex[] = "0123456789ABCDEF";

std::string Hex16(std::uint16_t value) {
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[value >> shift & 15];
    return out;
}

// A name for a message: printable ASCII as it is, other bytes as \xNN.
std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out + "\"";
}

std::string N(std::uint64_t value) {
    return std::to_string(value);
}

struct Extent {
    std::uint32_t start = 0, count = 0;  // allocation blocks
};
using ExtentRecord = std::array<Extent, 3>;

ExtentRecord ExtentRecordAt(const std::uint8_t* at) {
    ExtentRecord record;
    for (std::size_t i = 0; i < 3; ++i)
        record[i] = {Be16(at + 4 * i), Be16(at + 4 * i + 2)};
    return record;
}

enum class Tree { kExtents, kCatalog };

// A catalog key (parent id and name) or an extents key (file id, fork, first block mapped).
struct Key {
    std::uint32_t id = 0;
    std::uint8_t fork = 0;
    std::uint16_t start = 0;
    std::string name;
    bool operator==(const Key&) const = default;
};

int Compare(Tree tree, const Key& a, const Key& b) {
    if (a.id != b.id) return a.id < b.id ? -1 : 1;
    if (tree == Tree::kCatalog) return CompareNames(a.name, b.name);
    if (a.fork != b.fork) return a.fork < b.fork ? -1 : 1;
    return a.start == b.start ? 0 : (a.start < b.start ? -1 : 1);
}

std::string Describe(Tree tree, const Key& key) {
    if (tree == Tree::kCatalog) return "(" + N(key.id) + ", " + Quoted(key.name) + ")";
    return "(file " + N(key.id) + (key.fork == 0xFF ? " resource" : " data") + ", block " +
           N(key.start) + ")";
}

// A leaf record: its key, and the bytes after the key.
struct Record {
    Key key;
    Buffer data;
};

struct CatalogEntry {
    std::uint32_t parent = 0;
    std::string name;
    bool folder = false;
    std::uint16_t valence = 0;  // a folder's
    bool hasThread = false;     // a file's thread flag
};

class Checker {
  public:
    explicit Checker(const std::string& path) : image_(path, std::ios::binary) {}
    std::vector<std::string> Run();

  private:
    void Problem(std::string text) {
        if (problems_.size() < kMaxProblems) problems_.push_back(std::move(text));
        ++found_;
    }
    bool ReadAt(std::uint64_t offset, std::uint64_t count, Buffer& out);
    bool FindVolume();
    bool CheckMasterDirectoryBlocks();
    std::vector<Extent> ForkExtents(std::uint32_t id, std::uint8_t fork, const ExtentRecord& first,
                                    const std::string& what);
    bool ReadExtents(const std::vector<Extent>& extents, Buffer& out);
    std::vector<Record> CheckTree(Tree tree, const Buffer& file, std::uint64_t length);
    void CheckCatalog(const std::vector<Record>& records);
    void CheckFork(std::uint32_t id, std::uint8_t fork, const std::uint8_t* lengths,
                   const std::uint8_t* extents, const std::string& what);
    void Use(const std::vector<Extent>& extents, const std::string& owner);
    void CheckBitmap();

    std::ifstream image_;
    std::uint64_t imageBytes_ = 0, start_ = 0, bytes_ = 0;  // the image; the volume in it
    Buffer mdb_;
    std::uint32_t blockSize_ = 0, blockCount_ = 0, firstBlock_ = 0, bitmapSector_ = 0;
    // The extents overflow records, by file and fork, in key order; each is removed once a
    // fork has taken it.
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::map<std::uint16_t, ExtentRecord>>
        overflow_;
    std::vector<int> owners_;  // per allocation block: an index into ownerNames_, or -1
    std::vector<std::string> ownerNames_;
    std::map<std::pair<int, int>, std::pair<std::uint32_t, std::uint32_t>> twice_;  // count, first
    std::vector<std::string> problems_;
    std::size_t found_ = 0;
};

bool Checker::ReadAt(std::uint64_t offset, std::uint64_t count, Buffer& out) {
    if (offset > imageBytes_ || count > imageBytes_ - offset) return false;
    out.resize(count);
    image_.clear();
    image_.seekg(static_cast<std::streamoff>(offset));
    image_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
    return static_cast<std::uint64_t>(image_.gcount()) == count;
}

// The volume: the whole image, or the first Apple_HFS partition when block 0 holds a driver
// descriptor map ("ER") and block 1 a partition map entry ("PM"), in 512-byte blocks as
// Linux reads them.
bool Checker::FindVolume() {
    Buffer head;
    if (!ReadAt(0, 2 * kSector, head)) {
        Problem("the image of " + N(imageBytes_) + " bytes is too small for an HFS volume");
        return false;
    }
    bytes_ = imageBytes_;
    if (head[0] != 'E' || head[1] != 'R' || head[kSector] != 'P' || head[kSector + 1] != 'M')
        return true;
    const std::uint32_t entries = Be32(&head[kSector + 4]);
    Buffer entry;
    for (std::uint32_t i = 0; i < entries && i < imageBytes_ / kSector; ++i) {
        if (!ReadAt(std::uint64_t{kSector} * (1 + i), kSector, entry) || entry[0] != 'P' ||
            entry[1] != 'M') {
            Problem("partition map entry " + N(i) + " of " + N(entries) + " is missing");
            return false;
        }
        if (std::string(entry.begin() + 48, entry.begin() + 58) != std::string("Apple_HFS\0", 10))
            continue;
        start_ = std::uint64_t{Be32(&entry[8])} * kSector;
        bytes_ = std::uint64_t{Be32(&entry[12])} * kSector;
        if (start_ > imageBytes_ || bytes_ > imageBytes_ - start_) {
            Problem("the Apple_HFS partition (block " + N(start_ / kSector) + ", " +
                    N(bytes_ / kSector) + " blocks) ends past the image");
            return false;
        }
        return true;
    }
    Problem("the partition map holds no Apple_HFS partition");
    return false;
}

bool Checker::CheckMasterDirectoryBlocks() {
    Buffer alternate;
    if (bytes_ < 3 * kSector || !ReadAt(start_ + 2 * kSector, kSector, mdb_)) {
        Problem("the volume of " + N(bytes_) + " bytes is too small for an HFS volume");
        return false;
    }
    if (Be16(&mdb_[0]) != 0x4244) {
        Problem("no HFS master directory block: signature " + Hex16(Be16(&mdb_[0])) +
                " where 0x4244 belongs");
        return false;
    }
    bitmapSector_ = Be16(&mdb_[14]);
    blockCount_ = Be16(&mdb_[18]);
    blockSize_ = Be32(&mdb_[20]);
    firstBlock_ = Be16(&mdb_[28]);
    if (blockSize_ == 0 || blockSize_ % kSector != 0 || blockCount_ == 0) {
        Problem("allocation blocks of " + N(blockSize_) + " bytes, " + N(blockCount_) +
                " of them: no volume has those");
        return false;
    }
    // The last two sectors hold the alternate master directory block and a reserved one.
    const std::uint64_t end =
        std::uint64_t{firstBlock_} * kSector + std::uint64_t{blockCount_} * blockSize_;
    if (end + 2 * kSector > bytes_) {
        Problem("the " + N(blockCount_) + " allocation blocks end at byte " + N(end) +
                ", past the volume's " + N(bytes_) + " less its last two sectors");
        return false;
    }
    const std::uint32_t bitmapSectors = (blockCount_ + 8 * kSector - 1) / (8 * kSector);
    if (bitmapSector_ < 3 || bitmapSector_ + bitmapSectors > firstBlock_)
        Problem("the volume bitmap (sector " + N(bitmapSector_) + ", " + N(bitmapSectors) +
                " sectors) is not between the master directory block and the first "
                "allocation block at sector " +
                N(firstBlock_));
    const std::uint8_t nameLength = mdb_[36];
    const std::string name(mdb_.begin() + 37, mdb_.begin() + 37 + std::min<int>(nameLength, 27));
    if (nameLength < 1 || nameLength > 27 || name.find(':') != std::string::npos)
        Problem("the volume name " + Quoted(name) + " (" + N(nameLength) +
                " bytes) is not 1 to 27 bytes without ':'");

    // Written whole when the volume is made and each time a B-tree file grows: what it holds
    // of the volume's shape must be what the master directory block holds.
    if (!ReadAt(start_ + bytes_ - 2 * kSector, kSector, alternate) ||
        Be16(&alternate[0]) != 0x4244) {
        Problem("no alternate master directory block in the second-to-last sector");
        return true;
    }
    const std::pair<const char*, std::pair<int, int>> fields[] = {
        {"drCrDate", {2, 4}},      {"drVBMSt", {14, 2}},     {"drNmAlBlks", {18, 2}},
        {"drAlBlkSiz", {20, 4}},   {"drAlBlSt", {28, 2}},    {"drXTFlSize", {130, 4}},
        {"drXTExtRec", {134, 12}}, {"drCTFlSize", {146, 4}}, {"drCTExtRec", {150, 12}}};
    for (const auto& [field, span] : fields)
        if (!std::equal(mdb_.begin() + span.first, mdb_.begin() + span.first + span.second,
                        alternate.begin() + span.first))
            Problem(std::string("the alternate master directory block's ") + field +
                    " differs from the master directory block's");
    return true;
}

// A fork's extents: its first extent record, then the extents overflow records of the same
// file and fork, each of which must start where the extents before it end.
std::vector<Extent> Checker::ForkExtents(std::uint32_t id, std::uint8_t fork,
                                         const ExtentRecord& first, const std::string& what) {
    std::vector<Extent> extents;
    std::uint32_t mapped = 0;
    auto take = [&](const ExtentRecord& record, const std::string& where) {
        bool ended = false;
        for (const Extent& extent : record) {
            if (extent.count == 0) {
                ended = true;
                continue;
            }
            if (ended) Problem(what + ": an extent follows an empty one in " + where);
            if (std::uint64_t{extent.start} + extent.count > blockCount_) {
                Problem(what + ": extent of blocks " + N(extent.start) + " to " +
                        N(extent.start + extent.count - 1) + " ends past the volume's " +
                        N(blockCount_) + " blocks");
            } else {
                extents.push_back(extent);
            }
            mapped += extent.count;
        }
    };
    take(first, "its first extent record");
    const auto found = overflow_.find({id, fork});
    if (found == overflow_.end()) return extents;
    for (const auto& [start, record] : found->second) {
        if (start != mapped)
            Problem(what + ": an extents overflow record maps from fork block " + N(start) +
                    ", where the fork's extents before it end at " + N(mapped));
        take(record, "an extents overflow record");
    }
    overflow_.erase(found);
    return extents;
}

bool Checker::ReadExtents(const std::vector<Extent>& extents, Buffer& out) {
    out.clear();
    Buffer chunk;
    for (const Extent& extent : extents) {
        if (out.size() + std::uint64_t{extent.count} * blockSize_ > kMaxTreeBytes) return false;
        if (!ReadAt(start_ + std::uint64_t{firstBlock_} * kSector +
                        std::uint64_t{extent.start} * blockSize_,
                    std::uint64_t{extent.count} * blockSize_, chunk))
            return false;
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return true;
}

// Every node of a B-tree file: the header node and its map records, then the tree from its root
// level by level, each level left to right, which must be the order of its links and of its
// keys. Returns the leaf records in key order.
std::vector<Record> Checker::CheckTree(Tree tree, const Buffer& file, std::uint64_t length) {
    const std::string name = tree == Tree::kCatalog ? "catalog" : "extents";
    std::vector<Record> leaves;
    if (file.size() < kNodeSize) {
        Problem("the " + name + " file holds no header node");
        return leaves;
    }
    const std::uint32_t fileNodes = static_cast<std::uint32_t>(file.size() / kNodeSize);
    auto at = [&](std::uint32_t node) { return file.data() + std::size_t{node} * kNodeSize; };
    // A node's record offsets, checked: the first record at 14, each after the one before, the
    // last ending before the offsets themselves.
    auto offsets = [&](std::uint32_t node, std::vector<std::uint16_t>& out) {
        const std::uint8_t* bytes = at(node);
        const std::uint16_t count = Be16(bytes + 10);
        out.clear();
        if (14 + 2 * (std::size_t{count} + 1) > kNodeSize) {
            Problem(name + " node " + N(node) + " claims " + N(count) + " records");
            return false;
        }
        for (std::size_t i = 0; i <= count; ++i)
            out.push_back(Be16(bytes + kNodeSize - 2 * (i + 1)));
        bool good = out[0] == 14 && out[count] <= kNodeSize - 2 * (count + 1);
        for (std::size_t i = 1; i <= count; ++i)
            good = good && out[i] > out[i - 1];
        if (!good) Problem(name + " node " + N(node) + ": record offsets not increasing inside it");
        return good;
    };

    const std::uint8_t* header = at(0);
    std::vector<std::uint16_t> spans;
    if (static_cast<std::int8_t>(header[8]) != kHeaderNode || !offsets(0, spans) ||
        spans.size() < 4 || spans[1] - spans[0] < 106) {
        Problem("the " + name + " file's node 0 is no header node");
        return leaves;
    }
    const std::uint8_t* record = header + 14;
    const std::uint16_t depth = Be16(record);
    const std::uint32_t root = Be32(record + 2), leafRecords = Be32(record + 6),
                        firstLeaf = Be32(record + 10), lastLeaf = Be32(record + 14),
                        freeNodes = Be32(record + 26);
    std::uint32_t nodes = Be32(record + 22);
    const std::uint16_t keyLength = tree == Tree::kCatalog ? 37 : 7;
    if (Be16(record + 18) != kNodeSize || Be16(record + 20) != keyLength) {
        Problem("the " + name + " header says nodes of " + N(Be16(record + 18)) +
                " bytes and keys of " + N(Be16(record + 20)) + ", not " + N(kNodeSize) + " and " +
                N(keyLength));
        return leaves;
    }
    if (nodes == 0 || std::uint64_t{nodes} * kNodeSize != length || nodes > fileNodes) {
        Problem("the " + name + " header counts " + N(nodes) + " nodes, the file of " + N(length) +
                " bytes holds " + N(length / kNodeSize));
        nodes = std::min(std::max<std::uint32_t>(nodes, 1), fileNodes);
    }

    // The map: bit n (from the high bit of the first byte) set for each node in use, in the
    // header node's third record and then in the map nodes its link leads to.
    std::vector<int> reached(nodes, 0);
    reached[0] = 1;
    std::vector<bool> used;
    auto addMap = [&](const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count * 8; ++i)
            used.push_back(bytes[i / 8] >> (7 - i % 8) & 1);
    };
    addMap(header + spans[2], spans[3] - spans[2]);
    for (std::uint32_t node = Be32(header), steps = 0; node != 0; node = Be32(at(node))) {
        if (node >= nodes || reached[node] || ++steps > nodes ||
            static_cast<std::int8_t>(at(node)[8]) != kMapNode || !offsets(node, spans) ||
            spans.size() < 2) {
            Problem("the " + name + " map node chain leads to node " + N(node) +
                    ", which is no map node of it");
            break;
        }
        reached[node] = 1;
        addMap(at(node) + spans[0], spans[1] - spans[0]);
    }
    if (used.size() < nodes)
        Problem("the " + name + " map records cover " + N(used.size()) + " of its " + N(nodes) +
                " nodes");

    // A record's key: catalog keys of their own length in leaves, extents keys always 7 bytes,
    // and index keys as long as the longest key (the child's node number after it).
    auto keyOf = [&](const std::uint8_t* bytes, std::size_t size, bool index, Key& key,
                     std::size_t& dataAt) {
        const std::uint8_t stated = bytes[0];
        if (stated > keyLength || (tree == Tree::kExtents && stated != 7) || stated < 6)
            return false;
        dataAt = index || tree == Tree::kExtents ? keyLength + 1u : (stated + 2u) & ~1u;
        if (dataAt > size || (index && dataAt + 4 > size)) return false;
        key = Key{Be32(bytes + 2), 0, 0, ""};
        if (tree == Tree::kExtents) {
            key.fork = bytes[1];
            key.start = Be16(bytes + 6);
        } else {
            if (bytes[6] > stated - 6) return false;
            key.name.assign(bytes + 7, bytes + 7 + bytes[6]);
        }
        return true;
    };

    struct Pending {
        std::uint32_t node, parent;
        Key key;  // the parent's index key for it, which must be its first key
    };
    std::vector<Pending> level;
    if (depth == 0) {
        if (root != 0 || leafRecords != 0 || firstLeaf != 0 || lastLeaf != 0)
            Problem("the " + name + " header says the tree is empty, yet has root " + N(root) +
                    ", " + N(leafRecords) + " records, leaves " + N(firstLeaf) + " to " +
                    N(lastLeaf));
    } else {
        level.push_back({root, 0, {}});
    }
    std::uint32_t recordsFound = 0;
    for (int height = depth; height >= 1 && !level.empty(); --height) {
        const bool index = height > 1;
        std::vector<Pending> next;
        std::vector<std::uint32_t> order;  // this level's nodes, left to right
        std::optional<Key> last;
        for (const Pending& pending : level) {
            const std::uint32_t node = pending.node;
            const std::string where = name + " node " + N(node);
            if (node == 0 || node >= nodes) {
                Problem("the " + name + " tree points to node " + N(node) + " from node " +
                        N(pending.parent) + ", outside its " + N(nodes) + " nodes");
                continue;
            }
            if (reached[node]++) {
                Problem(where + " is reached twice in the " + name + " tree");
                continue;
            }
            const std::uint8_t* bytes = at(node);
            const int kind = static_cast<std::int8_t>(bytes[8]);
            if (kind != (index ? kIndexNode : kLeafNode) || bytes[9] != height) {
                Problem(where + " is of kind " + std::to_string(kind) + " at height " +
                        N(bytes[9]) + " where the tree wants " + (index ? "an index" : "a leaf") +
                        " node at height " + N(height));
                continue;
            }
            if (!offsets(node, spans)) continue;
            order.push_back(node);
            if (spans.size() == 1) Problem(where + " holds no record");
            for (std::size_t i = 0; i + 1 < spans.size(); ++i) {
                Key key;
                std::size_t dataAt = 0;
                const std::size_t size = spans[i + 1] - spans[i];
                if (!keyOf(bytes + spans[i], size, index, key, dataAt)) {
                    Problem(where + ": record " + N(i) + " has a key that does not fit it");
                    continue;
                }
                if (i == 0 && pending.parent != 0 && !(key == pending.key))
                    Problem("the index key " + Describe(tree, pending.key) + " in " + name +
                            " node " + N(pending.parent) + " is not the first key " +
                            Describe(tree, key) + " of node " + N(node));
                if (last && Compare(tree, *last, key) >= 0)
                    Problem(where + ": key " + Describe(tree, key) + " is not after " +
                            Describe(tree, *last) +
                            (i == 0 ? ", the last key of the node before" : ""));
                last = key;
                if (index) {
                    next.push_back({Be32(bytes + spans[i] + dataAt), node, key});
                } else {
                    ++recordsFound;
                    leaves.push_back(
                        {key, Buffer(bytes + spans[i] + dataAt, bytes + spans[i + 1])});
                }
            }
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            const std::uint32_t forward = i + 1 < order.size() ? order[i + 1] : 0;
            const std::uint32_t backward = i > 0 ? order[i - 1] : 0;
            if (Be32(at(order[i])) != forward || Be32(at(order[i]) + 4) != backward)
                Problem(name + " node " + N(order[i]) + " links to " + N(Be32(at(order[i]))) +
                        " and back to " + N(Be32(at(order[i]) + 4)) + ", its level's next " +
                        N(forward) + " and previous " + N(backward));
        }
        if (!index && !order.empty() && (order.front() != firstLeaf || order.back() != lastLeaf))
            Problem("the " + name + " header's first and last leaves " + N(firstLeaf) + " and " +
                    N(lastLeaf) + " are not the tree's " + N(order.front()) + " and " +
                    N(order.back()));
        level = std::move(next);
    }
    if (!level.empty())
        Problem("the " + name + " tree goes deeper than its header's depth " + N(depth));
    if (recordsFound != leafRecords)
        Problem("the " + name + " header counts " + N(leafRecords) + " leaf records, its leaves " +
                "hold " + N(recordsFound));

    // The leaf chain as a reader follows it, from the first leaf by the forward links.
    std::set<std::uint32_t> chain;
    for (std::uint32_t node = depth == 0 ? 0 : firstLeaf; node != 0; node = Be32(at(node))) {
        if (node >= nodes || !chain.insert(node).second) {
            Problem("the " + name + " leaf chain " +
                    (node >= nodes ? "leaves the tree at node " : "loops back to node ") + N(node));
            break;
        }
    }

    std::uint32_t freeFound = 0;
    for (std::uint32_t node = 0; node < nodes; ++node) {
        const bool inUse = node < used.size() && used[node];
        freeFound += inUse ? 0 : 1;
        if (reached[node] && !inUse)
            Problem(name + " node " + N(node) + " is in use but free in the map");
        else if (!reached[node] && inUse)
            Problem(name + " node " + N(node) + " is marked in use in the map but in no tree");
    }
    if (freeFound != freeNodes)
        Problem("the " + name + " header counts " + N(freeNodes) + " free nodes, the map " +
                N(freeFound));
    return leaves;
}

void Checker::Use(const std::vector<Extent>& extents, const std::string& owner) {
    const int index = static_cast<int>(ownerNames_.size());
    ownerNames_.push_back(owner);
    for (const Extent& extent : extents)
        for (std::uint32_t block = extent.start; block < extent.start + extent.count; ++block) {
            if (owners_[block] < 0) {
                owners_[block] = index;
                continue;
            }
            auto& [count, first] = twice_[{owners_[block], index}];
            if (count++ == 0) first = block;
        }
}

void Checker::CheckFork(std::uint32_t id, std::uint8_t fork, const std::uint8_t* lengths,
                        const std::uint8_t* extents, const std::string& what) {
    const std::vector<Extent> blocks = ForkExtents(id, fork, ExtentRecordAt(extents), what);
    std::uint64_t physical = 0;
    for (const Extent& extent : blocks)
        physical += std::uint64_t{extent.count} * blockSize_;
    const std::uint32_t logical = Be32(lengths), recorded = Be32(lengths + 4);
    if (logical > recorded || recorded != physical)
        Problem(what + ": logical length " + N(logical) + ", physical " + N(recorded) + ", its " +
                "extents hold " + N(physical) + " bytes");
    Use(blocks, what);
}

void Checker::CheckCatalog(const std::vector<Record>& records) {
    std::map<std::uint32_t, CatalogEntry> entries;
    std::map<std::uint32_t, Record> threads;  // by the id of what each stands for
    std::uint32_t highest = 0;
    for (const Record& record : records) {
        const Buffer& data = record.data;
        const std::uint8_t kind = data.empty() ? 0 : data[0];
        const std::size_t wanted = kind == kFolderRecord ? 70 : kind == kFileRecord ? 102 : 46;
        const std::string where = "catalog record " + Describe(Tree::kCatalog, record.key);
        if (kind < kFolderRecord || kind > kFileThread || data.size() < wanted) {
            Problem(where + " of kind " + N(kind) + " and " + N(data.size()) +
                    " bytes is no folder, file or thread record");
            continue;
        }
        if (kind == kFolderThread || kind == kFileThread) {
            if (!record.key.name.empty()) Problem(where + ": a thread record keyed with a name");
            if (!threads.emplace(record.key.id, record).second)
                Problem(where + ": a second thread record for " + N(record.key.id));
            continue;
        }
        const bool folder = kind == kFolderRecord;
        const std::uint32_t id = Be32(&data[folder ? 6 : 20]);
        const std::string what =
            (folder ? "folder " : "file ") + N(id) + " " + Quoted(record.key.name);
        highest = std::max(highest, id);
        const std::size_t longest = id == kRootFolder ? 27 : 31;
        if (record.key.name.empty() || record.key.name.size() > longest ||
            record.key.name.find(':') != std::string::npos)
            Problem(what + ": a name not of 1 to " + N(longest) + " bytes without ':'");
        if ((id < kFirstUserId && !(folder && id == kRootFolder)) ||
            (id == kRootFolder) != (record.key.id == kRootParent))
            Problem(what + " in folder " + N(record.key.id) + ": an id or parent no entry has");
        if (!entries
                 .emplace(id, CatalogEntry{record.key.id, record.key.name, folder,
                                           folder ? Be16(&data[4]) : std::uint16_t{0},
                                           !folder && (data[2] & 0x02) != 0})
                 .second)
            Problem(what + ": a second folder or file of id " + N(id));
        if (!folder) {
            CheckFork(id, 0x00, &data[26], &data[74], "the data fork of " + what);
            CheckFork(id, 0xFF, &data[36], &data[86], "the resource fork of " + what);
        }
    }

    // Threads both ways: each folder (and each file whose flags say so) has one naming its
    // parent and name; each thread stands for a folder or file of its kind.
    std::map<std::uint32_t, std::uint32_t> children;
    std::uint32_t files = 0, folders = 0, rootFiles = 0, rootFolders = 0;
    for (const auto& [id, entry] : entries) {
        ++children[entry.parent];
        (entry.folder ? folders : files) += 1;
        if (entry.parent == kRootFolder) (entry.folder ? rootFolders : rootFiles) += 1;
        const std::string what =
            (entry.folder ? "folder " : "file ") + N(id) + " " + Quoted(entry.name);
        if (id != kRootFolder) {
            const auto parent = entries.find(entry.parent);
            if (parent == entries.end() || !parent->second.folder)
                Problem(what + " lies in folder " + N(entry.parent) + ", which is not there");
        }
        const auto thread = threads.find(id);
        if (thread == threads.end()) {
            if (entry.folder || entry.hasThread) Problem(what + " has no thread record");
            continue;
        }
        const Buffer& data = thread->second.data;
        const std::string name(data.begin() + 15, data.begin() + 15 + std::min<int>(data[14], 31));
        if (data[0] != (entry.folder ? kFolderThread : kFileThread) ||
            Be32(&data[10]) != entry.parent || name != entry.name)
            Problem(what + " in folder " + N(entry.parent) + ": its thread record names " +
                    Quoted(name) + " in folder " + N(Be32(&data[10])));
    }
    for (const auto& [id, thread] : threads)
        if (!entries.contains(id))
            Problem("the thread record of " + N(id) + " stands for no folder or file");
    for (const auto& [id, entry] : entries)
        if (entry.folder && entry.valence != children[id])
            Problem("folder " + N(id) + " " + Quoted(entry.name) + " has valence " +
                    N(entry.valence) + ", and " + N(children[id]) + " entries lie in it");
    if (!entries.contains(kRootFolder)) {
        Problem("the catalog holds no root folder");
    } else {
        const std::string volume(mdb_.begin() + 37,
                                 mdb_.begin() + 37 + std::min<int>(mdb_[36], 27));
        if (entries[kRootFolder].name != volume)
            Problem("the root folder is named " + Quoted(entries[kRootFolder].name) +
                    ", the volume " + Quoted(volume));
        --folders;  // the master directory block counts folders without the root
    }
    const std::pair<const char*, std::pair<std::uint32_t, std::uint32_t>> counts[] = {
        {"drNmFls", {Be16(&mdb_[12]), rootFiles}},
        {"drNmRtDirs", {Be16(&mdb_[82]), rootFolders}},
        {"drFilCnt", {Be32(&mdb_[84]), files}},
        {"drDirCnt", {Be32(&mdb_[88]), folders}}};
    for (const auto& [field, values] : counts)
        if (values.first != values.second)
            Problem(std::string(field) + " is " + N(values.first) + ", the catalog has " +
                    N(values.second));
    if (Be32(&mdb_[30]) <= highest)
        Problem("drNxtCNID " + N(Be32(&mdb_[30])) + " is not above the highest id " + N(highest));
}

// Each allocation block is in use exactly when its bit is set (from the high bit of the
// bitmap's first byte), and drFreeBks counts the clear bits. Runs of blocks are reported as one.
void Checker::CheckBitmap() {
    for (const auto& [owners, seen] : twice_)
        Problem(N(seen.first) + " allocation blocks from block " + N(seen.second) + " of " +
                ownerNames_[owners.second] + " are also in " + ownerNames_[owners.first]);
    Buffer bitmap;
    if (!ReadAt(start_ + std::uint64_t{bitmapSector_} * kSector, (blockCount_ + 7) / 8, bitmap)) {
        Problem("the volume bitmap lies past the image");
        return;
    }
    std::uint32_t clear = 0;
    for (std::uint32_t block = 0; block < blockCount_;) {
        auto marked = [&](std::uint32_t b) { return (bitmap[b / 8] >> (7 - b % 8) & 1) != 0; };
        const bool mark = marked(block);
        const int owner = owners_[block];
        std::uint32_t end = block + 1;
        while (end < blockCount_ && marked(end) == mark && owners_[end] == owner)
            ++end;
        if (!mark) clear += end - block;
        const std::string blocks = "allocation blocks " + N(block) + " to " + N(end - 1);
        if (owner >= 0 && !mark)
            Problem(blocks + " of " + ownerNames_[owner] + " are not marked in the volume bitmap");
        else if (owner < 0 && mark)
            Problem(blocks + " are marked in the volume bitmap but in no fork or B-tree file");
        block = end;
    }
    if (clear != Be16(&mdb_[34]))
        Problem("drFreeBks is " + N(Be16(&mdb_[34])) + ", the volume bitmap has " + N(clear) +
                " free blocks");
}

std::vector<std::string> Checker::Run() {
    if (!image_) return {"the image cannot be opened"};
    image_.seekg(0, std::ios::end);
    imageBytes_ = static_cast<std::uint64_t>(image_.tellg());
    if (FindVolume() && CheckMasterDirectoryBlocks()) {
        owners_.assign(blockCount_, -1);
        // The B-tree files: the extents file wholly in the master directory block's three
        // extents; the catalog file in its three and in extents records of its own.
        Buffer file;
        const std::vector<Extent> extentsFile =
            ForkExtents(kExtentsFile, 0, ExtentRecordAt(&mdb_[134]), "the extents file");
        Use(extentsFile, "the extents file");
        const std::uint64_t extentsLength = Be32(&mdb_[130]);
        if (!ReadExtents(extentsFile, file)) Problem("the extents file cannot be read");
        for (Record& record : CheckTree(Tree::kExtents, file, extentsLength)) {
            if (record.data.size() < 12) continue;
            overflow_[{record.key.id, record.key.fork}][record.key.start] =
                ExtentRecordAt(record.data.data());
        }
        const std::vector<Extent> catalogFile =
            ForkExtents(kCatalogFile, 0, ExtentRecordAt(&mdb_[150]), "the catalog file");
        Use(catalogFile, "the catalog file");
        if (!ReadExtents(catalogFile, file)) Problem("the catalog file cannot be read");
        for (const auto& [tree, extents, length] :
             {std::tuple{"extents", &extentsFile, extentsLength},
              std::tuple{"catalog", &catalogFile, std::uint64_t{Be32(&mdb_[146])}}}) {
            std::uint64_t physical = 0;
            for (const Extent& extent : *extents)
                physical += std::uint64_t{extent.count} * blockSize_;
            if (length != physical)
                Problem(std::string("the ") + tree + " file's length " + N(length) +
                        " is not the " + N(physical) + " bytes of its extents");
        }
        CheckCatalog(CheckTree(Tree::kCatalog, file, Be32(&mdb_[146])));
        // The bad blocks file exists only as extents records; no other file may have some.
        const auto bad = overflow_.find({kBadBlocksFile, 0});
        if (bad != overflow_.end()) {
            std::vector<Extent> blocks;
            for (const auto& [start, record] : bad->second)
                for (const Extent& extent : record)
                    if (extent.count > 0 && extent.start + extent.count <= blockCount_)
                        blocks.push_back(extent);
            Use(blocks, "the bad blocks file");
            overflow_.erase(bad);
        }
        for (const auto& [fork, records] : overflow_)
            Problem(N(records.size()) + " extents records of the " +
                    (fork.second == 0xFF ? "resource" : "data") + " fork of file " + N(fork.first) +
                    ", which the catalog does not hold");
        CheckBitmap();
    }
    if (found_ > problems_.size())
        problems_.push_back("and " + N(found_ - problems_.size()) + " problems more");
    return problems_;
}

}  // namespace

std::vector<std::string> CheckHfsImage(const std::string& path) {
    return Checker(path).Run();
}

}  // namespace veskar
