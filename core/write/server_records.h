// SPDX-License-Identifier: Apache-2.0
// The records in which Mac file servers on Linux keep what NTFS keeps in streams: the "._"
// AppleDouble file that macOS writes on foreign volumes (and Samba and netatalk read), and
// the metadata attribute of netatalk, which Samba's Mac support reads by default. All
// numbers big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/import_report.h"

namespace veskar {

namespace apple_double {
// The header and entry table macOS writes: the Finder information entry, then the resource
// fork, which runs to the end of the file.
constexpr std::size_t kFinderInfoAt = 0x32;
constexpr std::size_t kResourceAt = 0x52;
constexpr std::size_t kResourceLengthAt = 38 + 8;  // in the second descriptor
}  // namespace apple_double

using AppleDoubleHeader = std::array<std::uint8_t, apple_double::kResourceAt>;

// The "._" file's bytes before its resource fork of `resourceLength` bytes. The filler is
// "Mac OS X": Samba takes the Finder information only from a file that carries it.
AppleDoubleHeader MakeAppleDoubleHeader(const FinderInformation& finderInfo,
                                        std::uint32_t resourceLength);

namespace netatalk {
constexpr std::size_t kMetadataSize = 402;
constexpr std::size_t kFinderInfoAt = 122;
// The attribute's name in Linux's user namespace (without "user.").
constexpr const char* kMetadataAttribute = "org.netatalk.Metadata";
}  // namespace netatalk

using NetatalkMetadata = std::array<std::uint8_t, netatalk::kMetadataSize>;

// The attribute as netatalk writes it: eight entries in ascending id order, the Finder
// information, an empty comment, the dates (created, modified and accessed at
// `unixSeconds`; never backed up) and zero AFP file information.
NetatalkMetadata MakeNetatalkMetadata(const FinderInformation& finderInfo,
                                      std::int64_t unixSeconds);

}  // namespace veskar
