// SPDX-License-Identifier: Apache-2.0
#include "core/common/mac_time.h"

#include <chrono>
#include <cstdio>

namespace veskar {

namespace mac_time {

namespace {

constexpr std::int64_t kUnixAt1904 = -2082844800;
constexpr std::int64_t kUnixAt2000 = 946684800;
constexpr std::uint32_t kNoDate2000 = 0x80000000;
constexpr std::int64_t kNtfsTicksAtUnix = 116444736000000000;
constexpr std::int64_t kNtfsTicksPerSecond = 10000000;

}  // namespace

std::optional<std::int64_t> From1904(std::uint32_t seconds) {
    if (seconds == 0) return std::nullopt;
    return kUnixAt1904 + seconds;
}

std::uint32_t To1904(std::optional<std::int64_t> unixSeconds) {
    if (!unixSeconds || *unixSeconds <= kUnixAt1904 || *unixSeconds - kUnixAt1904 > 0xFFFFFFFF)
        return 0;
    return static_cast<std::uint32_t>(*unixSeconds - kUnixAt1904);
}

std::optional<std::int64_t> From2000(std::uint32_t raw) {
    if (raw == kNoDate2000) return std::nullopt;
    return kUnixAt2000 + static_cast<std::int32_t>(raw);
}

std::uint32_t To2000(std::optional<std::int64_t> unixSeconds) {
    if (!unixSeconds) return kNoDate2000;
    const std::int64_t since = *unixSeconds - kUnixAt2000;
    // What the signed field cannot hold, it holds as no date rather than as another moment.
    if (since <= INT32_MIN || since > INT32_MAX) return kNoDate2000;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(since));
}

std::uint64_t ToNtfs(std::int64_t unixSeconds) {
    const std::int64_t ticks = kNtfsTicksAtUnix + unixSeconds * kNtfsTicksPerSecond;
    return ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks);
}

std::int64_t FromNtfs(std::uint64_t ticks) {
    return (static_cast<std::int64_t>(ticks) - kNtfsTicksAtUnix) / kNtfsTicksPerSecond;
}

std::string Iso8601(std::int64_t unixSeconds) {
    using namespace std::chrono;
    const sys_seconds moment{seconds{unixSeconds}};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss time{moment - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

}  // namespace mac_time

}  // namespace veskar
