// SPDX-License-Identifier: Apache-2.0
#include "core/read/entry_table.h"

#include <algorithm>
#include <limits>

#include "core/common/byte_order.h"
#include "core/common/byte_reader.h"
#include "core/common/import_result.h"
#include "core/common/mac_time.h"
#include "core/common/shortfall.h"
#include "platform/platform.h"

namespace veskar {

using namespace entry_table;

namespace {

// The macOS ATTR block inside a Finder information entry: after the 32 bytes of Finder
// information and 2 of padding, its header, then the attribute entries.
namespace attr {
constexpr std::size_t kHeaderAt = kFinderInfoSize + 2;
constexpr std::size_t kHeaderSize = 36;
constexpr std::array<std::uint8_t, 4> kMagic = {'A', 'T', 'T', 'R'};
constexpr std::size_t kTotalSizeAt = 8;  // in the header
constexpr std::size_t kCountAt = 34;
constexpr std::size_t kEntryFixedSize = 11;  // value offset, value length, flags, name length
// Past any real file's: a block that states more is damaged, and is read as far as this.
constexpr std::size_t kMaxAttributes = 4096;
constexpr std::uint64_t kMaxTableBytes = 1 << 20;
constexpr std::uint64_t kMaxValueBytes = 64 << 20;
// The entries that are the file's own Finder information and resource fork, never copies.
constexpr std::string_view kFinderInfoName = "com.apple.FinderInfo";
constexpr std::string_view kResourceForkName = "com.apple.ResourceFork";
}  // namespace attr

constexpr std::uint64_t kMaxCommentBytes = 32 * 1024;
constexpr std::string_view kMacintoshHome = "Macintosh";

bool HasMagic(const HeaderRead& header, std::uint32_t magic, bool eitherOrder) {
    if (header.bytesRead < kMagicSize) return false;
    return BigEndian32(&header.block[kMagicAt]) == magic ||
           (eitherOrder && LittleEndian32(&header.block[kMagicAt]) == magic);
}

// The bytes the file holds of `length` bytes at `offset`; all of them when its size cannot
// be told.
std::uint64_t HeldOf(ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    const auto size = source.Size();
    if (!size) return length;
    return offset >= *size ? 0 : std::min(length, *size - offset);
}

void NoteReadFailure(EntryTrouble& trouble, std::string_view what) {
    if (trouble.readFailure.empty()) trouble.readFailure = ReadFailure(what);
}

}  // namespace

HeaderRead ReadHeaderBlock(ByteSource& source) {
    HeaderRead header;
    const auto got = source.ReadAt(0, header.block);
    if (got)
        header.bytesRead = *got;
    else
        header.readFailure = ReadFailure("the header");
    std::fill(header.block.begin() + static_cast<std::ptrdiff_t>(header.bytesRead),
              header.block.end(), 0);
    const std::uint32_t magic = BigEndian32(&header.block[kMagicAt]);
    header.littleEndian = magic != kAppleSingleMagic && magic != kAppleDoubleMagic &&
                          (LittleEndian32(&header.block[kMagicAt]) == kAppleSingleMagic ||
                           LittleEndian32(&header.block[kMagicAt]) == kAppleDoubleMagic);
    return header;
}

bool StartsWithMagic(std::span<const std::uint8_t> head, std::uint32_t magic, bool eitherOrder) {
    return head.size() >= kMagicSize && (BigEndian32(head.data()) == magic ||
                                         (eitherOrder && LittleEndian32(head.data()) == magic));
}

bool IsAppleSingleHeader(const HeaderRead& header, bool eitherOrder) {
    return HasMagic(header, kAppleSingleMagic, eitherOrder);
}

bool IsAppleDoubleHeader(const HeaderRead& header, bool eitherOrder) {
    return HasMagic(header, kAppleDoubleMagic, eitherOrder);
}

std::vector<EntryDescriptor> ParseDescriptors(std::uint16_t entryCount,
                                              std::span<const std::uint8_t> bytes,
                                              bool littleEndian) {
    std::vector<EntryDescriptor> entries;
    ByteReader table(bytes);
    for (std::uint16_t i = 0; i < entryCount; ++i) {
        const auto record = table.Take(kDescriptorSize);
        if (!record) break;
        ByteReader fields(*record);
        const std::uint32_t id = *fields.Field32(littleEndian);
        const std::uint32_t offset = *fields.Field32(littleEndian);
        entries.push_back({id, offset, *fields.Field32(littleEndian)});
    }
    return entries;
}

std::vector<EntryDescriptor> ReadEntryTable(ByteSource& source, const HeaderRead& header,
                                            EntryTrouble& trouble) {
    NoteShortfall(trouble.shortfall, "the header", kDescriptorsAt, header.bytesRead);
    const std::uint16_t count = Field16(&header.block[kEntryCountAt], header.littleEndian);
    const std::size_t wanted = std::size_t{count} * kDescriptorSize;
    const std::size_t inBlock =
        header.bytesRead > kDescriptorsAt ? header.bytesRead - kDescriptorsAt : 0;

    std::vector<std::uint8_t> table(header.block.begin() + kDescriptorsAt,
                                    header.block.begin() + kDescriptorsAt +
                                        static_cast<std::ptrdiff_t>(std::min(wanted, inBlock)));
    // Only a full block can have more of the file behind it.
    if (wanted > inBlock && header.bytesRead == kHeaderBlockSize) {
        // No more than the file holds past the block: a short file that states 65,535
        // entries costs no 786 KB buffer.
        const std::size_t rest = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted - inBlock, HeldOf(source, kHeaderBlockSize, wanted)));
        table.resize(inBlock + rest);
        const auto got = source.ReadAt(kHeaderBlockSize, std::span(table).subspan(inBlock, rest));
        if (!got) NoteReadFailure(trouble, "the entry table");
        table.resize(inBlock + got.value_or(0));
    }
    if (header.bytesRead >= kDescriptorsAt)
        NoteShortfall(trouble.shortfall, "the entry table", wanted, table.size());
    return ParseDescriptors(count, table, header.littleEndian);
}

std::size_t ReadEntry(ByteSource& source, const EntryDescriptor& entry, std::string_view what,
                      std::span<std::uint8_t> buffer, EntryTrouble& trouble) {
    const auto got = source.ReadAt(entry.offset, buffer);
    if (!got) NoteReadFailure(trouble, what);
    NoteShortfall(trouble.shortfall, what, entry.length,
                  HeldOf(source, entry.offset, entry.length));
    return got.value_or(0);
}

std::string ReadEntryName(ByteSource& source, const EntryDescriptor& entry, EntryTrouble& trouble) {
    std::array<std::uint8_t, kMaxNameBytes> buffer{};
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(entry.length, kMaxNameBytes));
    const std::size_t got =
        ReadEntry(source, entry, "the name entry", std::span(buffer).first(wanted), trouble);
    return std::string(reinterpret_cast<const char*>(buffer.data()), got);
}

void ReadFinderInfo(ByteSource& source, const EntryDescriptor& entry, FinderInformation& finderInfo,
                    EntryTrouble& trouble, std::size_t atLeast) {
    const auto wanted = static_cast<std::size_t>(std::clamp<std::uint64_t>(
        entry.length, std::min(atLeast, finderInfo.size()), finderInfo.size()));
    ReadEntry(source, entry, "the Finder info entry", std::span(finderInfo).first(wanted), trouble);
}

namespace {

// A fixed-size entry's fields, read whole: nullopt when the file does not hold them all.
std::optional<std::vector<std::uint8_t>> ReadFixed(ByteSource& source, const EntryDescriptor& entry,
                                                   std::size_t size, std::string_view what,
                                                   EntryTrouble& trouble) {
    if (entry.length < size) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (ReadEntry(source, entry, what, bytes, trouble) < size) return std::nullopt;
    return bytes;
}

std::string ReadComment(ByteSource& source, const EntryDescriptor& entry, EntryTrouble& trouble) {
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min(entry.length, kMaxCommentBytes)));
    bytes.resize(ReadEntry(source, entry, "the comment entry", bytes, trouble));
    // Some writers keep the comment in a slot of zeros (netatalk's 200 bytes): what follows
    // the text is not part of it.
    const auto end = std::find(bytes.begin(), bytes.end(), 0);
    return std::string(bytes.begin(), end);
}

// macOS's extended attributes, from the ATTR block after the Finder information's 32 bytes.
// Every offset and length is the block's own, untrusted: an entry that does not lie within
// the file is passed over, a table that runs past the block or the file ends the reading.
void ReadAttributeBlock(ByteSource& source, const EntryDescriptor& entry,
                        std::vector<ExtendedAttribute>& attributes, EntryTrouble& trouble) {
    using namespace attr;
    if (entry.length < kHeaderAt + kHeaderSize) return;
    std::array<std::uint8_t, kHeaderSize> header{};
    if (const auto got = source.ReadAt(entry.offset + kHeaderAt, header); !got) {
        NoteReadFailure(trouble, "the extended attributes");
        return;
    } else if (*got < header.size() || !std::equal(kMagic.begin(), kMagic.end(), header.begin())) {
        return;
    }
    const std::size_t count = std::min<std::size_t>(BigEndian16(&header[kCountAt]), kMaxAttributes);
    const std::uint64_t tableAt = entry.offset + kHeaderAt + kHeaderSize;
    const std::uint64_t entryEnd = entry.offset + entry.length;
    const std::uint64_t total = BigEndian32(&header[kTotalSizeAt]);
    const std::uint64_t fileSize = source.Size().value_or(entryEnd);
    if (count == 0 || tableAt >= entryEnd) return;
    std::vector<std::uint8_t> table(
        static_cast<std::size_t>(std::min(entryEnd - tableAt, kMaxTableBytes)));
    table.resize(source.ReadAt(tableAt, table).value_or(0));
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ByteReader fields{std::span<const std::uint8_t>(table).subspan(std::min(at, table.size()))};
        const auto offset = fields.Big32();
        const auto length = fields.Big32();
        fields.Take(2);  // flags
        const auto nameLength = fields.Byte();
        const auto name = nameLength ? fields.Take(*nameLength) : std::nullopt;
        if (!name) {
            NoteShortfall(trouble.shortfall, "the extended attributes' table", count, i);
            return;
        }
        // Each entry starts on a multiple of 4 of the file's offsets.
        const std::uint64_t next = (tableAt + at + kEntryFixedSize + *nameLength + 3) & ~3ULL;
        at = static_cast<std::size_t>(next - tableAt);
        // The name counts its terminating zero; without one it is not a name.
        if (name->empty() || name->back() != 0) continue;
        const std::string text(reinterpret_cast<const char*>(name->data()), name->size() - 1);
        if (text.empty() || text == kFinderInfoName || text == kResourceForkName) continue;
        // Lengths from the block: capped, and within the file and the block's stated end.
        const std::uint64_t end = std::uint64_t{*offset} + *length;
        if (*length > kMaxValueBytes || end > fileSize || (total != 0 && end > total)) {
            NoteShortfall(trouble.shortfall, "the extended attribute " + text, *length, 0);
            continue;
        }
        ExtendedAttribute attribute{text, std::vector<std::uint8_t>(*length)};
        const auto got = source.ReadAt(*offset, attribute.value);
        if (!got || *got < *length) {
            if (!got) NoteReadFailure(trouble, "the extended attribute " + text);
            continue;
        }
        attributes.push_back(std::move(attribute));
    }
}

}  // namespace

ForkEntries ReadFileEntries(ByteSource& source, const HeaderRead& header,
                            const std::vector<EntryDescriptor>& entries, MacFileDescription& file,
                            EntryTrouble& trouble, const EntryOptions& options) {
    const bool little = header.littleEndian;
    const bool version1 = Field32(&header.block[kVersionAt], little) == kVersion1;
    const std::string_view home(reinterpret_cast<const char*>(&header.block[kHomeFileSystemAt]),
                                kHomeFileSystemSize);
    ForkEntries forks;
    for (const EntryDescriptor& entry : entries) {
        switch (entry.id) {
            case kDataForkId:
                forks.data = entry;
                forks.dataSeen = true;
                break;
            case kResourceForkId:
                forks.resource = entry;
                break;
            case kRealNameId:
                file.name = ReadEntryName(source, entry, trouble);
                file.nameCoding = options.utf8Names && LooksLikeUtf8(file.name)
                                      ? NameCoding::Utf8
                                      : NameCoding::MacRoman;
                break;
            case kCommentId:
                file.comment = ReadComment(source, entry, trouble);
                break;
            case kFileInfoId:
                // Version 1's Macintosh form: created, modified, backed up (1904), attributes.
                if (version1 && home.starts_with(kMacintoshHome))
                    if (const auto bytes =
                            ReadFixed(source, entry, 16, "the file info entry", trouble)) {
                        file.dates.created = mac_time::From1904(Field32(&(*bytes)[0], little));
                        file.dates.modified = mac_time::From1904(Field32(&(*bytes)[4], little));
                        file.dates.backedUp = mac_time::From1904(Field32(&(*bytes)[8], little));
                        file.macAttributes = Field32(&(*bytes)[12], little);
                    }
                break;
            case kFileDatesId:
                if (const auto bytes =
                        ReadFixed(source, entry, 12, "the file dates entry", trouble)) {
                    file.dates.created = mac_time::From2000(Field32(&(*bytes)[0], little));
                    file.dates.modified = mac_time::From2000(Field32(&(*bytes)[4], little));
                    file.dates.backedUp = mac_time::From2000(Field32(&(*bytes)[8], little));
                }
                break;
            case kFinderInfoId:
                ReadFinderInfo(source, entry, file.finderInfo, trouble, options.finderInfoAtLeast);
                file.extendedAttributes.clear();
                ReadAttributeBlock(source, entry, file.extendedAttributes, trouble);
                break;
            case kAfpFileInfoId:
                // AFP's write-inhibit bit is the Finder's lock.
                if (const auto bytes =
                        ReadFixed(source, entry, 4, "the AFP file info entry", trouble)) {
                    constexpr std::uint32_t kWriteInhibit = 1u << 5;
                    const bool locked = Field32(bytes->data(), little) & kWriteInhibit;
                    file.macAttributes = locked ? mac_attributes::kLocked : 0;
                }
                break;
            case kMacFileInfoId:
                if (const auto bytes =
                        ReadFixed(source, entry, 4, "the Macintosh file info entry", trouble))
                    file.macAttributes = Field32(bytes->data(), little);
                break;
            default:
                break;
        }
    }
    return forks;
}

ForkPlace PlaceFork(ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t held = HeldOf(source, offset, length);
    // A fork is copied with a 32-bit count. Entry lengths are 32-bit fields anyway; the one
    // longer length, a data file's own size, is refused by its caller before it gets here.
    const auto fitted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(held, std::numeric_limits<std::uint32_t>::max()));
    return ForkPlace{source.Stream(), offset, fitted, length, source.Held()};
}

}  // namespace veskar
