// SPDX-License-Identifier: Apache-2.0
// The BinHex staging: a BinHex 4.0 text decoded through two intermediate files and written
// as a MacBinary-form staging file in the temporary folder, for the MacBinary import.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/read/binhex/binhex_format.h"
#include "core/read/binhex/binhex_passes.h"
#include "core/read/macbinary.h"

namespace veskar {

// The bytes of the stream from its position to its end; 0 when they cannot be told.
std::uint64_t TextLeft(std::FILE* stream);

// The staging file's MacBinary header, from the name length and name bytes as read and the
// 21-byte record of the expanded stream.
MacBinaryHeader StagingHeaderOf(
    std::uint8_t nameLength, const std::array<std::uint8_t, 255>& name,
    const std::array<std::uint8_t, binhex::expanded::kRecordSize>& record);

// What the staging writer wrote.
struct StagingWrite {
    binhex::PassResult status = binhex::PassResult::Done;  // after ReadFailed errno tells why
    MacBinaryHeader header{};
    // The parts of the expanded stream that it ends before: the header, or the data fork and
    // the resource fork as their lengths state them. Empty when the stream is whole.
    std::string shortfall;
};

// Reads the expanded stream from its start and writes the staging file from its start: the
// MacBinary header, the data fork and, when there is a resource fork, zero fill to the next
// 128-byte boundary and the resource fork.
StagingWrite WriteStagingFile(std::FILE* expanded, std::FILE* staging);

// How a staging went.
struct Staging {
    ImportResult failure = ImportResult::WriteFailed;  // when no staging file came of it
    std::string detail;                                // why not
    MacBinaryHeader header{};                          // the staging file's header
    std::string shortfall;                             // as StagingWrite's
};

// Runs both passes from the source (which it closes) through the two intermediate files and
// writes the staging file, which it returns open; both intermediates are gone on return.
// nullptr, with `staging` saying why, when an intermediate or the staging file could not be
// created, written or read (ReadFailed for a read, also of the source, that failed; otherwise
// WriteFailed); what this call made is then removed too.
std::FILE* StageBinHex(std::FILE* source, std::string_view sourcePath,
                       const std::string& stagingPath, Staging& staging);

}  // namespace veskar
