// SPDX-License-Identifier: Apache-2.0
#include "core/write/afp_info.h"

#include <algorithm>

#include "core/common/mac_time.h"
#include "core/finder_info.h"

namespace veskar {

namespace {

// AfpInfo layout; the words are little-endian.
constexpr std::size_t kSignatureAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kBackupTimeAt = 12;
constexpr std::size_t kFinderInfoAt = 16;
constexpr std::uint32_t kSignature = 0x00504641;  // "AFP\0"
// Windows, the Mac SMB client, Samba and netatalk write and check 0x00010000; a record with
// 0x00100000 is refused or ignored by them, which loses the type and creator.
constexpr std::uint32_t kVersion = 0x00010000;
constexpr std::uint32_t kBackupTimeNever = 0x80000000;

void PutLittleEndian32(AfpInfo& record, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

AfpInfo MakeAfpInfo(const FinderInformation& finderInfo, std::optional<std::int64_t> backedUp) {
    AfpInfo record{};
    PutLittleEndian32(record, kSignatureAt, kSignature);
    PutLittleEndian32(record, kVersionAt, kVersion);
    PutLittleEndian32(record, kBackupTimeAt,
                      backedUp ? mac_time::To2000(backedUp) : kBackupTimeNever);
    std::copy(finderInfo.begin(), finderInfo.end(), record.begin() + kFinderInfoAt);
    return record;
}

AfpInfo MakeAfpInfo(const TypeCreator& typeCreator) {
    FinderInformation info{};
    std::copy(typeCreator.begin(), typeCreator.end(), info.begin());
    // A bounded string copy: the first zero byte ends the type and creator alike.
    return MakeAfpInfo(TypeAndCreatorOnly(info));
}

}  // namespace veskar
