// SPDX-License-Identifier: Apache-2.0
// The moments Mac files carry, on the scales their formats keep them, as seconds since
// 1970-01-01 00:00 UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veskar {

namespace mac_time {

// Classic Mac OS counts unsigned seconds from 1904-01-01 00:00 in the Mac's own local time,
// which nothing in a file records: it is taken as UTC. 0 is no date.
std::optional<std::int64_t> From1904(std::uint32_t seconds);
std::uint32_t To1904(std::optional<std::int64_t> unixSeconds);
// AppleSingle, AppleDouble and AFP count signed seconds from 2000-01-01 00:00 UTC;
// 0x80000000 is no date.
std::optional<std::int64_t> From2000(std::uint32_t raw);
std::uint32_t To2000(std::optional<std::int64_t> unixSeconds);
// NTFS counts 100-nanosecond ticks from 1601-01-01 00:00 UTC.
std::uint64_t ToNtfs(std::int64_t unixSeconds);
std::int64_t FromNtfs(std::uint64_t ticks);
// "2023-03-26T10:00:52Z".
std::string Iso8601(std::int64_t unixSeconds);

}  // namespace mac_time

}  // namespace veskar
