// SPDX-License-Identifier: Apache-2.0
// BinHex 4.0: the text that marks it, where its data starts, and the layout of the bytes
// it encodes. The first link of the BinHex chain: the passes, the check values, the staging
// file and the import build on it, and it includes none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veskar {

namespace binhex {

// The text that marks a BinHex 4.0 file; the parentheses round it on its line are not part of
// the comparison.
constexpr std::string_view kIdentification = "This file must be converted with BinHex 4.0";
// Only the first bytes are looked at, so a file that merely quotes the line further down
// (a mail message about BinHex, say) is not taken for one.
constexpr std::size_t kProbeBytes = 128;

// The expanded stream: the name length, the name, then this record, the data fork, its
// two-byte check value, the resource fork and its check value. Big-endian throughout.
namespace expanded {
constexpr std::size_t kRecordSize = 21;
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kTypeCreatorAt = 1;
constexpr std::size_t kFinderFlagsAt = 9;
constexpr std::size_t kDataLengthAt = 11;
constexpr std::size_t kResourceLengthAt = 15;
constexpr std::size_t kHeaderCheckAt = 19;
constexpr std::size_t kForkCheckSize = 2;
}  // namespace expanded

// True when the identification text stands in `head` before its first zero byte.
bool HasIdentification(std::span<const std::uint8_t> head);

}  // namespace binhex

// Probes the first 128 bytes of the open source; leaves it at its first byte. After a read
// that failed it is false, and the stream's error indicator is set.
bool IsBinHexFile(std::FILE* source);

namespace binhex {

enum class Start {
    // The window's rule: the identification text within the first 128 bytes, the data from
    // the first colon of the text, wherever it stands.
    FirstColon,
    // Mail and news: the identification text within the first 64 KiB, the data from the
    // first colon that begins a line after the identification line. Header lines such as
    // "Date: ..." carry colons of their own and may run past 128 bytes.
    LineAfterIdentification,
};
constexpr std::size_t kMailProbeBytes = 64 * 1024;

// The offset from which pass 1 reads (it starts at the first colon from there), or nullopt
// when the text is not BinHex by `rule`. A text with no such colon gives its length, so that
// nothing is decoded. Leaves the stream at an unspecified position. When a read fails, the
// result is nullopt and `readFailure` (when given) says why.
std::optional<std::uint64_t> FindDataStart(std::FILE* source, Start rule,
                                           std::string* readFailure = nullptr);

}  // namespace binhex

}  // namespace veskar
