// SPDX-License-Identifier: Apache-2.0
// Reading and writing through the file descriptor beneath a C stream.
#include <unistd.h>

#include <cstdint>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/platform.h"

namespace veskar {

namespace platform {

RawFile RawOf(std::FILE* stream) {
    return RawFile{stream != nullptr ? ::fileno(stream) : -1};
}

bool RawSeek(RawFile file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const auto to = static_cast<off_t>(offset);
    return ::lseek(file.handle, to, SEEK_SET) == to;
}

std::int64_t RawRead(RawFile file, void* buffer, std::size_t count) {
    // read() returns at most SSIZE_MAX bytes; a larger request is a short read.
    count = std::min<std::size_t>(count, std::numeric_limits<ssize_t>::max());
    ssize_t got;
    do {
        got = ::read(file.handle, buffer, count);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool RawWriteAll(RawFile file, const void* buffer, std::size_t count) {
    const char* next = static_cast<const char*>(buffer);
    while (count > 0) {
        const std::size_t chunk = std::min<std::size_t>(count, std::numeric_limits<ssize_t>::max());
        const ssize_t put = ::write(file.handle, next, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;  // errno tells why, for the caller's message
        }
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

namespace {

bool FitsOffset(std::uint64_t offset) {
    return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

}  // namespace

std::int64_t RawReadAt(RawFile file, std::uint64_t offset, void* buffer, std::size_t count) {
    if (!FitsOffset(offset)) {
        errno = EINVAL;
        return -1;
    }
    count = std::min<std::size_t>(count, std::numeric_limits<ssize_t>::max());
    ssize_t got;
    do {
        got = ::pread(file.handle, buffer, count, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

bool RawWriteAllAt(RawFile file, std::uint64_t offset, const void* buffer, std::size_t count) {
    const char* next = static_cast<const char*>(buffer);
    while (count > 0) {
        if (!FitsOffset(offset)) {
            errno = EFBIG;
            return false;
        }
        const std::size_t chunk = std::min<std::size_t>(count, std::numeric_limits<ssize_t>::max());
        const ssize_t put = ::pwrite(file.handle, next, chunk, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;  // errno tells why, for the caller's message
        }
        if (put == 0) {
            errno = ENOSPC;  // nothing written and no error: the device takes no more
            return false;
        }
        next += put;
        offset += static_cast<std::uint64_t>(put);
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace platform

}  // namespace veskar
