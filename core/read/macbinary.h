// SPDX-License-Identifier: Apache-2.0
// MacBinary: a 128-byte header, then the data fork and the resource fork, each starting on a
// 128-byte boundary.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/mac_file.h"

namespace veskar {

constexpr std::size_t kMacBinaryHeaderSize = 128;
using MacBinaryHeader = std::array<std::uint8_t, kMacBinaryHeaderSize>;

// Header layout.
namespace macbinary {
constexpr std::size_t kOldVersionAt = 0;
constexpr std::size_t kNameLengthAt = 1;
constexpr std::size_t kNameAt = 2;
constexpr std::size_t kMaxNameLength = 63;
constexpr std::size_t kTypeCreatorAt = 65;
constexpr std::size_t kFinderFlagsAt = 73;  // the high byte of the Finder flags
constexpr std::size_t kLocationAt = 75;     // the icon's place in its window, 4 bytes
constexpr std::size_t kFolderAt = 79;       // 2 bytes
constexpr std::size_t kCreatedAt = 91;      // seconds since 1904, 0 when unknown
constexpr std::size_t kModifiedAt = 95;
constexpr std::size_t kCommentLengthAt = 99;    // MacBinary II and III: the "Get Info" comment
constexpr std::size_t kFinderFlagsLowAt = 101;  // MacBinary II and III: the low byte
constexpr std::size_t kSignatureAt = 102;       // MacBinary III: "mBIN"
constexpr std::array<std::uint8_t, 4> kSignatureIII = {'m', 'B', 'I', 'N'};
constexpr std::size_t kScriptAt = 106;         // MacBinary III: the extended Finder info's
constexpr std::size_t kExtendedFlagsAt = 107;  // script and flags
constexpr std::size_t kZeroFillAt = 82;
constexpr std::size_t kDataLengthAt = 83;
constexpr std::size_t kResourceLengthAt = 87;
constexpr std::size_t kSecondaryHeaderAt = 120;  // MacBinary II and III: its length
constexpr std::size_t kVersionAt = 122;          // MacBinary II and III: the writer's version
constexpr std::size_t kMinVersionAt = 123;       // and the version a reader needs
constexpr std::size_t kHeaderCrcAt = 124;        // CRC-16 of bytes 0 to 123, big-endian
constexpr std::uint8_t kVersionII = 129;  // III writes 130 at kVersionAt, 129 at kMinVersionAt
constexpr std::uint32_t kForkAlignment = 128;
}  // namespace macbinary

// The header check value of MacBinary II and III. MacBinary I leaves bytes 122 to 125 zero
// and carries none; a header whose version bytes say II or later carries one.
enum class HeaderCrc { NotCarried, Matches, Wrong };
HeaderCrc CheckMacBinaryHeaderCrc(const MacBinaryHeader& header);

// Passes when every header test holds. `sourceLength` is the file's size (<= 0 when it
// cannot be told, which skips the size test).
bool IsMacBinaryHeader(const MacBinaryHeader& header, std::int64_t sourceLength);

// Where the resource fork starts: after the data fork, rounded up to 128 bytes.
std::uint64_t MacBinaryResourceOffset(std::uint32_t dataLength);
// Where the data fork starts: after the header and, in MacBinary II and III, the secondary
// header its length states, rounded up to 128 bytes.
std::uint64_t MacBinaryDataOffset(const MacBinaryHeader& header);

// Reads a MacBinary file: refused when its header cannot be read (ReadFailed) or fails the
// header test (WrongKind, without a detail); a MacBinary II or III header whose check value
// is wrong is noted as the reading's check failure. The header test lets forks run up to 128 bytes
// past the end of the file (it does not count the header); the writer tells such a source
// truncated. `header`, when given, receives the header as read.
MacFileReading ReadMacBinary(ByteSource& source, MacBinaryHeader* header = nullptr);

// The file a header that passed the test describes, its forks in `stream`: the name, the
// Finder information as far as the version carries it, the dates (none for 0), the forks.
MacFileDescription MacBinaryFileOf(const MacBinaryHeader& header, std::FILE* stream,
                                   std::span<const std::uint8_t> held = {});

}  // namespace veskar
