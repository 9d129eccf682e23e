// SPDX-License-Identifier: Apache-2.0
#include "core/read/entry_table.h"

#include <algorithm>
#include <limits>

#include "core/common/byte_order.h"
#include "core/common/byte_reader.h"
#include "core/common/import_result.h"
#include "core/common/shortfall.h"
#include "platform/platform.h"

namespace veskar {

using namespace entry_table;

namespace {

std::uint32_t MagicOf(const HeaderBlock& block) {
    return Swap32(RawField32(&block[kMagicAt]));
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
    return header;
}

bool StartsWithMagic(std::span<const std::uint8_t> head, std::uint32_t magic) {
    return head.size() >= kMagicSize && Swap32(RawField32(head.data())) == magic;
}

bool IsAppleSingleHeader(const HeaderBlock& block) {
    return MagicOf(block) == kAppleSingleMagic;
}

bool IsAppleDoubleHeader(const HeaderBlock& block) {
    return MagicOf(block) == kAppleDoubleMagic;
}

std::vector<EntryDescriptor> ParseDescriptors(std::uint16_t entryCount,
                                              std::span<const std::uint8_t> bytes) {
    std::vector<EntryDescriptor> entries;
    ByteReader table(bytes);
    for (std::uint16_t i = 0; i < entryCount; ++i) {
        const auto record = table.Take(kDescriptorSize);
        if (!record) break;
        ByteReader fields(*record);
        entries.push_back({*fields.Big32(), *fields.Big32(), *fields.Big32()});
    }
    return entries;
}

std::vector<EntryDescriptor> ReadEntryTable(ByteSource& source, const HeaderRead& header,
                                            EntryTrouble& trouble) {
    NoteShortfall(trouble.shortfall, "the header", kDescriptorsAt, header.bytesRead);
    const std::uint16_t count = Swap16(RawField16(&header.block[kEntryCountAt]));
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
    return ParseDescriptors(count, table);
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

ForkPlace PlaceFork(ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t held = HeldOf(source, offset, length);
    // A fork is copied with a 32-bit count. Entry lengths are 32-bit fields anyway; the one
    // longer length, a data file's own size, is refused by its caller before it gets here.
    const auto fitted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(held, std::numeric_limits<std::uint32_t>::max()));
    return ForkPlace{source.Stream(), offset, fitted, length, source.Held()};
}

}  // namespace veskar
