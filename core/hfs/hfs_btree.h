// SPDX-License-Identifier: Apache-2.0
// An HFS B-tree (the extents overflow file or the catalog) in memory: its header node, map and
// the nodes in use, read and checked whole when the volume opens, searched, walked leaf by
// leaf, and grown by inserts that split nodes up to a new root. Changes are logged so that a
// failed addition puts every node back as it was; the nodes changed since the last commit are
// what the volume writes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/hfs/hfs_catalog.h"

namespace veskar {

namespace hfs {

constexpr std::uint32_t kNodeBytes = 512;
using Node = std::array<std::uint8_t, kNodeBytes>;

// Node kinds (ndType).
constexpr std::uint8_t kIndexNode = 0x00;
constexpr std::uint8_t kHeaderNode = 0x01;
constexpr std::uint8_t kMapNode = 0x02;
constexpr std::uint8_t kLeafNode = 0xFF;
constexpr std::uint16_t kMaxDepth = 8;

class BTree {
  public:
    // Reads node `number` of the tree's file into `into`; false with the reason.
    using NodeReader = std::function<bool(std::uint32_t number, Node& into, std::string& why)>;
    // Makes the tree's file longer by at least `nodes` nodes: how many it added, 0 with the
    // reason when it cannot.
    using Grower = std::function<std::uint32_t(std::uint32_t nodes, std::string& why)>;

    struct Position {
        std::uint32_t node = 0;
        std::uint16_t index = 0;
    };

    BTree(KeyKind kind, std::string what) : kind_(kind), what_(std::move(what)) {}

    // Reads and checks the tree of a file of `fileBytes`: the header, the map, every node in
    // use and the chains of each level. `forWriting` also asks for what inserts rely on (a map
    // for every node, index keys of the fixed length, the free count true).
    bool Load(std::uint64_t fileBytes, const NodeReader& read, bool forWriting, std::string& why);
    // An empty tree of `totalNodes` nodes, for a new volume: the header node and as many map
    // nodes as it needs.
    void Format(std::uint32_t totalNodes);
    void SetGrower(Grower grower) { grow_ = std::move(grower); }

    KeyKind Kind() const { return kind_; }
    std::uint32_t TotalNodes() const { return Header32(22); }
    std::uint32_t FreeNodes() const { return Header32(26); }
    std::uint16_t Depth() const { return Header16(0); }
    std::uint32_t LeafRecords() const { return Header32(6); }

    // The record of exactly that key.
    std::optional<Position> Find(std::span<const std::uint8_t> key) const;
    // The first record whose key is not below `key`.
    std::optional<Position> LowerBound(std::span<const std::uint8_t> key) const;
    // The first record of the tree.
    std::optional<Position> First() const;
    // Moves to the next record in key order; false at the end.
    bool Next(Position& at) const;
    std::span<const std::uint8_t> Record(Position at) const;
    // The record's data, after its padded key.
    std::span<const std::uint8_t> Data(Position at) const;
    // The record's data to change in place (its length stays).
    std::span<std::uint8_t> MutableData(Position at);

    // Makes room for an insert: `nodes` free nodes, growing the file when needed.
    bool Reserve(std::uint32_t nodes, std::string& why);
    // Inserts a record (key and data) whose key is not in the tree yet. Reserve first: an
    // insert takes at most Depth() + 1 new nodes.
    bool Insert(std::span<const std::uint8_t> record, std::string& why);
    std::uint32_t NodesForInsert() const { return Depth() + 1u; }

    // The nodes changed since the last commit, and the node bytes to write for them.
    std::vector<std::uint32_t> Changed() const;
    const Node& NodeAt(std::uint32_t number) const;
    void Commit();
    void Rollback();

  private:
    std::uint16_t Header16(std::size_t at) const;
    std::uint32_t Header32(std::size_t at) const;
    void SetHeader16(std::size_t at, std::uint16_t value);
    void SetHeader32(std::size_t at, std::uint32_t value);
    Node& Mutable(std::uint32_t number);

    std::uint32_t MapCapacity() const;
    bool MapBit(std::uint32_t number) const;
    void SetMapBit(std::uint32_t number);
    // Adds nodes at the end of the file once it has grown, with map nodes where the map needs
    // them.
    void AddNodes(std::uint32_t count);
    std::uint32_t AllocateNode();

    std::uint16_t RecordCount(std::uint32_t node) const;
    std::span<const std::uint8_t> RecordIn(const Node& node, std::uint16_t index) const;
    std::vector<std::vector<std::uint8_t>> Records(std::uint32_t node) const;
    void WriteRecords(std::uint32_t node, const std::vector<std::vector<std::uint8_t>>& records);
    std::vector<std::uint8_t> IndexRecord(std::uint32_t child) const;
    struct Step {
        std::uint32_t node;
        std::uint16_t index;
    };
    void InsertAt(const std::vector<Step>& path, std::size_t level, std::uint16_t at,
                  std::vector<std::uint8_t> record);
    void UpdateIndexKey(const std::vector<Step>& path, std::size_t level, const std::uint8_t* key);
    std::optional<Position> Descend(std::span<const std::uint8_t> key, bool exact) const;

    KeyKind kind_;
    std::string what_;  // "the catalog", for messages
    std::unordered_map<std::uint32_t, Node> nodes_;
    std::vector<std::uint32_t> mapNodes_;
    Grower grow_;

    // What changed since the last commit: each node's bytes before, nullopt when it was not
    // in memory; the map nodes as they were.
    std::unordered_map<std::uint32_t, std::optional<Node>> undo_;
    std::vector<std::uint32_t> mapNodesBefore_;
};

}  // namespace hfs

}  // namespace veskar
