// SPDX-License-Identifier: Apache-2.0
// AppleSingle: one file holding a Macintosh file's forks and its Finder information as
// entries placed by the shared header (core/read/entry_table.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/common/byte_source.h"
#include "core/common/import_result.h"
#include "core/mac_file.h"
#include "core/read/read_options.h"

namespace veskar {

// True when `head`, a file's first bytes, starts with the AppleSingle magic number (in either
// byte order with every variant).
bool IsAppleSingleStart(std::span<const std::uint8_t> head, const ReadOptions& options = {});

// Reads an AppleSingle file: refused when it has no AppleSingle magic or its header cannot be
// read. The descriptors take effect in file order, so a later one of an id overrides what an
// earlier one left; a missing fork entry is an empty fork, missing Finder info zero.
MacFileReading ReadAppleSingle(ByteSource& source, const ReadOptions& options = {});

}  // namespace veskar
