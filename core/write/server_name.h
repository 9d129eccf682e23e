// SPDX-License-Identifier: Apache-2.0
// Output names as a Mac client sees them through a Linux file server: the Macintosh name in
// UTF-8, stored the way Samba keeps the names a Mac client gives it (its default
// "fruit:encoding = private"): the characters Windows refuses in names moved to Unicode's
// private range, so that the Mac shows the name itself and Windows clients no mangled one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veskar {

// A name and the "._" file beside it must fit a Linux file name (255 bytes).
constexpr std::size_t kMaxServerNameBytes = 255 - 2;

// Moves the characters that Windows refuses to the private range, as a Mac client sends
// them: bytes 0x01-0x1F to U+F001-U+F01F, '"' '*' ':' '<' '>' '?' '\' '|' to U+F020-U+F027,
// and '/' (a ':' to the Mac's own system) to U+F022 as ':' is. "." and ".." become "_".
std::string ServerStoredName(std::string_view utf8);

// The output name: the Macintosh name (Mac Roman, up to its first zero byte) in UTF-8, or the
// last component of `sourcePath` when it has none; stored as above and made to fit, its
// extension kept.
std::string ServerName(std::string_view macName, std::string_view sourcePath);

}  // namespace veskar
