// SPDX-License-Identifier: Apache-2.0
// The layouts the command line writes, in one table that dispatches: each one's word for
// --layout, its line of help, what its target folder must take and its writer.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/write/output_writer.h"

namespace veskar {

enum class Layout {
    Sfm,
    Fruit,
    AppleDouble,
    StreamsXattr,
    Netatalk2,
    MacBinary,
    AppleSingle,
    BinHex,
    Hfs  // an HFS volume in an image file: the target is the image, not a folder
};

struct LayoutRow {
    Layout layout;
    std::string_view word;     // the value of --layout
    std::string_view summary;  // one line of --help: what it is for
    std::string_view help;     // what it writes and what for, for the man page
    TargetNeeds needs;         // what the target folder's volume must take
    // The writer, as the command line writes the layout: the Macintosh name as the Mac showed
    // it (translated to code page 1252 for NTFS, to UTF-8 as a Mac client stores it on a
    // Linux server) and the whole Finder information, made fit for another machine.
    const OutputWriter& (*writer)();
};

const std::array<LayoutRow, 9>& Layouts();
const LayoutRow& LayoutRowOf(Layout layout);
std::optional<Layout> LayoutFromWord(std::string_view word);
// The words of --layout in the table's order, joined as "sfm, fruit, ... or streams-xattr"
// (with `lastJoin` before the last), for messages and the help.
std::string LayoutWords(std::string_view lastJoin = ", ");

inline const OutputWriter& LayoutWriter(Layout layout) {
    return LayoutRowOf(layout).writer();
}

}  // namespace veskar
