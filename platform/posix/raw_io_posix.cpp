// Reading and writing through the file descriptor beneath a C stream.
#include <unistd.h>

#include <cstdint>
#include <optional>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/platform.h"

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

std::optional<std::int64_t> RawCopy(RawFile in, RawFile out, std::size_t count) {
    count = std::min<std::size_t>(count, std::numeric_limits<ssize_t>::max());
    ssize_t got;
    do {
        got = ::copy_file_range(in.handle, nullptr, out.handle, nullptr, count, 0);
    } while (got < 0 && errno == EINTR);
    // Files on different file systems (or one that has no such copy, as FUSE volumes may
    // not), and kernels without the call, are told apart from a failed copy.
    if (got < 0 && (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS ||
                    errno == EBADF))
        return std::nullopt;
    return got;
}

}  // namespace platform
