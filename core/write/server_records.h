// SPDX-License-Identifier: Apache-2.0
// The records in which Mac file servers on Linux keep what NTFS keeps in streams: the "._"
// AppleDouble file that macOS writes on foreign volumes (and Samba and netatalk read), and
// the metadata attribute of netatalk, which Samba's Mac support reads by default. All
// numbers big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/import_report.h"
#include "core/mac_file.h"

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

// The same as macOS writes it for a file with extended attributes: the Finder information
// entry goes on past its 32 bytes with the ATTR block (its header, an entry a name, each on a
// multiple of 4, then the values one after another; an empty value at offset 0), and the
// resource fork follows it; without a fork, the empty resource map macOS writes is the fork,
// and ends the bytes returned. Without attributes, the header above. An attribute whose name
// the block cannot hold (FitsAttributeBlock) is left out.
std::vector<std::uint8_t> MakeAppleDoubleHeader(const FinderInformation& finderInfo,
                                                std::uint32_t resourceLength,
                                                const std::vector<ExtendedAttribute>& attributes);
// The block names an attribute in at most 254 bytes, after a length byte that counts its zero.
bool FitsAttributeBlock(const ExtendedAttribute& attribute);
// The warnings that name the attributes the block leaves out.
void NoteAttributesLeftOut(const std::vector<ExtendedAttribute>& attributes,
                           std::vector<std::string>& warnings);

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
// The same with the file's own dates (those it lacks: created and modified `now`, never
// backed up; accessed `now`) and its comment (at most the 200 bytes of netatalk's slot).
NetatalkMetadata MakeNetatalkMetadata(const FinderInformation& finderInfo, const MacDates& dates,
                                      std::string_view comment, std::int64_t now);

namespace netatalk2 {
// The header netatalk 2 keeps in ".AppleDouble/NAME": 13 entries, the resource fork last at
// this offset.
constexpr std::size_t kHeaderSize = 741;
constexpr const char* kFolder = ".AppleDouble";
constexpr const char* kParent = ".Parent";  // a folder's own, inside its ".AppleDouble"
}  // namespace netatalk2

// The header as netatalk 2 writes it, in its order: the name (UTF-8, in a 255-byte slot), the
// comment (200), the dates (a creation date missing unknown, a modification date `now`), the Finder
// information, the directory id, the AFP file information (the lock as AFP's write-inhibit bit),
// the short name, ProDOS information, netatalk's device, inode, sync and id entries (zero: netatalk
// fills them in when it first opens the file), and the resource fork of `resourceLength` bytes,
// which follows these bytes.
std::vector<std::uint8_t> MakeNetatalk2Header(const FinderInformation& finderInfo,
                                              const MacFileDescription& file,
                                              std::string_view macName,
                                              std::uint32_t resourceLength, std::int64_t now);

namespace samba {
// Samba's record of a file's DOS attributes and creation time, which it serves to SMB clients
// as the creation time: version 5 of its NDR-encoded xattr_DOSATTRIB, 24 bytes, little-endian.
constexpr const char* kDosAttributes = "DOSATTRIB";  // in Linux's user namespace
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kFolder = 0x10;
}  // namespace samba

using DosAttributes = std::array<std::uint8_t, 24>;
DosAttributes MakeDosAttributes(std::uint32_t attributes, std::int64_t created);

}  // namespace veskar
