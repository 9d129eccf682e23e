// SPDX-License-Identifier: Apache-2.0
#include "core/hfs/hfs_btree.h"

#include <algorithm>
#include <cstring>

namespace veskar {

namespace hfs {

namespace {

// The node descriptor.
constexpr std::size_t kFLink = 0, kBLink = 4, kKind = 8, kHeight = 9, kRecordCount = 10;
constexpr std::size_t kDescriptorBytes = 14;
// The header node's three records: the header, the user data and the map.
constexpr std::size_t kHeaderRecord = 14, kUserRecord = 0x78, kHeaderMap = 0xF8,
                      kHeaderMapEnd = 0x1F8;
constexpr std::uint32_t kHeaderMapBits = (kHeaderMapEnd - kHeaderMap) * 8;
// A map node's one record, as Mac OS, libhfs and Linux lay it.
constexpr std::size_t kMapRecordEnd = 0x1FA;
constexpr std::uint32_t kMapNodeBits = (kMapRecordEnd - kDescriptorBytes) * 8;
// Header record fields, from the record's start.
// The longest record HFS writes: a file record (102 bytes) under the longest catalog key.
constexpr std::size_t kLongestRecord = 38 + 102;
constexpr std::size_t kDepth = 0, kRoot = 2, kLeafRecords = 6, kFirstLeaf = 10, kLastLeaf = 14,
                      kNodeSize = 18, kMaxKey = 20, kTotalNodes = 22, kFreeNodes = 26;

std::uint16_t OffsetOf(const Node& node, std::size_t index) {
    return BigEndian16(node.data() + kNodeBytes - 2 * (index + 1));
}

std::size_t SpaceFor(const std::vector<std::vector<std::uint8_t>>& records, std::size_t from,
                     std::size_t to) {
    std::size_t bytes = kDescriptorBytes + 2 * (to - from + 1);
    for (std::size_t i = from; i < to; ++i)
        bytes += records[i].size();
    return bytes;
}

void SetMapRecord(Node& node) {
    node[kKind] = kMapNode;
    Put16(&node[kRecordCount], 1);
    Put16(&node[kNodeBytes - 2], kDescriptorBytes);
    Put16(&node[kNodeBytes - 4], kMapRecordEnd);
}

}  // namespace

std::uint16_t BTree::Header16(std::size_t at) const {
    return BigEndian16(NodeAt(0).data() + kHeaderRecord + at);
}
std::uint32_t BTree::Header32(std::size_t at) const {
    return BigEndian32(NodeAt(0).data() + kHeaderRecord + at);
}
void BTree::SetHeader16(std::size_t at, std::uint16_t value) {
    Put16(Mutable(0).data() + kHeaderRecord + at, value);
}
void BTree::SetHeader32(std::size_t at, std::uint32_t value) {
    Put32(Mutable(0).data() + kHeaderRecord + at, value);
}

const Node& BTree::NodeAt(std::uint32_t number) const {
    static const Node kEmpty{};
    const auto found = nodes_.find(number);
    return found == nodes_.end() ? kEmpty : found->second;
}

Node& BTree::Mutable(std::uint32_t number) {
    auto found = nodes_.find(number);
    if (!undo_.contains(number))
        undo_.emplace(number, found == nodes_.end() ? std::nullopt : std::optional(found->second));
    if (found == nodes_.end()) found = nodes_.emplace(number, Node{}).first;
    return found->second;
}

std::uint32_t BTree::MapCapacity() const {
    return kHeaderMapBits + kMapNodeBits * static_cast<std::uint32_t>(mapNodes_.size());
}

bool BTree::MapBit(std::uint32_t number) const {
    if (number < kHeaderMapBits)
        return (NodeAt(0)[kHeaderMap + number / 8] & (0x80u >> (number % 8))) != 0;
    const std::uint32_t rest = number - kHeaderMapBits;
    const std::size_t which = rest / kMapNodeBits;
    if (which >= mapNodes_.size()) return false;
    const std::uint32_t bit = rest % kMapNodeBits;
    return (NodeAt(mapNodes_[which])[kDescriptorBytes + bit / 8] & (0x80u >> (bit % 8))) != 0;
}

void BTree::SetMapBit(std::uint32_t number) {
    if (number < kHeaderMapBits) {
        Mutable(0)[kHeaderMap + number / 8] |= static_cast<std::uint8_t>(0x80u >> (number % 8));
        return;
    }
    const std::uint32_t rest = number - kHeaderMapBits;
    const std::uint32_t bit = rest % kMapNodeBits;
    Mutable(mapNodes_[rest / kMapNodeBits])[kDescriptorBytes + bit / 8] |=
        static_cast<std::uint8_t>(0x80u >> (bit % 8));
}

bool BTree::Load(std::uint64_t fileBytes, const NodeReader& read, bool forWriting,
                 std::string& why) {
    const auto fail = [&](const std::string& reason) {
        why = what_ + ": " + reason;
        nodes_.clear();
        mapNodes_.clear();
        return false;
    };
    if (fileBytes < kNodeBytes) return fail("its file is empty");
    Node header;
    if (!read(0, header, why)) return false;
    const std::uint8_t* h = header.data() + kHeaderRecord;
    if (header[kKind] != kHeaderNode || BigEndian16(&header[kRecordCount]) != 3 ||
        OffsetOf(header, 0) != kHeaderRecord || OffsetOf(header, 1) != kUserRecord ||
        OffsetOf(header, 2) != kHeaderMap || OffsetOf(header, 3) != kHeaderMapEnd)
        return fail("its header node is malformed");
    if (BigEndian16(h + kNodeSize) != kNodeBytes) return fail("its nodes are not 512 bytes");
    const std::uint16_t maxKey = BigEndian16(h + kMaxKey);
    if (maxKey != (kind_ == KeyKind::Catalog ? kCatalogIndexKeyLength : kExtentsKeyLength))
        return fail("its key length is not HFS's");
    const std::uint32_t total = BigEndian32(h + kTotalNodes);
    const std::uint32_t freeNodes = BigEndian32(h + kFreeNodes);
    const std::uint16_t depth = BigEndian16(h + kDepth);
    const std::uint32_t root = BigEndian32(h + kRoot);
    const std::uint32_t leafRecords = BigEndian32(h + kLeafRecords);
    const std::uint32_t firstLeaf = BigEndian32(h + kFirstLeaf);
    const std::uint32_t lastLeaf = BigEndian32(h + kLastLeaf);
    if (total == 0 || std::uint64_t{total} * kNodeBytes > fileBytes)
        return fail("its node count does not fit its file");
    if (freeNodes >= total) return fail("its free node count is more than it has");
    if (depth > kMaxDepth) return fail("it is deeper than HFS allows");
    if (depth == 0 && (root != 0 || leafRecords != 0 || firstLeaf != 0 || lastLeaf != 0))
        return fail("it is empty but names a root");
    if (depth > 0 && (root == 0 || root >= total || firstLeaf == 0 || firstLeaf >= total ||
                      lastLeaf == 0 || lastLeaf >= total))
        return fail("its root or leaves lie outside it");
    nodes_.clear();
    mapNodes_.clear();
    undo_.clear();
    nodes_.emplace(0, header);

    std::vector<bool> seen(total, false);
    seen[0] = true;
    // The map nodes, chained from the header node.
    for (std::uint32_t next = BigEndian32(&header[kFLink]); next != 0;) {
        if (next >= total || seen[next]) return fail("its map chain leaves it or loops");
        seen[next] = true;
        Node node;
        if (!read(next, node, why)) return false;
        if (node[kKind] != kMapNode || BigEndian16(&node[kRecordCount]) != 1 ||
            OffsetOf(node, 0) != kDescriptorBytes || OffsetOf(node, 1) != kMapRecordEnd)
            return fail("map node " + std::to_string(next) + " is malformed");
        mapNodes_.push_back(next);
        nodes_.emplace(next, node);
        next = BigEndian32(&node[kFLink]);
    }
    if (forWriting && MapCapacity() < total) return fail("its map does not cover every node");

    // Every node in use, from the root down, each once: its kind and height, its records
    // inside it and in order, and every key within what the index above allows.
    struct Pending {
        std::uint32_t node;
        std::uint16_t height;
        std::vector<std::uint8_t> low, high;  // empty: no bound
    };
    std::vector<std::vector<std::uint32_t>> levels(depth + 1u);
    std::vector<Pending> stack;
    if (depth > 0) stack.push_back({root, depth, {}, {}});
    std::uint64_t recordsInLeaves = 0;
    while (!stack.empty()) {
        Pending at = std::move(stack.back());
        stack.pop_back();
        const std::string where = "node " + std::to_string(at.node);
        if (seen[at.node]) return fail(where + " is reached twice");
        seen[at.node] = true;
        Node node;
        if (!read(at.node, node, why)) return false;
        const bool leaf = at.height == 1;
        if (node[kKind] != (leaf ? kLeafNode : kIndexNode) || node[kHeight] != at.height)
            return fail(where + " is not the kind or height its place asks");
        const std::uint16_t count = BigEndian16(&node[kRecordCount]);
        if (count == 0 || kDescriptorBytes + 2u * (count + 1u) > kNodeBytes)
            return fail(where + " has no records or too many");
        if (OffsetOf(node, 0) != kDescriptorBytes) return fail(where + " has a misplaced record");
        for (std::uint16_t i = 0; i < count; ++i)
            if (OffsetOf(node, i + 1u) <= OffsetOf(node, i))
                return fail(where + " has record offsets out of order");
        if (OffsetOf(node, count) > kNodeBytes - 2u * (count + 1u))
            return fail(where + " has records over its offsets");
        std::vector<std::uint32_t> children;
        std::vector<std::vector<std::uint8_t>> keys;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::span<const std::uint8_t> record(node.data() + OffsetOf(node, i),
                                                       OffsetOf(node, i + 1u) - OffsetOf(node, i));
            std::size_t keyBytes = 0;
            if (!KeyIsWhole(kind_, record, keyBytes)) return fail(where + " has a malformed key");
            const std::uint8_t* key = record.data();
            if (i > 0 && CompareKeys(kind_, keys.back().data(), key) >= 0)
                return fail(where + " has keys out of order");
            if (i == 0 && !at.low.empty() && CompareKeys(kind_, key, at.low.data()) < 0)
                return fail(where + " has keys below its index key");
            if (!at.high.empty() && CompareKeys(kind_, key, at.high.data()) >= 0)
                return fail(where + " has keys past the next index key");
            keys.emplace_back(key, key + KeyLength(key));
            // Splits rely on records no longer than HFS's own (a file record and its key).
            if (forWriting && record.size() > kLongestRecord)
                return fail(where + " holds a record longer than HFS writes");
            if (!leaf) {
                if (record.size() < keyBytes + 4) return fail(where + " has a short index record");
                if (forWriting && KeyLength(key) != IndexKeyOf(kind_, key).size())
                    return fail(where + " has index keys of another length than HFS's");
                const std::uint32_t child = BigEndian32(record.data() + keyBytes);
                if (child == 0 || child >= total) return fail(where + " points outside the tree");
                children.push_back(child);
            }
        }
        if (leaf) recordsInLeaves += count;
        levels[at.height].push_back(at.node);
        nodes_.emplace(at.node, node);
        // Children go on the stack last first, so each level is met left to right.
        for (std::size_t i = children.size(); i-- > 0;)
            stack.push_back({children[i], static_cast<std::uint16_t>(at.height - 1), keys[i],
                             i + 1 < keys.size() ? keys[i + 1] : at.high});
    }
    // Each level chained left to right, both ways, and the leaves as the header says.
    for (std::uint16_t height = 1; height <= depth; ++height) {
        const auto& level = levels[height];
        for (std::size_t i = 0; i < level.size(); ++i) {
            const Node& node = nodes_.at(level[i]);
            const std::uint32_t before = i > 0 ? level[i - 1] : 0;
            const std::uint32_t after = i + 1 < level.size() ? level[i + 1] : 0;
            if (BigEndian32(&node[kBLink]) != before || BigEndian32(&node[kFLink]) != after)
                return fail("node " + std::to_string(level[i]) + " is chained out of order");
        }
    }
    if (depth > 0) {
        if (levels[1].front() != firstLeaf || levels[1].back() != lastLeaf)
            return fail("its first or last leaf is not the header's");
        if (levels[depth].size() != 1) return fail("its root is not alone at the top");
    }
    if (recordsInLeaves != leafRecords) return fail("its record count is not what it holds");
    // The map: every node in use marked; for writing, the free count what the map says.
    std::uint32_t marked = 0;
    for (std::uint32_t n = 0; n < total; ++n) {
        const bool bit = n < MapCapacity() && MapBit(n);
        if (seen[n] && n < MapCapacity() && !bit)
            return fail("node " + std::to_string(n) + " is in use but free in its map");
        marked += bit;
    }
    if (forWriting && total - marked != freeNodes)
        return fail("its free node count is not what its map says");
    Commit();
    return true;
}

void BTree::Format(std::uint32_t totalNodes) {
    nodes_.clear();
    mapNodes_.clear();
    undo_.clear();
    mapNodesBefore_.clear();
    // Every node made here counts as changed, so that the new volume writes them all.
    Node& header = Mutable(0);
    header[kKind] = kHeaderNode;
    Put16(&header[kRecordCount], 3);
    Put16(&header[kNodeBytes - 2], kHeaderRecord);
    Put16(&header[kNodeBytes - 4], kUserRecord);
    Put16(&header[kNodeBytes - 6], kHeaderMap);
    Put16(&header[kNodeBytes - 8], kHeaderMapEnd);
    std::uint8_t* h = header.data() + kHeaderRecord;
    Put16(h + kNodeSize, kNodeBytes);
    Put16(h + kMaxKey, kind_ == KeyKind::Catalog ? kCatalogIndexKeyLength : kExtentsKeyLength);
    Put32(h + kTotalNodes, 1);
    SetMapBit(0);
    AddNodes(totalNodes - 1);
}

void BTree::AddNodes(std::uint32_t count) {
    const std::uint32_t before = TotalNodes();
    const std::uint32_t total = before + count;
    SetHeader32(kTotalNodes, total);
    // A map may hold stray bits past the nodes it had: those nodes count as taken.
    std::uint32_t freed = 0;
    for (std::uint32_t n = before; n < total; ++n)
        freed += !MapBit(n);
    SetHeader32(kFreeNodes, FreeNodes() + freed);
    while (MapCapacity() < total) {
        // The new map node takes the first free node; past the map's end every node is free.
        std::uint32_t number = 0;
        while (number < MapCapacity() && MapBit(number))
            ++number;
        const std::uint32_t last = mapNodes_.empty() ? 0 : mapNodes_.back();
        Node& node = Mutable(number);
        node = Node{};
        SetMapRecord(node);
        Put32(&Mutable(last)[kFLink], number);
        mapNodes_.push_back(number);
        SetMapBit(number);
        SetHeader32(kFreeNodes, FreeNodes() - 1);
    }
}

std::uint32_t BTree::AllocateNode() {
    const std::uint32_t total = TotalNodes();
    std::uint32_t number = 1;
    // Whole bytes of the header's map at once: the common case of a tree under 2048 nodes.
    const Node& header = NodeAt(0);
    while (number < total && number < kHeaderMapBits && header[kHeaderMap + number / 8] == 0xFF)
        number = (number / 8 + 1) * 8;
    while (number < total && MapBit(number))
        ++number;
    SetMapBit(number);
    SetHeader32(kFreeNodes, FreeNodes() - 1);
    Mutable(number) = Node{};
    return number;
}

bool BTree::Reserve(std::uint32_t count, std::string& why) {
    // Each round adds at least one node; the bound only guards against a grower that adds
    // none without saying why.
    for (int round = 0; FreeNodes() < count; ++round) {
        if (!grow_ || round == 64) {
            why = what_ + " cannot grow";
            return false;
        }
        const std::uint32_t added = grow_(count - FreeNodes(), why);
        if (added == 0) return false;
        AddNodes(added);
    }
    return true;
}

std::uint16_t BTree::RecordCount(std::uint32_t node) const {
    return BigEndian16(&NodeAt(node)[kRecordCount]);
}

std::span<const std::uint8_t> BTree::RecordIn(const Node& node, std::uint16_t index) const {
    const std::uint16_t from = OffsetOf(node, index);
    return {node.data() + from, static_cast<std::size_t>(OffsetOf(node, index + 1u) - from)};
}

std::span<const std::uint8_t> BTree::Record(Position at) const {
    return RecordIn(NodeAt(at.node), at.index);
}

std::span<const std::uint8_t> BTree::Data(Position at) const {
    const auto record = Record(at);
    std::size_t keyBytes = 0;
    if (!KeyIsWhole(kind_, record, keyBytes)) return {};
    return record.subspan(keyBytes);
}

std::span<std::uint8_t> BTree::MutableData(Position at) {
    const auto data = Data(at);
    Node& node = Mutable(at.node);
    return {node.data() + (data.data() - NodeAt(at.node).data()), data.size()};
}

std::optional<BTree::Position> BTree::Descend(std::span<const std::uint8_t> key, bool exact) const {
    if (Depth() == 0) return std::nullopt;
    std::uint32_t number = Header32(kRoot);
    for (std::uint16_t height = Depth(); height > 1; --height) {
        const Node& node = NodeAt(number);
        const std::uint16_t count = RecordCount(number);
        std::uint16_t chosen = 0;
        for (std::uint16_t i = 1; i < count; ++i) {
            if (CompareKeys(kind_, RecordIn(node, i).data(), key.data()) > 0) break;
            chosen = i;
        }
        const auto record = RecordIn(node, chosen);
        std::size_t keyBytes = 0;
        KeyIsWhole(kind_, record, keyBytes);
        number = BigEndian32(record.data() + keyBytes);
    }
    const Node& leaf = NodeAt(number);
    const std::uint16_t count = RecordCount(number);
    for (std::uint16_t i = 0; i < count; ++i) {
        const int order = CompareKeys(kind_, RecordIn(leaf, i).data(), key.data());
        if (order == 0) return Position{number, i};
        if (order > 0) {
            if (exact) return std::nullopt;
            return Position{number, i};
        }
    }
    if (exact) return std::nullopt;
    Position end{number, static_cast<std::uint16_t>(count - 1)};
    if (!Next(end)) return std::nullopt;
    return end;
}

std::optional<BTree::Position> BTree::Find(std::span<const std::uint8_t> key) const {
    return Descend(key, true);
}

std::optional<BTree::Position> BTree::LowerBound(std::span<const std::uint8_t> key) const {
    return Descend(key, false);
}

std::optional<BTree::Position> BTree::First() const {
    if (Depth() == 0) return std::nullopt;
    return Position{Header32(kFirstLeaf), 0};
}

bool BTree::Next(Position& at) const {
    if (at.index + 1u < RecordCount(at.node)) {
        ++at.index;
        return true;
    }
    const std::uint32_t next = BigEndian32(&NodeAt(at.node)[kFLink]);
    if (next == 0) return false;
    at = {next, 0};
    return true;
}

std::vector<std::vector<std::uint8_t>> BTree::Records(std::uint32_t node) const {
    std::vector<std::vector<std::uint8_t>> records;
    const Node& bytes = NodeAt(node);
    for (std::uint16_t i = 0; i < RecordCount(node); ++i) {
        const auto record = RecordIn(bytes, i);
        records.emplace_back(record.begin(), record.end());
    }
    return records;
}

void BTree::WriteRecords(std::uint32_t number,
                         const std::vector<std::vector<std::uint8_t>>& records) {
    Node& node = Mutable(number);
    std::fill(node.begin() + kDescriptorBytes, node.end(), 0);
    Put16(&node[kRecordCount], static_cast<std::uint16_t>(records.size()));
    std::size_t at = kDescriptorBytes;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Put16(&node[kNodeBytes - 2 * (i + 1)], static_cast<std::uint16_t>(at));
        std::memcpy(&node[at], records[i].data(), records[i].size());
        at += records[i].size();
    }
    Put16(&node[kNodeBytes - 2 * (records.size() + 1)], static_cast<std::uint16_t>(at));
}

std::vector<std::uint8_t> BTree::IndexRecord(std::uint32_t child) const {
    std::uint8_t pointer[4];
    Put32(pointer, child);
    return JoinRecord(IndexKeyOf(kind_, RecordIn(NodeAt(child), 0).data()), pointer);
}

bool BTree::Insert(std::span<const std::uint8_t> record, std::string& why) {
    std::size_t keyBytes = 0;
    if (!KeyIsWhole(kind_, record, keyBytes) || record.size() + kDescriptorBytes + 4 > kNodeBytes) {
        why = what_ + ": a record that no node can take";
        return false;
    }
    if (FreeNodes() < NodesForInsert()) {
        why = what_ + " has no room left";
        return false;
    }
    std::vector<std::uint8_t> copy(record.begin(), record.end());
    if (Depth() == 0) {
        const std::uint32_t leaf = AllocateNode();
        Node& node = Mutable(leaf);
        node[kKind] = kLeafNode;
        node[kHeight] = 1;
        WriteRecords(leaf, {copy});
        SetHeader32(kRoot, leaf);
        SetHeader16(kDepth, 1);
        SetHeader32(kFirstLeaf, leaf);
        SetHeader32(kLastLeaf, leaf);
        SetHeader32(kLeafRecords, 1);
        return true;
    }
    std::vector<Step> path;
    std::uint32_t number = Header32(kRoot);
    for (std::uint16_t height = Depth(); height > 1; --height) {
        const Node& node = NodeAt(number);
        std::uint16_t chosen = 0;
        for (std::uint16_t i = 1; i < RecordCount(number); ++i) {
            if (CompareKeys(kind_, RecordIn(node, i).data(), record.data()) > 0) break;
            chosen = i;
        }
        path.push_back({number, chosen});
        const auto index = RecordIn(node, chosen);
        std::size_t indexKeyBytes = 0;
        KeyIsWhole(kind_, index, indexKeyBytes);
        number = BigEndian32(index.data() + indexKeyBytes);
    }
    const Node& leaf = NodeAt(number);
    std::uint16_t at = 0;
    while (at < RecordCount(number)) {
        const int order = CompareKeys(kind_, RecordIn(leaf, at).data(), record.data());
        if (order == 0) {
            why = what_ + " already holds that key";
            return false;
        }
        if (order > 0) break;
        ++at;
    }
    path.push_back({number, at});
    SetHeader32(kLeafRecords, LeafRecords() + 1);
    InsertAt(path, path.size() - 1, at, std::move(copy));
    return true;
}

void BTree::InsertAt(const std::vector<Step>& path, std::size_t level, std::uint16_t at,
                     std::vector<std::uint8_t> record) {
    const std::uint32_t number = path[level].node;
    auto records = Records(number);
    records.insert(records.begin() + at, std::move(record));
    if (SpaceFor(records, 0, records.size()) <= kNodeBytes) {
        WriteRecords(number, records);
        if (at == 0 && level > 0) UpdateIndexKey(path, level - 1, NodeAt(number).data() + 14);
        return;
    }
    // Split: a record added at the end starts the new node alone (files added in order fill
    // nodes whole); otherwise the bytes are shared as evenly as both halves allow.
    const std::size_t n = records.size();
    std::size_t split = 0;
    if (at == n - 1) {
        split = n - 1;
    } else {
        std::size_t best = SIZE_MAX;
        for (std::size_t k = 1; k < n; ++k) {
            const std::size_t left = SpaceFor(records, 0, k), right = SpaceFor(records, k, n);
            if (left > kNodeBytes || right > kNodeBytes) continue;
            const std::size_t gap = left > right ? left - right : right - left;
            if (gap < best) best = gap, split = k;
        }
        if (split == 0) split = n / 2;  // not reached: records are short enough for two halves
    }
    const std::uint32_t sibling = AllocateNode();
    const std::uint32_t after = BigEndian32(&NodeAt(number)[kFLink]);
    {
        Node& left = Mutable(number);
        Node& right = Mutable(sibling);
        right[kKind] = left[kKind];
        right[kHeight] = left[kHeight];
        Put32(&right[kFLink], after);
        Put32(&right[kBLink], number);
        Put32(&left[kFLink], sibling);
    }
    if (after != 0) Put32(&Mutable(after)[kBLink], sibling);
    const bool leaf = NodeAt(number)[kKind] == kLeafNode;
    if (leaf && Header32(kLastLeaf) == number) SetHeader32(kLastLeaf, sibling);
    WriteRecords(number, {records.begin(), records.begin() + split});
    WriteRecords(sibling, {records.begin() + split, records.end()});
    if (at == 0 && level > 0) UpdateIndexKey(path, level - 1, NodeAt(number).data() + 14);
    if (level == 0) {
        const std::uint32_t root = AllocateNode();
        Node& node = Mutable(root);
        node[kKind] = kIndexNode;
        node[kHeight] = static_cast<std::uint8_t>(NodeAt(number)[kHeight] + 1);
        WriteRecords(root, {IndexRecord(number), IndexRecord(sibling)});
        SetHeader32(kRoot, root);
        SetHeader16(kDepth, static_cast<std::uint16_t>(Depth() + 1));
        return;
    }
    InsertAt(path, level - 1, static_cast<std::uint16_t>(path[level - 1].index + 1),
             IndexRecord(sibling));
}

void BTree::UpdateIndexKey(const std::vector<Step>& path, std::size_t level,
                           const std::uint8_t* key) {
    const Step step = path[level];
    const std::vector<std::uint8_t> index = IndexKeyOf(kind_, key);
    const auto old = RecordIn(NodeAt(step.node), step.index);
    std::size_t keyBytes = 0;
    KeyIsWhole(kind_, old, keyBytes);
    // Index keys are of the tree's fixed length (Load checks it before any write).
    const std::size_t offset = old.data() - NodeAt(step.node).data();
    if (keyBytes == ((index.size() + 1) & ~std::size_t{1}))
        std::memcpy(&Mutable(step.node)[offset], index.data(), index.size());
    if (step.index == 0 && level > 0) UpdateIndexKey(path, level - 1, key);
}

std::vector<std::uint32_t> BTree::Changed() const {
    std::vector<std::uint32_t> changed;
    for (const auto& [number, before] : undo_) {
        const auto now = nodes_.find(number);
        if (!before || now == nodes_.end() || *before != now->second) changed.push_back(number);
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}

void BTree::Commit() {
    undo_.clear();
    mapNodesBefore_ = mapNodes_;
}

void BTree::Rollback() {
    for (auto& [number, before] : undo_) {
        if (before)
            nodes_[number] = *before;
        else
            nodes_.erase(number);
    }
    undo_.clear();
    mapNodes_ = mapNodesBefore_;
}

}  // namespace hfs

}  // namespace veskar
