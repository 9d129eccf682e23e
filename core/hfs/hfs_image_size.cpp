// SPDX-License-Identifier: Apache-2.0
#include <charconv>

#include "core/hfs/hfs_volume.h"

namespace veskar {

namespace hfs {

std::optional<std::uint64_t> ImageSizeFromText(std::string_view size) {
    std::uint64_t count = 0;
    const char* end = size.data() + size.size();
    const auto [rest, error] = std::from_chars(size.data(), end, count);
    if (error != std::errc() || rest == size.data()) return std::nullopt;
    std::uint64_t unit = 1;
    if (rest != end) {
        if (rest + 1 != end) return std::nullopt;
        switch (*rest) {
            case 'K':
            case 'k':
                unit = 1024;
                break;
            case 'M':
            case 'm':
                unit = 1024 * 1024;
                break;
            case 'G':
            case 'g':
                unit = 1024 * 1024 * 1024;
                break;
            default:
                return std::nullopt;
        }
    }
    if (count > kMaxImageBytes / unit) return std::nullopt;
    const std::uint64_t bytes = count * unit;
    if (bytes < kMinImageBytes || bytes > kMaxImageBytes || bytes % 512 != 0) return std::nullopt;
    return bytes;
}

}  // namespace hfs

}  // namespace veskar
