// SPDX-License-Identifier: Apache-2.0
// A file's times: the modification time by futimens, the creation time where ntfs-3g shows it
// as the attribute system.ntfs_crtime (NTFS ticks, 100 ns since 1601, little-endian).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

constexpr const char* kNtfsCreationTime = "system.ntfs_crtime";
constexpr std::int64_t kNtfsTicksAtUnix = 116444736000000000;
constexpr std::int64_t kNtfsTicksPerSecond = 10000000;

bool SetTimes(int fd, std::optional<std::int64_t> modified, std::optional<std::int64_t> created) {
    if (modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*modified), 0}};
        if (::futimens(fd, times) != 0) return false;
    }
    if (created) {
        const std::int64_t ticks = kNtfsTicksAtUnix + *created * kNtfsTicksPerSecond;
        std::uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<std::uint8_t>(ticks >> (8 * i));
        // Only ntfs-3g takes it; elsewhere the creation time is the file system's own.
        const int error = errno;
        ::fsetxattr(fd, kNtfsCreationTime, bytes, sizeof bytes, 0);
        errno = error;
    }
    return true;
}

}  // namespace

bool SetFileTimes(RawFile file, std::optional<std::int64_t> modified,
                  std::optional<std::int64_t> created) {
    return SetTimes(file.handle, modified, created);
}

std::optional<std::int64_t> CreationTimeOf(RawFile file) {
    std::uint8_t bytes[8];
    if (::fgetxattr(file.handle, kNtfsCreationTime, bytes, sizeof bytes) != sizeof bytes)
        return std::nullopt;
    std::int64_t ticks = 0;
    for (int i = 7; i >= 0; --i)
        ticks = ticks << 8 | bytes[i];
    return (ticks - kNtfsTicksAtUnix) / kNtfsTicksPerSecond;
}

FileTimes TimesOf(RawFile file) {
    FileTimes times;
    struct stat info;
    if (::fstat(file.handle, &info) == 0) times.modified = info.st_mtime;
    times.created = CreationTimeOf(file);
    return times;
}

std::optional<RawFile> OpenFolderForReading(const std::string& nativePath) {
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return RawFile{fd};
}

void CloseFolder(RawFile folder) {
    if (folder.handle >= 0) ::close(folder.handle);
}

bool SetFolderTimes(const std::string& nativeName, std::optional<std::int64_t> modified,
                    std::optional<std::int64_t> created) {
    const int fd =
        ::openat(AT_FDCWD, nativeName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool set = SetTimes(fd, modified, created);
    const int error = errno;
    ::close(fd);
    errno = error;
    return set;
}

}  // namespace platform

}  // namespace veskar
