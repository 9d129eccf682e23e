#include "containers/entry_table.h"

#include <algorithm>
#include <limits>

#include "containers/byte_order.h"
#include "containers/mac_to_ansi.h"
#include "containers/shortfall.h"
#include "platform/platform.h"

using namespace entry_table;

namespace {

// Reads big-endian fields off the front of a span; every read first checks that the bytes
// are there, so a table cut short ends the walk instead of reading past it.
class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Remaining() const { return bytes_.size() - at_; }
    bool Has(std::uint64_t count) const { return count <= Remaining(); }
    std::span<const std::uint8_t> Take(std::size_t count) {
        const auto taken = bytes_.subspan(at_, count);
        at_ += count;
        return taken;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

std::uint32_t Field32(std::span<const std::uint8_t> record, std::size_t at) {
    return Swap32(RawField32(record.subspan(at, 4).data()));
}

std::uint32_t MagicOf(const HeaderBlock& block) {
    return Swap32(RawField32(&block[kMagicAt]));
}

// The bytes the file holds of `length` bytes at `offset`; all of them when its size cannot
// be told.
std::uint64_t HeldOf(std::FILE* source, std::uint64_t offset, std::uint64_t length) {
    const auto size = platform::StreamSize(source);
    if (!size) return length;
    return offset >= *size ? 0 : std::min(length, *size - offset);
}

void NoteReadFailure(EntryTrouble& trouble, std::string_view what) {
    if (trouble.readFailure.empty()) trouble.readFailure = ReadFailure(what);
}

}  // namespace

HeaderRead ReadHeaderBlock(std::FILE* source) {
    HeaderRead header;
    const bool atStart = platform::Seek(source, 0);
    if (atStart) header.bytesRead = std::fread(header.block.data(), 1, header.block.size(), source);
    if (!atStart || std::ferror(source)) header.readFailure = ReadFailure("the header");
    // After a read error fread may have written part of the buffer; it must read as zero.
    std::fill(header.block.begin() + static_cast<std::ptrdiff_t>(header.bytesRead),
              header.block.end(), 0);
    return header;
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
    Cursor cursor(bytes);
    for (std::uint16_t i = 0; i < entryCount && cursor.Has(kDescriptorSize); ++i) {
        const auto record = cursor.Take(kDescriptorSize);
        entries.push_back({Field32(record, kDescriptorIdAt), Field32(record, kDescriptorOffsetAt),
                           Field32(record, kDescriptorLengthAt)});
    }
    return entries;
}

std::vector<EntryDescriptor> ReadEntryTable(std::FILE* source, const HeaderRead& header,
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
        const std::size_t rest = wanted - inBlock;
        table.resize(inBlock + rest);
        const auto got = ReadAt(source, kHeaderBlockSize, table.data() + inBlock, rest);
        if (!got) NoteReadFailure(trouble, "the entry table");
        table.resize(inBlock + got.value_or(0));
    }
    if (header.bytesRead >= kDescriptorsAt)
        NoteShortfall(trouble.shortfall, "the entry table", wanted, table.size());
    return ParseDescriptors(count, table);
}

std::optional<std::size_t> ReadAt(std::FILE* source, std::uint64_t offset, std::uint8_t* buffer,
                                  std::size_t count) {
    if (count == 0) return 0;
    if (!platform::Seek(source, offset)) return std::nullopt;
    // Read aside first: after a short read the C library leaves no promise about the bytes
    // of the destination it did not fill.
    std::array<std::uint8_t, 512> aside;
    std::size_t total = 0;
    while (total < count) {
        const std::size_t wanted = std::min(count - total, aside.size());
        const std::size_t got = std::fread(aside.data(), 1, wanted, source);
        if (std::ferror(source)) return std::nullopt;
        std::copy_n(aside.begin(), got, buffer + total);
        total += got;
        if (got < wanted) break;
    }
    return total;
}

std::size_t ReadEntry(std::FILE* source, const EntryDescriptor& entry, std::string_view what,
                      std::uint8_t* buffer, std::size_t count, EntryTrouble& trouble) {
    const auto got = ReadAt(source, entry.offset, buffer, count);
    if (!got) NoteReadFailure(trouble, what);
    NoteShortfall(trouble.shortfall, what, entry.length,
                  HeldOf(source, entry.offset, entry.length));
    return got.value_or(0);
}

std::string ReadEntryName(std::FILE* source, const EntryDescriptor& entry, EntryTrouble& trouble) {
    std::array<std::uint8_t, kMaxNameBytes> buffer{};
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(entry.length, kMaxNameBytes));
    const std::size_t got =
        ReadEntry(source, entry, "the name entry", buffer.data(), wanted, trouble);
    return std::string(reinterpret_cast<const char*>(buffer.data()), got);
}

ForkPlace PlaceFork(std::FILE* source, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t held = HeldOf(source, offset, length);
    // A fork is copied with a 32-bit count. Entry lengths are 32-bit fields anyway; the one
    // longer length, a data file's own size, is refused by its caller before it gets here.
    const auto fitted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(held, std::numeric_limits<std::uint32_t>::max()));
    return ForkPlace{source, offset, fitted, length};
}

std::string OwnFileName(std::string_view sourcePath) {
    const std::string_view native = sourcePath.substr(platform::FileNameStart(sourcePath));
    if (auto ansi = platform::NativeToAnsi(native)) return *ansi;
    // Characters that code page 1252 cannot hold have no 8-bit form. Every byte of them (all
    // of a multi-byte sequence is 0x80 or above) becomes '_', so the name keeps its ASCII
    // part and its extension, and no stray 1252 character stands for a byte of UTF-8.
    std::string ansi(native);
    for (char& c : ansi)
        if (static_cast<unsigned char>(c) >= 0x80) c = '_';
    return ansi;
}

std::string OutputNameFor(std::string_view macName, std::string_view sourcePath) {
    const std::string_view beforeZero = macName.substr(0, macName.find('\0'));
    if (!beforeZero.empty()) return MacToAnsiName(beforeZero);
    return OwnFileName(sourcePath);
}
