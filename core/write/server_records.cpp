// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_records.h"

#include <algorithm>
#include <string_view>

#include "core/common/mac_time.h"

namespace veskar {

namespace {

constexpr std::array<std::uint8_t, 8> kMagicAndVersion = {0x00, 0x05, 0x16, 0x07,
                                                          0x00, 0x02, 0x00, 0x00};
constexpr std::size_t kFillerAt = 8;
constexpr std::size_t kCountAt = 24;
constexpr std::size_t kTableAt = 26;
constexpr std::size_t kDescriptorSize = 12;

// AppleDouble entry ids.
constexpr std::uint32_t kResourceFork = 2;
constexpr std::uint32_t kComment = 4;
constexpr std::uint32_t kFileDates = 8;
constexpr std::uint32_t kFinderInfo = 9;
constexpr std::uint32_t kAfpFileInfo = 14;
// netatalk's own, each empty: the device, inode, sync and id of its database.
constexpr std::uint32_t kNetatalkDevice = 0x80444556;
constexpr std::uint32_t kNetatalkInode = 0x80494E4F;
constexpr std::uint32_t kNetatalkSync = 0x8053594E;
constexpr std::uint32_t kNetatalkId = 0x8053567E;

// The ATTR block of macOS's "._" files (see the reader in core/read/entry_table.cpp).
constexpr std::size_t kAttrHeaderAt = apple_double::kFinderInfoAt + kFinderInfoSize + 2;
constexpr std::size_t kAttrEntriesAt = kAttrHeaderAt + 36;

// The resource fork macOS writes in a "._" file that holds attributes when the file has none:
// an empty resource map, with its text in the space for the application.
std::vector<std::uint8_t> EmptyResourceMap() {
    constexpr std::array<std::uint8_t, 16> kHeader = {0, 0, 1, 0, 0, 0, 1, 0,
                                                      0, 0, 0, 0, 0, 0, 0, 0x1E};
    constexpr std::string_view kText = "This resource fork intentionally left blank   ";
    constexpr std::array<std::uint8_t, 14> kMapTail = {0, 0, 0,    0, 0,    0,    0,
                                                       0, 0, 0x1C, 0, 0x1E, 0xFF, 0xFF};
    std::vector<std::uint8_t> map(286, 0);
    std::copy(kHeader.begin(), kHeader.end(), map.begin());
    std::copy(kText.begin(), kText.end(), map.begin() + 16);
    std::copy(kHeader.begin(), kHeader.end(), map.begin() + 256);
    std::copy(kMapTail.begin(), kMapTail.end(), map.begin() + 272);
    return map;
}

template <std::size_t N>
void Put32(std::array<std::uint8_t, N>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

template <std::size_t N>
void PutHeader(std::array<std::uint8_t, N>& bytes, std::string_view filler, std::uint16_t count) {
    std::copy(kMagicAndVersion.begin(), kMagicAndVersion.end(), bytes.begin());
    std::copy(filler.begin(), filler.end(), bytes.begin() + kFillerAt);
    bytes[kCountAt] = static_cast<std::uint8_t>(count >> 8);
    bytes[kCountAt + 1] = static_cast<std::uint8_t>(count);
}

template <std::size_t N>
void PutEntry(std::array<std::uint8_t, N>& bytes, std::size_t index, std::uint32_t id,
              std::uint32_t offset, std::uint32_t length) {
    const std::size_t at = kTableAt + index * kDescriptorSize;
    Put32(bytes, at, id);
    Put32(bytes, at + 4, offset);
    Put32(bytes, at + 8, length);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

bool FitsAttributeBlock(const ExtendedAttribute& attribute) {
    return !attribute.name.empty() && attribute.name.size() < 255;
}

void NoteAttributesLeftOut(const std::vector<ExtendedAttribute>& attributes,
                           std::vector<std::string>& warnings) {
    for (const ExtendedAttribute& attribute : attributes)
        if (!FitsAttributeBlock(attribute))
            warnings.push_back("the extended attribute " + attribute.name +
                               " was left out: the ._ file cannot name it in 254 bytes");
}

std::vector<std::uint8_t> MakeAppleDoubleHeader(const FinderInformation& finderInfo,
                                                std::uint32_t resourceLength,
                                                const std::vector<ExtendedAttribute>& attributes) {
    const AppleDoubleHeader plain = MakeAppleDoubleHeader(finderInfo, resourceLength);
    std::vector<const ExtendedAttribute*> kept;
    for (const ExtendedAttribute& attribute : attributes)
        if (FitsAttributeBlock(attribute)) kept.push_back(&attribute);
    if (kept.empty()) return {plain.begin(), plain.end()};
    // Each entry: the value's offset and length, flags, the name's length with its zero, the
    // name; on a multiple of 4.
    std::size_t dataStart = kAttrEntriesAt;
    std::size_t valueBytes = 0;
    for (const ExtendedAttribute* each : kept) {
        const ExtendedAttribute& attribute = *each;
        dataStart = (dataStart + 11 + attribute.name.size() + 1 + 3) & ~std::size_t{3};
        valueBytes += attribute.value.size();
    }
    const std::size_t total = dataStart + valueBytes;
    std::vector<std::uint8_t> header(total, 0);
    std::copy(plain.begin(), plain.end(), header.begin());
    Put32(header, kTableAt + 4, apple_double::kFinderInfoAt);
    Put32(header, kTableAt + 8, static_cast<std::uint32_t>(total - apple_double::kFinderInfoAt));
    Put32(header, kTableAt + kDescriptorSize + 4, static_cast<std::uint32_t>(total));
    // Without a fork of its own, the file gets macOS's empty one: Samba, moving the attributes
    // out, keeps an empty fork's old offset past the end of the file and reads it no more.
    if (resourceLength == 0) {
        const std::vector<std::uint8_t> map = EmptyResourceMap();
        Put32(header, kTableAt + kDescriptorSize + 8, static_cast<std::uint32_t>(map.size()));
        header.insert(header.end(), map.begin(), map.end());
    }
    constexpr std::array<std::uint8_t, 4> kAttrMagic = {'A', 'T', 'T', 'R'};
    std::copy(kAttrMagic.begin(), kAttrMagic.end(), header.begin() + kAttrHeaderAt);
    Put32(header, kAttrHeaderAt + 8, static_cast<std::uint32_t>(total));
    Put32(header, kAttrHeaderAt + 12, static_cast<std::uint32_t>(dataStart));
    Put32(header, kAttrHeaderAt + 16, static_cast<std::uint32_t>(valueBytes));
    header[kAttrHeaderAt + 34] = static_cast<std::uint8_t>(kept.size() >> 8);
    header[kAttrHeaderAt + 35] = static_cast<std::uint8_t>(kept.size());
    std::size_t entry = kAttrEntriesAt;
    std::size_t value = dataStart;
    for (const ExtendedAttribute* each : kept) {
        const ExtendedAttribute& attribute = *each;
        const bool empty = attribute.value.empty();
        Put32(header, entry, empty ? 0 : static_cast<std::uint32_t>(value));
        Put32(header, entry + 4, static_cast<std::uint32_t>(attribute.value.size()));
        header[entry + 10] = static_cast<std::uint8_t>(attribute.name.size() + 1);
        std::copy(attribute.name.begin(), attribute.name.end(), header.begin() + entry + 11);
        std::copy(attribute.value.begin(), attribute.value.end(),
                  header.begin() + static_cast<std::ptrdiff_t>(value));
        value += attribute.value.size();
        entry = (entry + 11 + attribute.name.size() + 1 + 3) & ~std::size_t{3};
    }
    return header;
}

DosAttributes MakeDosAttributes(std::uint32_t attributes, std::int64_t created) {
    DosAttributes record{};
    // An empty attribute string (its zero), padding, the version twice (the record's and its
    // union's), padding, the fields held (attributes and creation time), then those.
    record[2] = record[4] = 5;
    const std::uint32_t held = 0x01 | 0x10;
    const std::uint64_t ticks = mac_time::ToNtfs(created);
    for (std::size_t i = 0; i < 4; ++i) {
        record[8 + i] = static_cast<std::uint8_t>(held >> (8 * i));
        record[12 + i] = static_cast<std::uint8_t>(attributes >> (8 * i));
    }
    for (std::size_t i = 0; i < 8; ++i)
        record[16 + i] = static_cast<std::uint8_t>(ticks >> (8 * i));
    return record;
}

AppleDoubleHeader MakeAppleDoubleHeader(const FinderInformation& finderInfo,
                                        std::uint32_t resourceLength) {
    using namespace apple_double;
    AppleDoubleHeader header{};
    PutHeader(header, "Mac OS X        ", 2);
    PutEntry(header, 0, kFinderInfo, kFinderInfoAt, kFinderInfoSize);
    PutEntry(header, 1, kResourceFork, kResourceAt, resourceLength);
    std::copy(finderInfo.begin(), finderInfo.end(), header.begin() + kFinderInfoAt);
    return header;
}

NetatalkMetadata MakeNetatalkMetadata(const FinderInformation& finderInfo,
                                      std::int64_t unixSeconds) {
    return MakeNetatalkMetadata(finderInfo, {}, {}, unixSeconds);
}

NetatalkMetadata MakeNetatalkMetadata(const FinderInformation& finderInfo, const MacDates& dates,
                                      std::string_view comment, std::int64_t now) {
    using namespace netatalk;
    constexpr std::uint32_t kCommentAt = 154;
    constexpr std::size_t kCommentSlot = 200;
    constexpr std::uint32_t kDatesAt = 354;
    constexpr std::uint32_t kAfpFileInfoAt = 370;
    NetatalkMetadata record{};
    PutHeader(record, "Netatalk        ", 8);
    PutEntry(record, 0, kComment, kCommentAt, 0);
    PutEntry(record, 1, kFileDates, kDatesAt, 16);
    PutEntry(record, 2, kFinderInfo, kFinderInfoAt, kFinderInfoSize);
    PutEntry(record, 3, kAfpFileInfo, kAfpFileInfoAt, 4);
    PutEntry(record, 4, kNetatalkDevice, 374, 0);
    PutEntry(record, 5, kNetatalkInode, 382, 0);
    PutEntry(record, 6, kNetatalkSync, 390, 0);
    PutEntry(record, 7, kNetatalkId, 398, 0);
    std::copy(finderInfo.begin(), finderInfo.end(), record.begin() + kFinderInfoAt);
    const std::string_view kept = comment.substr(0, kCommentSlot);
    std::copy(kept.begin(), kept.end(), record.begin() + kCommentAt);
    PutEntry(record, 0, kComment, kCommentAt, static_cast<std::uint32_t>(kept.size()));
    Put32(record, kDatesAt, mac_time::To2000(dates.created.value_or(now)));
    Put32(record, kDatesAt + 4, mac_time::To2000(dates.modified.value_or(now)));
    Put32(record, kDatesAt + 8, mac_time::To2000(dates.backedUp));
    Put32(record, kDatesAt + 12, mac_time::To2000(now));
    return record;
}

std::vector<std::uint8_t> MakeNetatalk2Header(const FinderInformation& finderInfo,
                                              const MacFileDescription& file,
                                              std::string_view macName,
                                              std::uint32_t resourceLength, std::int64_t now) {
    constexpr std::uint32_t kRealName = 3, kDirectoryId = 15, kShortName = 13, kProDos = 11;
    constexpr std::size_t kNameSlot = 255, kCommentSlot = 200;
    constexpr std::uint32_t kWriteInhibit = 1u << 5;
    std::array<std::uint8_t, netatalk2::kHeaderSize> header{};
    PutHeader(header, "Netatalk        ", 13);
    // Each entry in netatalk's order, its slot right after the one before.
    const std::string_view name = macName.substr(0, kNameSlot);
    const std::string_view comment = std::string_view(file.comment).substr(0, kCommentSlot);
    struct Slot {
        std::uint32_t id;
        std::size_t size, used;
    };
    const std::array<Slot, 13> slots{{{kRealName, kNameSlot, name.size()},
                                      {kComment, kCommentSlot, comment.size()},
                                      {kFileDates, 16, 16},
                                      {kFinderInfo, kFinderInfoSize, kFinderInfoSize},
                                      {kDirectoryId, 4, 4},
                                      {kAfpFileInfo, 4, 4},
                                      {kShortName, 12, 0},
                                      {kProDos, 8, 8},
                                      {kNetatalkDevice, 8, 8},
                                      {kNetatalkInode, 8, 8},
                                      {kNetatalkSync, 8, 8},
                                      {kNetatalkId, 4, 4},
                                      {kResourceFork, 0, resourceLength}}};
    std::size_t at = kTableAt + slots.size() * kDescriptorSize;
    std::array<std::size_t, 13> offsets{};
    for (std::size_t i = 0; i < slots.size(); ++i) {
        offsets[i] = at;
        PutEntry(header, i, slots[i].id, static_cast<std::uint32_t>(at),
                 static_cast<std::uint32_t>(slots[i].used));
        at += slots[i].size;
    }
    std::copy(name.begin(), name.end(), header.begin() + offsets[0]);
    std::copy(comment.begin(), comment.end(), header.begin() + offsets[1]);
    // A creation date the file lacks stays unknown: netatalk serves the data file's time then.
    Put32(header, offsets[2], mac_time::To2000(file.dates.created));
    Put32(header, offsets[2] + 4, mac_time::To2000(file.dates.modified.value_or(now)));
    Put32(header, offsets[2] + 8, mac_time::To2000(file.dates.backedUp));
    Put32(header, offsets[2] + 12, mac_time::To2000(now));
    std::copy(finderInfo.begin(), finderInfo.end(), header.begin() + offsets[3]);
    const bool locked = file.macAttributes.value_or(0) & mac_attributes::kLocked;
    Put32(header, offsets[5], locked ? kWriteInhibit : 0);
    return {header.begin(), header.end()};
}

}  // namespace veskar
