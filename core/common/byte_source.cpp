// SPDX-License-Identifier: Apache-2.0
#include "core/common/byte_source.h"

#include <algorithm>

#include "platform/platform.h"

namespace veskar {

std::optional<std::size_t> FileSource::ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) {
    // Read beneath the stream at the offset: one system call, and the stream's position and
    // buffer stay as they were.
    const platform::RawFile raw = platform::RawOf(stream_);
    std::size_t total = 0;
    while (total < buffer.size()) {
        const std::int64_t got =
            platform::RawReadAt(raw, offset + total, buffer.data() + total, buffer.size() - total);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

std::optional<std::uint64_t> FileSource::Size() {
    return platform::StreamSize(stream_);
}

std::optional<std::size_t> StartedFileSource::ReadAt(std::uint64_t offset,
                                                     std::span<std::uint8_t> buffer) {
    if (offset > start_.head.size() || buffer.size() > start_.head.size() - offset)
        return file_.ReadAt(offset, buffer);
    std::copy_n(start_.head.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                buffer.begin());
    return buffer.size();
}

std::optional<std::size_t> MemorySource::ReadAt(std::uint64_t offset,
                                                std::span<std::uint8_t> buffer) {
    if (offset >= bytes_.size()) return 0;
    const auto held = bytes_.subspan(static_cast<std::size_t>(offset));
    const std::size_t count = std::min(held.size(), buffer.size());
    std::copy_n(held.begin(), count, buffer.begin());
    return count;
}

}  // namespace veskar
