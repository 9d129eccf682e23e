// SPDX-License-Identifier: Apache-2.0
// An encoder for AppleSingle and AppleDouble files from the published layout (a 26-byte
// header, a 12-byte descriptor per entry, then the entries' bytes), with offsets, lengths and
// the count open to override for damaged and hostile files. It needs only the standard
// library, so that the build machine's fixture tool uses it too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/mac_fixtures.h"

namespace veskar {

namespace apple_fixtures {
constexpr std::uint32_t kDataFork = 1, kResourceFork = 2, kRealName = 3, kFileInfo = 7,
                        kFinderInfo = 9;
constexpr std::uint32_t kVersion1 = 0x00010000, kVersion2 = 0x00020000;
}  // namespace apple_fixtures

struct AppleEntry {
    AppleEntry(std::uint32_t entryId, Bytes entryBytes)
        : id(entryId), bytes(std::move(entryBytes)) {}
    // The descriptor states this place instead of where the bytes really are.
    AppleEntry(std::uint32_t entryId, std::uint32_t statedOffset, std::uint32_t statedLength)
        : id(entryId), offset(statedOffset), length(statedLength) {}
    std::uint32_t id;
    Bytes bytes;
    std::optional<std::uint32_t> offset, length;
};

struct AppleLayout {
    std::uint32_t version = apple_fixtures::kVersion2;
    std::string homeFileSystem{};               // space-padded to 16 bytes; zeros when empty
    std::optional<std::uint16_t> entryCount{};  // the true count when not given
    bool littleEndian = false;  // every field of the header and table, as a faulty tool wrote
};

// The entries' bytes follow the descriptors in the order given.
Bytes EncodeAppleSingle(const std::vector<AppleEntry>& entries, const AppleLayout& layout = {});
Bytes EncodeAppleDouble(const std::vector<AppleEntry>& entries, const AppleLayout& layout = {});
std::vector<AppleEntry> With(std::vector<AppleEntry> entries, const std::vector<AppleEntry>& more);

// 32 bytes of Finder info: the type and creator, then zeros.
Bytes FinderInfo(const std::string& typeCreator);

// A companion as macOS writes it (and zip archives carry under __MACOSX/): home file system
// "Mac OS X", entry 9 holding the 32 bytes of Finder info, 2 bytes of padding and an "ATTR"
// extended-attribute block, then the resource fork ending the 4096 bytes.
struct MacOsCompanion {
    std::string typeCreator = "TEXTttxt";  // zero-padded to 8; the rest of the 32 are zero
    Bytes resource;
    bool resourceDescriptorFirst = false;  // the bytes lie in the same order either way
    std::vector<std::pair<std::string, Bytes>> attributes = {
        {"com.apple.quarantine", BytesOf("0081;5f3c1a2b;Safari;")}};
};
Bytes EncodeMacOsCompanion(const MacOsCompanion& companion);

Bytes TypeCreatorBytes(const std::string& text);  // zero-padded to 8

}  // namespace veskar
