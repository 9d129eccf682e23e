// SPDX-License-Identifier: Apache-2.0
// AppleDouble: the data fork stays an ordinary file and a companion beside it, named with
// "._" in front, holds the resource fork, the name and the Finder information as entries
// placed by the shared header (core/read/entry_table.h). Such companions come from old
// file servers and from macOS, which writes them on foreign volumes and into zip archives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/mac_file.h"
#include "core/read/read_options.h"

namespace veskar {

// True when the path's file name (after its last separator) begins with "._": an AppleDouble
// companion, which the AppleDouble import reaches from its data file.
bool IsAppleDoubleCompanion(std::string_view path);

// True when `head`, a file's first bytes, starts with the AppleDouble magic number (in either
// byte order with every variant).
bool IsAppleDoubleStart(std::span<const std::uint8_t> head, const ReadOptions& options = {});

// The companion's path: "._" inserted after the last separator of `dataFilePath`, or in
// front of it when it has none.
std::string AppleDoubleCompanionPath(std::string_view dataFilePath);

// Every path a data file's companion may have, in the order they are looked for: "._NAME";
// with every variant then "%NAME" (A/UX, old netatalk) and "NAME.rsrc" (what The Unarchiver
// writes beside the files it extracts).
std::vector<std::string> AppleDoubleCompanionPaths(std::string_view dataFilePath,
                                                   const ReadOptions& options);

// The data file a companion under one of those names belongs to, or nullopt when its name is
// none of them.
std::optional<std::string> DataFileOfCompanion(std::string_view path, const ReadOptions& options);

// Reads a data file and its companion (`companionPath` names it in messages): refused when
// the companion has no AppleDouble header or it cannot be read. The data fork is the data
// file, whole, whatever a data-fork entry of the companion states.
MacFileReading ReadAppleDouble(ByteSource& dataFile, ByteSource& companion,
                               std::string_view companionPath, const ReadOptions& options = {});

// Reads a folder's companion ("._NAME" beside the folder NAME): the folder's Finder
// information, dates, comment and attributes.
MacFileReading ReadAppleDoubleFolder(ByteSource& companion, std::string_view companionPath,
                                     const ReadOptions& options = {});

}  // namespace veskar
