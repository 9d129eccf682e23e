// SPDX-License-Identifier: Apache-2.0
// The layouts the command line writes, in one table: each one's word for --layout, what it
// is for, what its target folder must take and its writer.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/write/output_writer.h"

namespace veskar {

enum class Layout { Sfm, Fruit, AppleDouble, StreamsXattr };

struct LayoutRow {
    Layout layout;
    std::string_view word;  // the value of --layout
    std::string_view help;  // what it is for, in a few words
};

const std::array<LayoutRow, 4>& Layouts();
const LayoutRow& LayoutRowOf(Layout layout);
std::optional<Layout> LayoutFromWord(std::string_view word);

// The writer of a layout as the command line writes it: the Macintosh name as the Mac showed
// it (translated to code page 1252 for NTFS, to UTF-8 as a Mac client stores it on a Linux
// server) and the whole Finder information, made fit for another machine.
const OutputWriter& LayoutWriter(Layout layout);

}  // namespace veskar
