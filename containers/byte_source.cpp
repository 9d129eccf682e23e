#include "containers/byte_source.h"

#include <algorithm>
#include <array>

#include "platform/platform.h"

std::optional<std::size_t> FileSource::ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) {
    if (buffer.empty()) return 0;
    if (!platform::Seek(stream_, offset)) return std::nullopt;
    // Read aside first: after a short read the C library leaves no promise about the bytes
    // of the destination it did not fill.
    std::array<std::uint8_t, 512> aside;
    std::size_t total = 0;
    while (total < buffer.size()) {
        const std::size_t wanted = std::min(buffer.size() - total, aside.size());
        const std::size_t got = std::fread(aside.data(), 1, wanted, stream_);
        if (std::ferror(stream_)) return std::nullopt;
        std::copy_n(aside.begin(), got, buffer.begin() + static_cast<std::ptrdiff_t>(total));
        total += got;
        if (got < wanted) break;
    }
    return total;
}

std::optional<std::uint64_t> FileSource::Size() {
    return platform::StreamSize(stream_);
}

std::optional<std::size_t> MemorySource::ReadAt(std::uint64_t offset,
                                                std::span<std::uint8_t> buffer) {
    if (offset >= bytes_.size()) return 0;
    const auto held = bytes_.subspan(static_cast<std::size_t>(offset));
    const std::size_t count = std::min(held.size(), buffer.size());
    std::copy_n(held.begin(), count, buffer.begin());
    return count;
}
