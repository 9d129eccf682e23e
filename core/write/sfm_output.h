// SPDX-License-Identifier: Apache-2.0
// Writing one Macintosh file as an NTFS file with the streams that Services for Macintosh
// serves: the data fork in the unnamed stream, the resource fork in "AFP_Resource" and the
// 60-byte information record in "AFP_AfpInfo".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/common/copy_fork.h"
#include "core/common/import_result.h"
#include "core/import_report.h"

namespace veskar {

// A name buffer holds at most this many 8-bit characters, and a name with its longest stream
// suffix must still fit in it.
constexpr std::size_t kNameBufferChars = 255;
constexpr std::string_view kResourceStream = "AFP_Resource";
constexpr std::string_view kAfpInfoStream = "AFP_AfpInfo";
constexpr std::size_t kLongestSuffix = 1 + 12;  // ":AFP_Resource"
constexpr std::size_t kMaxOutputNameChars = kNameBufferChars - kLongestSuffix;

constexpr std::size_t kAfpInfoSize = 60;
using AfpInfo = std::array<std::uint8_t, kAfpInfoSize>;

// The record: signature "AFP\0", version 0x00010000, a zero word, 0x80000000, then the type
// and creator copied up to their first zero byte, the rest zero.
AfpInfo MakeAfpInfo(const TypeCreator& typeCreator);
// The record with the whole Finder information at 16, as it is given.
AfpInfo MakeAfpInfo(const FinderInformation& finderInfo);

// Writes the Macintosh file named `name` into the current folder, in this order: a free
// name, the data file (always, even empty), the AFP_Resource stream (only for a non-empty
// resource fork), the AFP_AfpInfo stream. `name` is made safe and unique in place.
// On any failure the files this call created are removed and WriteFailed (or ReadFailed, for
// a read of a fork that failed) is returned. Truncated when a fork delivered less than its
// stated length: the output holds what there was, and the detail says what is missing.
ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const TypeCreator& typeCreator, ImportReport* report = nullptr);
// The same with the record's Finder information given whole.
ImportResult WriteSfmOutput(std::string& name, ForkPlace data, ForkPlace resource,
                            const FinderInformation& finderInfo, ImportReport* report = nullptr);

// The trial run's part of WriteSfmOutput: the name made safe and, unless the folder is to
// be new, unique in the current folder; the fork sizes and the type and creator reported.
ImportResult DescribeSfmOutput(std::string& name, std::uint64_t dataBytes,
                               std::uint64_t resourceBytes, const FinderInformation& finderInfo,
                               ImportReport& report);

}  // namespace veskar
