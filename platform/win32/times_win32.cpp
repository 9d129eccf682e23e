// SPDX-License-Identifier: Apache-2.0
// A file's times by SetFileTime, in FILETIME ticks (100 ns since 1601).
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/win32/quiet_errors_win32.h"

namespace veskar {

namespace platform {

namespace {

constexpr std::int64_t kNtfsTicksAtUnix = 116444736000000000;
constexpr std::int64_t kNtfsTicksPerSecond = 10000000;

FILETIME FileTimeOf(std::int64_t unixSeconds) {
    const auto ticks =
        static_cast<std::uint64_t>(kNtfsTicksAtUnix + unixSeconds * kNtfsTicksPerSecond);
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool SetTimes(HANDLE handle, std::optional<std::int64_t> modified,
              std::optional<std::int64_t> created) {
    const FILETIME write = modified ? FileTimeOf(*modified) : FILETIME{};
    const FILETIME creation = created ? FileTimeOf(*created) : FILETIME{};
    if (::SetFileTime(handle, created ? &creation : nullptr, nullptr, modified ? &write : nullptr))
        return true;
    errno = EACCES;
    return false;
}

}  // namespace

bool SetFileTimes(RawFile file, std::optional<std::int64_t> modified,
                  std::optional<std::int64_t> created) {
    if (!modified && !created) return true;
    return SetTimes(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle)), modified, created);
}

FileTimes TimesOf(RawFile file) {
    FILETIME created, written;
    FileTimes times;
    if (!::GetFileTime(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle)), &created, nullptr,
                       &written))
        return times;
    auto seconds = [](const FILETIME& time) {
        const std::int64_t ticks = static_cast<std::int64_t>(
            (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
        return (ticks - kNtfsTicksAtUnix) / kNtfsTicksPerSecond;
    };
    times.modified = seconds(written);
    times.created = seconds(created);
    return times;
}

std::optional<std::int64_t> CreationTimeOf(RawFile file) {
    return TimesOf(file).created;
}

std::optional<RawFile> OpenFolderForReading(const std::string& nativePath) {
    const win32::QuietErrors quiet;
    const HANDLE folder = ::CreateFileA(
        nativePath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return std::nullopt;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(folder), 0);
    if (fd < 0) {
        ::CloseHandle(folder);
        return std::nullopt;
    }
    return RawFile{fd};
}

void CloseFolder(RawFile folder) {
    if (folder.handle >= 0) ::_close(folder.handle);
}

bool SetFolderTimes(const std::string& nativeName, std::optional<std::int64_t> modified,
                    std::optional<std::int64_t> created) {
    if (!modified && !created) return true;
    const win32::QuietErrors quiet;
    const HANDLE folder = ::CreateFileA(
        nativeName.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const bool set = SetTimes(folder, modified, created);
    ::CloseHandle(folder);
    return set;
}

}  // namespace platform

}  // namespace veskar
