// SPDX-License-Identifier: Apache-2.0
// Reading and writing through the C runtime's descriptor beneath a stream.
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>

#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

// _read and _write take an unsigned count but return an int.
constexpr std::size_t kMaxTransfer = INT_MAX;

}  // namespace

RawFile RawOf(std::FILE* stream) {
    return RawFile{stream != nullptr ? ::_fileno(stream) : -1};
}

bool RawSeek(RawFile file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) return false;
    const auto to = static_cast<__int64>(offset);
    return ::_lseeki64(file.handle, to, SEEK_SET) == to;
}

std::int64_t RawRead(RawFile file, void* buffer, std::size_t count) {
    if (file.handle < 0) {
        errno = EBADF;
        return -1;
    }
    const int got =
        ::_read(file.handle, buffer, static_cast<unsigned>(std::min(count, kMaxTransfer)));
    return got;
}

bool RawWriteAll(RawFile file, const void* buffer, std::size_t count) {
    if (file.handle < 0) {
        errno = EBADF;
        return false;
    }
    const char* next = static_cast<const char*>(buffer);
    while (count > 0) {
        const auto chunk = static_cast<unsigned>(std::min(count, kMaxTransfer));
        const int put = ::_write(file.handle, next, chunk);
        if (put < 0) return false;  // errno tells why, for the caller's message
        if (put == 0) {
            // Nothing written and no error: the device takes no more.
            errno = ENOSPC;
            return false;
        }
        next += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

// The descriptor's own position is put back afterwards, as pread and pwrite leave it.
std::int64_t RawReadAt(RawFile file, std::uint64_t offset, void* buffer, std::size_t count) {
    const __int64 was = ::_telli64(file.handle);
    if (was < 0 || !RawSeek(file, offset)) return -1;
    const std::int64_t got = RawRead(file, buffer, count);
    const int error = errno;
    RawSeek(file, static_cast<std::uint64_t>(was));
    errno = error;
    return got;
}

bool RawWriteAllAt(RawFile file, std::uint64_t offset, const void* buffer, std::size_t count) {
    const __int64 was = ::_telli64(file.handle);
    if (was < 0 || !RawSeek(file, offset)) return false;
    const bool written = RawWriteAll(file, buffer, count);
    const int error = errno;
    RawSeek(file, static_cast<std::uint64_t>(was));
    errno = error;
    return written;
}

}  // namespace platform

}  // namespace veskar
