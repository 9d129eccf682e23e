// SPDX-License-Identifier: Apache-2.0
// Output names as a Mac client sees them through a Linux file server: the Macintosh name in
// UTF-8, stored the way Samba keeps the names a Mac client gives it (its default
// "fruit:encoding = private"): the characters Windows refuses in names moved to Unicode's
// private range, so that the Mac shows the name itself and Windows clients no mangled one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/mac_file.h"

namespace veskar {

// A name and the "._" file beside it must fit a Linux file name (255 bytes).
constexpr std::size_t kMaxServerNameBytes = 255 - 2;

// Moves the characters that Windows refuses to the private range, as a Mac client sends
// them: bytes 0x01-0x1F to U+F001-U+F01F, '"' '*' ':' '<' '>' '?' '\' '|' to U+F020-U+F027,
// and '/' (a ':' to the Mac's own system) to U+F022 as ':' is. "." and ".." become "_".
std::string ServerStoredName(std::string_view utf8);

// The same mapping alone, for the name of a stream or of an extended attribute kept as one
// (no name of those is "." or ".."): what Windows refuses, ':' among it, in the private range.
std::string PrivateRangeName(std::string_view utf8);

// The stream that keeps an extended attribute, as macOS's SMB client names it: the attribute's
// name mapped as above. nullopt, with `why` for the warning that names what was left out, when
// the name is that of a stream the Finder information or the resource fork takes (in any
// letter case, as NTFS and SMB compare them) or longer than `maxBytes` once mapped (and, for
// an NTFS stream, `maxUtf16` UTF-16 units).
std::optional<std::string> AttributeStreamName(std::string_view attributeName, std::size_t maxBytes,
                                               std::size_t maxUtf16, std::string& why);

// A name as netatalk 2 stores it: what a Linux name cannot hold, or would hide, as ':' and two
// hexadecimal digits ('/' as ":2f", a leading '.' as ":2e", and ':' itself, which a Mac name
// never holds, as ":3a"), within 255 bytes once escaped, its extension kept.
std::string Netatalk2StoredName(std::string_view utf8);
// The output name of `file` so stored.
std::string Netatalk2Name(const MacFileDescription& file, std::string_view sourcePath);

// The output name: the Macintosh name (up to its first zero byte) in UTF-8, or the last
// component of `sourcePath` when it has none; stored as above and made to fit, its extension
// kept.
std::string ServerName(const MacFileDescription& file, std::string_view sourcePath);
// The same for a Mac Roman name.
std::string ServerName(std::string_view macName, std::string_view sourcePath);
// The same cut to `maxBytes` (an NTFS name with its longest stream suffix, say).
std::string ServerName(const MacFileDescription& file, std::string_view sourcePath,
                       std::size_t maxBytes);
// Cuts a stored name to `maxBytes` between characters, keeping a short extension.
void FitStoredName(std::string& name, std::size_t maxBytes);

}  // namespace veskar
