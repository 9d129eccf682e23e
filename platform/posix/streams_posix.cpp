// SPDX-License-Identifier: Apache-2.0
// C streams with 64-bit positions.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace veskar {

namespace platform {

static_assert(sizeof(off_t) >= sizeof(std::int64_t), "file positions beyond 2 GiB");

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

std::FILE* OpenSource(const std::string& nativePath, std::uint64_t& size,
                      std::optional<std::int64_t>* modified) {
    // Opened without blocking, so that a FIFO with no writer is refused instead of waited on.
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    int refusal = 0;
    if (::fstat(fd, &info) != 0)
        refusal = errno;
    else if (S_ISDIR(info.st_mode))
        refusal = EISDIR;
    else if (!S_ISREG(info.st_mode))
        refusal = ESPIPE;
    else if (::fcntl(fd, F_SETFL, 0) != 0)  // O_NONBLOCK was the one status flag set
        refusal = errno;
    std::FILE* stream = refusal ? nullptr : ::fdopen(fd, "rb");
    if (!stream) {
        if (!refusal) refusal = errno;
        ::close(fd);
        errno = refusal;
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    if (modified) *modified = info.st_mtime;
    return stream;
}

std::FILE* OpenStream(const std::string& nativePath, const char* mode) {
    const bool readOnly = mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
    if (!readOnly) return std::fopen(nativePath.c_str(), mode);
    std::uint64_t size = 0;
    return OpenSource(nativePath, size);
}

std::vector<std::string> NamedStreamsOf(const std::string& nativePath) {
    // ntfs-3g lists them, separated by zero bytes, in an attribute of its own.
    std::vector<char> list(4096);
    ssize_t size;
    while ((size = ::getxattr(nativePath.c_str(), "ntfs.streams.list", list.data(), list.size())) <
               0 &&
           errno == ERANGE && list.size() < (1u << 20))
        list.resize(list.size() * 4);
    std::vector<std::string> names;
    if (size <= 0) return names;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const std::size_t end =
            std::find(list.begin() + at, list.begin() + size, '\0') - list.begin();
        if (end > at) names.emplace_back(list.data() + at, end - at);
        at = end + 1;
    }
    return names;
}

std::FILE* OpenNamedStream(const std::string& nativePath, std::string_view utf8Stream,
                           std::uint64_t* size) {
    std::uint64_t found = 0;
    std::FILE* stream = OpenSource(nativePath + ":" + std::string(utf8Stream), found);
    if (size) *size = found;
    return stream;
}

std::FILE* CreateNamedStream(const std::string& nativeName, std::string_view utf8Stream) {
    return std::fopen(("./" + nativeName + ":" + std::string(utf8Stream)).c_str(), "wb");
}

std::optional<std::uint64_t> Tell(std::FILE* stream) {
    if (stream == nullptr) return std::nullopt;
    const off_t at = ::ftello(stream);
    if (at < 0) return std::nullopt;
    return static_cast<std::uint64_t>(at);
}

bool Seek(std::FILE* stream, std::uint64_t offset) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

// The size the file has on disk: what the stream still buffers is not counted.
std::optional<std::uint64_t> StreamSize(std::FILE* stream) {
    struct stat info;
    if (stream == nullptr || ::fstat(::fileno(stream), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace platform

}  // namespace veskar
