// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_records.h"

#include <algorithm>
#include <string_view>

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

constexpr std::uint32_t kDateNever = 0x80000000;
constexpr std::int64_t kUnixSecondsAt2000 = 946684800;

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

}  // namespace

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
    using namespace netatalk;
    constexpr std::uint32_t kCommentAt = 154;
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
    const auto now = static_cast<std::uint32_t>(unixSeconds - kUnixSecondsAt2000);
    Put32(record, kDatesAt, now);
    Put32(record, kDatesAt + 4, now);
    Put32(record, kDatesAt + 8, kDateNever);
    Put32(record, kDatesAt + 12, now);
    return record;
}

}  // namespace veskar
