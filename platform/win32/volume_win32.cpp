// SPDX-License-Identifier: Apache-2.0
// Whether a folder can take NTFS named streams through "name:stream" paths.
//
// GetVolumeInformationA names the file system and says whether it keeps named streams. Wine
// reports NTFS (without the named-streams flag) for every drive, whatever lies beneath, so a
// probe file settles it: its stream opened through "probe:stream" is the probe file itself
// (the same file index on the same volume) exactly when the streams work.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/quiet_errors_win32.h"

namespace veskar {

namespace platform {

namespace {

constexpr const char* kRemedy =
    "convert into a folder of an NTFS volume (under Wine: a drive linked to a volume mounted "
    "with ntfs-3g -o streams_interface=windows)";

std::string SystemMessage(DWORD error) {
    char buffer[512];
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : text;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

struct ProbeResult {
    bool streams = false;
    DWORD createError = 0;  // why the probe file could not be created
};

ProbeResult ProbeNamedStreams(const std::string& folder) {
    ProbeResult result;
    const std::optional<std::string> probe = CreateTempFile(folder, "VSK");
    if (!probe) {
        result.createError = ::GetLastError();
        if (result.createError == 0) result.createError = ERROR_ACCESS_DENIED;
        return result;
    }
    const std::string streamPath = *probe + ":VESKAR_Probe";
    const HANDLE file =
        ::CreateFileA(probe->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE stream =
        ::CreateFileA(streamPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && stream != INVALID_HANDLE_VALUE)
        result.streams = SameFile(file, stream);
    if (stream != INVALID_HANDLE_VALUE) ::CloseHandle(stream);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    // Not a stream of the probe: a file of its own, which removing the probe would keep.
    if (stream != INVALID_HANDLE_VALUE && !result.streams) ::DeleteFileA(streamPath.c_str());
    ::DeleteFileA(probe->c_str());
    return result;
}

}  // namespace

VolumeInfo QueryVolume(const std::string& folder) {
    VolumeInfo info;
    const win32::QuietErrors quiet;
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        info.advice = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                          ? "the folder does not exist"
                          : "the folder cannot be examined: " + SystemMessage(error);
        return info;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        info.advice = "the path names a file, not a folder";
        return info;
    }
    char full[MAX_PATH];
    char root[MAX_PATH];
    const DWORD fullLength = ::GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    if (fullLength == 0 || fullLength >= sizeof full ||
        !::GetVolumePathNameA(full, root, sizeof root)) {
        info.advice = "the folder's volume cannot be examined: " + SystemMessage(::GetLastError());
        return info;
    }
    char fileSystem[MAX_PATH + 1] = "";
    DWORD maxComponent = 0;
    DWORD flags = 0;
    if (!::GetVolumeInformationA(root, nullptr, 0, nullptr, &maxComponent, &flags, fileSystem,
                                 sizeof fileSystem)) {
        info.advice = "the folder's volume cannot be examined: " + SystemMessage(::GetLastError());
        return info;
    }
    info.fileSystem = fileSystem;
    if ((flags & FILE_NAMED_STREAMS) == 0 && info.fileSystem != "NTFS") {
        info.advice = "the folder is on a volume of type " + info.fileSystem +
                      ", which has no NTFS named streams; " + kRemedy;
        return info;
    }
    const ProbeResult probe = ProbeNamedStreams(full);
    if (probe.streams) {
        info.namedStreams = true;
        info.maxNameLength = maxComponent;
    } else if (probe.createError != 0) {
        info.advice = "no file can be created in the folder (" + SystemMessage(probe.createError) +
                      "), so its named streams cannot be checked; " + kRemedy;
    } else {
        info.advice = "the folder's volume says " + info.fileSystem +
                      " but name:stream paths do not open named streams there; " + kRemedy;
    }
    return info;
}

std::optional<std::uint64_t> VolumeId(const std::string& folder) {
    const win32::QuietErrors quiet;
    // A folder opens only with backup semantics; it is opened for its attributes alone.
    const HANDLE handle =
        ::CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
    ::CloseHandle(handle);
    if (!known) return std::nullopt;
    return information.dwVolumeSerialNumber;
}

std::uint32_t IsNtfsVolume(const std::string& path) {
    if (path.empty()) return 0;
    // Only the drive letter counts: a path beginning with two backslashes, a share reached
    // without a drive, gives no root that can be queried and is refused.
    const char root[] = {path[0], ':', '\\', '\0'};
    char fileSystem[16] = "";
    DWORD maxComponent = 0;
    DWORD flags = 0;
    const win32::QuietErrors quiet;
    if (!::GetVolumeInformationA(root, nullptr, 0, nullptr, &maxComponent, &flags, fileSystem,
                                 sizeof fileSystem) ||
        std::string_view(fileSystem) != "NTFS")
        return 0;
    if ((flags & FILE_NAMED_STREAMS) != 0) return maxComponent;
    // Wine calls every drive NTFS and never sets the flag: there the chosen folder itself
    // is probed, so that only a drive linked to an ntfs-3g mount with the Windows stream
    // interface passes.
    return QueryVolume(path).namedStreams ? maxComponent : 0;
}

}  // namespace platform

}  // namespace veskar
