// SPDX-License-Identifier: Apache-2.0
#include "tests/apple_encoder.h"

#include <algorithm>

namespace veskar {

namespace {

constexpr std::size_t kHeaderSize = 26;
constexpr std::size_t kDescriptorSize = 12;

Bytes Encode(std::uint32_t magic, const std::vector<AppleEntry>& entries,
             const AppleLayout& layout) {
    Bytes out(kHeaderSize + kDescriptorSize * entries.size(), 0);
    auto put32 = [&out, &layout](std::size_t at, std::uint32_t value) {
        PutBigEndian32(out, at, value);
        if (layout.littleEndian) std::reverse(out.begin() + at, out.begin() + at + 4);
    };
    put32(0, magic);
    put32(4, layout.version);
    if (!layout.homeFileSystem.empty()) {
        const std::string padded = (layout.homeFileSystem + std::string(16, ' ')).substr(0, 16);
        std::copy(padded.begin(), padded.end(), out.begin() + 8);
    }
    PutBigEndian16(out, 24, layout.entryCount.value_or(static_cast<std::uint16_t>(entries.size())));
    if (layout.littleEndian) std::swap(out[24], out[25]);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = kHeaderSize + kDescriptorSize * i;
        put32(at, entries[i].id);
        put32(at + 4, entries[i].offset.value_or(static_cast<std::uint32_t>(out.size())));
        put32(at + 8,
              entries[i].length.value_or(static_cast<std::uint32_t>(entries[i].bytes.size())));
        out.insert(out.end(), entries[i].bytes.begin(), entries[i].bytes.end());
    }
    return out;
}

void Append(Bytes& out, std::initializer_list<std::uint32_t> words) {
    for (std::uint32_t word : words) {
        out.resize(out.size() + 4);
        PutBigEndian32(out, out.size() - 4, word);
    }
}

}  // namespace

Bytes EncodeAppleSingle(const std::vector<AppleEntry>& entries, const AppleLayout& layout) {
    return Encode(0x00051600, entries, layout);
}

Bytes EncodeAppleDouble(const std::vector<AppleEntry>& entries, const AppleLayout& layout) {
    return Encode(0x00051607, entries, layout);
}

std::vector<AppleEntry> With(std::vector<AppleEntry> entries, const std::vector<AppleEntry>& more) {
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

Bytes FinderInfo(const std::string& typeCreator) {
    Bytes info = TypeCreatorBytes(typeCreator);
    info.resize(32, 0);
    return info;
}

Bytes EncodeMacOsCompanion(const MacOsCompanion& companion) {
    constexpr std::uint32_t kFinderInfoAt = 50;  // after the header and two descriptors
    constexpr std::uint32_t kAttributesAt = 84;  // after the Finder info, aligned to 4
    constexpr std::uint32_t kAttributeHeaderSize = 36;
    constexpr std::uint32_t kCompanionSize = 4096;
    const auto resourceAt = static_cast<std::uint32_t>(kCompanionSize - companion.resource.size());

    // The attribute block: a header, a table of entries (value offset, value length, two
    // bytes of flags, one of name length, the name with its zero, each aligned to 4), then
    // the values one after the other.
    std::uint32_t tableSize = 0;
    for (const auto& [name, value] : companion.attributes)
        tableSize += static_cast<std::uint32_t>((11 + name.size() + 1 + 3) / 4 * 4);
    const std::uint32_t valuesAt = kAttributesAt + kAttributeHeaderSize + tableSize;
    std::uint32_t valuesSize = 0;
    for (const auto& [name, value] : companion.attributes)
        valuesSize += static_cast<std::uint32_t>(value.size());

    Bytes block = FinderInfo(companion.typeCreator);
    block.resize(kAttributesAt - kFinderInfoAt, 0);
    Append(block, {0x41545452, 0x00004AED, resourceAt, valuesAt, valuesSize, 0, 0, 0,
                   static_cast<std::uint32_t>(companion.attributes.size())});
    std::uint32_t valueAt = valuesAt;
    for (const auto& [name, value] : companion.attributes) {
        const auto size = static_cast<std::uint32_t>(value.size());
        Append(block, {valueAt, size, static_cast<std::uint32_t>(name.size() + 1) << 8});
        block.pop_back();  // two bytes of flags and one of name length, not four
        block.insert(block.end(), name.begin(), name.end());
        const std::size_t end = kFinderInfoAt + block.size() + 1;  // the name's zero
        block.resize((end + 3) / 4 * 4 - kFinderInfoAt, 0);
        valueAt += size;
    }
    for (const auto& [name, value] : companion.attributes)
        block.insert(block.end(), value.begin(), value.end());
    block.resize(resourceAt - kFinderInfoAt, 0);
    block.insert(block.end(), companion.resource.begin(), companion.resource.end());

    // The bytes lie Finder info first, resource fork last, whichever descriptor comes first.
    std::vector<AppleEntry> entries = {
        {apple_fixtures::kFinderInfo, kFinderInfoAt, resourceAt - kFinderInfoAt},
        {apple_fixtures::kResourceFork, resourceAt,
         static_cast<std::uint32_t>(companion.resource.size())}};
    if (companion.resourceDescriptorFirst) std::swap(entries[0], entries[1]);
    entries.back().bytes = block;
    return EncodeAppleDouble(entries, {apple_fixtures::kVersion2, "Mac OS X", std::nullopt});
}

Bytes TypeCreatorBytes(const std::string& text) {
    Bytes out(8, 0);
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 8), out.begin());
    return out;
}

}  // namespace veskar
