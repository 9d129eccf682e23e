// SPDX-License-Identifier: Apache-2.0
// The 60-byte information record of the "AFP_AfpInfo" stream, in which Services for Macintosh
// (and Samba, for a Mac client) keeps a file's Finder information.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/mac_file.h"

namespace veskar {

constexpr std::string_view kResourceStream = "AFP_Resource";
constexpr std::string_view kAfpInfoStream = "AFP_AfpInfo";

constexpr std::size_t kAfpInfoSize = 60;
using AfpInfo = std::array<std::uint8_t, kAfpInfoSize>;

// The record: signature "AFP\0", version 0x00010000, a zero word, 0x80000000, then the type
// and creator copied up to their first zero byte, the rest zero.
AfpInfo MakeAfpInfo(const TypeCreator& typeCreator);
// The record with the whole Finder information at 16, as it is given, and the backup date
// (seconds since 1970) when there is one.
AfpInfo MakeAfpInfo(const FinderInformation& finderInfo,
                    std::optional<std::int64_t> backedUp = std::nullopt);

}  // namespace veskar
