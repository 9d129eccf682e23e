// SPDX-License-Identifier: Apache-2.0
// AppleDouble: the data fork stays an ordinary file and a companion beside it, named with
// "._" in front, holds the resource fork, the name and the Finder information as entries
// placed by the shared header (core/read/entry_table.h). Such companions come from old
// file servers and from macOS, which writes them on foreign volumes and into zip archives.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/mac_file.h"

namespace veskar {

// True when the path's file name (after its last separator) begins with "._": an AppleDouble
// companion, which the AppleDouble import reaches from its data file.
bool IsAppleDoubleCompanion(std::string_view path);

// True when `head`, a file's first bytes, starts with the AppleDouble magic number.
bool IsAppleDoubleStart(std::span<const std::uint8_t> head);

// The companion's path: "._" inserted after the last separator of `dataFilePath`, or in
// front of it when it has none.
std::string AppleDoubleCompanionPath(std::string_view dataFilePath);

// Reads a data file and its companion (`companionPath` names it in messages): refused when
// the companion has no AppleDouble header or it cannot be read. The data fork is the data
// file from its start; an entry 1 can only say how much of it belongs to the fork.
MacFileReading ReadAppleDouble(ByteSource& dataFile, ByteSource& companion,
                               std::string_view companionPath);

}  // namespace veskar
