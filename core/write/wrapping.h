// SPDX-License-Identifier: Apache-2.0
// What the writers of the wrappings share (MacBinary, AppleSingle, BinHex: one file that
// carries the whole Mac file, to send or archive): the Mac name in Mac Roman as the file
// keeps it, the Finder information made fit for another machine, the warnings for what a
// wrapping cannot keep, and a folder's information, which none of them keeps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/import_result.h"
#include "core/import_report.h"
#include "core/mac_file.h"
#include "platform/platform.h"

namespace veskar {

// The Mac name (else the source's own name) in Mac Roman, cut to `maxBytes`; a character Mac
// Roman cannot hold becomes '?', and a warning says which.
std::string WrappedMacName(const MacFileDescription& file, std::string_view sourcePath,
                           std::size_t maxBytes, std::vector<std::string>& warnings);

// Warnings for what the wrapping `format` does not keep of the file: `comment`, extended
// attributes always.
void NoteNotWrapped(const MacFileDescription& file, std::string_view format, bool comment,
                    std::vector<std::string>& warnings);

// Zeros from `at` up to the next multiple of 128 bytes, as MacBinary pads each part.
bool PadTo128(platform::RawFile file, std::uint64_t at);

// A folder's own information: none of the wrappings keeps it; the folder is made all the same.
ImportResult WrappedFolder(const MacFileDescription& folder, const std::string& nativeName,
                           std::string_view format, ImportReport& report);

// Copies a fork to `at`, failing unless all of the `length` announced was copied (a source
// that shrinks while it is read would leave the wrapping's stated lengths wrong).
ImportResult CopyWrappedFork(const ForkPlace& fork, platform::RawFile file, std::uint64_t at,
                             std::uint64_t length, std::string_view what, std::uint64_t& copied,
                             std::string& detail);

}  // namespace veskar
