// SPDX-License-Identifier: Apache-2.0
// The header that AppleSingle and AppleDouble files share: a magic number, a version, 16
// bytes naming the home file system, an entry count and that many 12-byte descriptors, each
// placing one entry (a fork, the name, the Finder info...) by offset and length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/byte_source.h"
#include "core/mac_file.h"

namespace veskar {

namespace entry_table {
// The header block is the first 256 bytes of the file; the fields below all lie in it.
constexpr std::size_t kHeaderBlockSize = 256;
constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kMagicSize = 4;
// Version 1 and version 2 files are read alike but for version 1's file information entry,
// whose form the home file system (16 bytes at 8: "Macintosh", "ProDOS", ...) tells; macOS
// writes "Mac OS X" there where others write zeros.
constexpr std::size_t kVersionAt = 4;
constexpr std::uint32_t kVersion1 = 0x00010000;
constexpr std::size_t kHomeFileSystemAt = 8;
constexpr std::size_t kHomeFileSystemSize = 16;
constexpr std::size_t kEntryCountAt = 24;
constexpr std::size_t kDescriptorsAt = 26;
constexpr std::size_t kDescriptorSize = 12;
constexpr std::size_t kDescriptorIdAt = 0;
constexpr std::size_t kDescriptorOffsetAt = 4;
constexpr std::size_t kDescriptorLengthAt = 8;
// Whole descriptors that fit in the block; the rest of a longer table is read from the file.
constexpr std::size_t kDescriptorsInBlock = (kHeaderBlockSize - kDescriptorsAt) / kDescriptorSize;

constexpr std::uint32_t kAppleSingleMagic = 0x00051600;
constexpr std::uint32_t kAppleDoubleMagic = 0x00051607;

// The entries the imports carry; every other id is skipped.
constexpr std::uint32_t kDataForkId = 1;
constexpr std::uint32_t kResourceForkId = 2;
constexpr std::uint32_t kRealNameId = 3;
constexpr std::uint32_t kCommentId = 4;
constexpr std::uint32_t kFileInfoId = 7;  // version 1: dates and attributes
constexpr std::uint32_t kFileDatesId = 8;
constexpr std::uint32_t kFinderInfoId = 9;
constexpr std::uint32_t kMacFileInfoId = 10;
constexpr std::uint32_t kAfpFileInfoId = 14;  // AFP's attribute word (netatalk)

constexpr std::size_t kMaxNameBytes = 255;
}  // namespace entry_table

using HeaderBlock = std::array<std::uint8_t, entry_table::kHeaderBlockSize>;

// The block and how many of its bytes came from the file (the rest are zero), with the byte
// order its magic number tells: a faulty macOS tool wrote AppleSingle files whose every field
// is little-endian (magic 00 16 05 00).
struct HeaderRead {
    HeaderBlock block{};
    std::size_t bytesRead = 0;
    std::string readFailure;  // why the read failed; empty when it did not
    bool littleEndian = false;
};

// Reads the block from the start of `source`.
HeaderRead ReadHeaderBlock(ByteSource& source);

// What reading a file's table and entries met beyond the bytes themselves.
struct EntryTrouble {
    std::string readFailure;  // why the first read that failed did; empty while none has
    // Each part the file ends before ("the name entry lacks 5 of its 14 bytes"); empty when
    // the file holds all it states.
    std::string shortfall;
};

// Only the magic number decides (in either byte order when `eitherOrder`, else big-endian
// alone); a block read from fewer than 4 bytes is neither.
bool IsAppleSingleHeader(const HeaderRead& header, bool eitherOrder = false);
bool IsAppleDoubleHeader(const HeaderRead& header, bool eitherOrder = false);
// Whether a file's first bytes, however few, start with `magic` (or, with `eitherOrder`, with
// it written little-endian).
bool StartsWithMagic(std::span<const std::uint8_t> head, std::uint32_t magic,
                     bool eitherOrder = false);

struct EntryDescriptor {
    std::uint32_t id = 0;
    // Wider than the fields so that offset + length never wraps.
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The descriptors in file order, every one the count announces, as long as whole
// descriptors remain in `bytes` (the file from kDescriptorsAt on).
std::vector<EntryDescriptor> ParseDescriptors(std::uint16_t entryCount,
                                              std::span<const std::uint8_t> bytes,
                                              bool littleEndian = false);

// The whole table of a file: the descriptors inside the block come from it, those past it
// from `source`. A count that runs past the end of the file yields the whole descriptors,
// and a header or table that the file ends in is noted in `trouble`.
std::vector<EntryDescriptor> ReadEntryTable(ByteSource& source, const HeaderRead& header,
                                            EntryTrouble& trouble);

// Reads up to `buffer.size()` bytes of the entry called `what` ("the Finder info entry") as
// ByteSource::ReadAt does, noting in `trouble` a failed read and an entry that runs past the
// end of the file; the bytes read. Bytes of `buffer` past those read keep what they held, so
// a later entry that is cut short by the end of the file overwrites only as much of an
// earlier one as it has.
std::size_t ReadEntry(ByteSource& source, const EntryDescriptor& entry, std::string_view what,
                      std::span<std::uint8_t> buffer, EntryTrouble& trouble);

// The name entry's bytes, at most 255 of them, as far as the file holds them; read as
// ReadEntry does.
std::string ReadEntryName(ByteSource& source, const EntryDescriptor& entry, EntryTrouble& trouble);

// Reads the Finder info entry into `finderInfo`: as many leading bytes as the entry has, at
// most 32 (macOS writes a far longer entry, an extended-attribute block after the 32 bytes),
// but at least `atLeast` of them whatever length the entry states.
void ReadFinderInfo(ByteSource& source, const EntryDescriptor& entry, FinderInformation& finderInfo,
                    EntryTrouble& trouble, std::size_t atLeast = 0);

// How the entries of a file are read.
struct EntryOptions {
    // Finder information bytes read whatever length the entry states (AppleDouble: its first 8,
    // the type and creator, since macOS makes the entry far longer).
    std::size_t finderInfoAtLeast = 0;
    // A name that reads as UTF-8 with characters of several bytes is taken as UTF-8 (macOS's
    // own applesingle tool writes names so); otherwise every name is Mac Roman.
    bool utf8Names = false;
};

// The descriptors of the two forks, as the file states them.
struct ForkEntries {
    EntryDescriptor data;
    EntryDescriptor resource;
    bool dataSeen = false;
};

// Reads every entry the description holds into `file`, in file order (a later descriptor of
// an id overriding an earlier): the real name (3), the comment (4), version 1's Macintosh file
// information (7: dates, attributes), the file dates (8), the Finder information (9) with, in
// the files macOS writes, the ATTR block of extended attributes after its 32 bytes, the
// Macintosh file information (10). The forks' descriptors are the caller's.
ForkEntries ReadFileEntries(ByteSource& source, const HeaderRead& header,
                            const std::vector<EntryDescriptor>& entries, MacFileDescription& file,
                            EntryTrouble& trouble, const EntryOptions& options);

// Where a fork lies, its length cut to what the file holds past its offset: a fork that
// starts beyond the end is empty, so no empty AFP_Resource stream is made for it. The length
// given stays the stated one, for the writer to tell a truncated source.
ForkPlace PlaceFork(ByteSource& source, std::uint64_t offset, std::uint64_t length);

}  // namespace veskar
