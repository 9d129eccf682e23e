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
