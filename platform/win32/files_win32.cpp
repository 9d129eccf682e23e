// SPDX-License-Identifier: Apache-2.0
// Creating, removing and checking files and folders, temporary ones included.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && !IsSeparator(folder.back())) folder.push_back('\\');
    return folder;
}

// GetTempFileNameA takes three characters of a prefix and needs room for its own
// "XXXX.TMP" after the folder.
constexpr std::size_t kSystemPrefixChars = 3;
constexpr std::size_t kTempNameRoom = 14;

}  // namespace

// The read-only attribute of a folder does not stop files being made in it, so the only
// certain test is to make one, which leaves the folder as it was.
bool IsWritableFolder(const std::string& folder) {
    if (!IsFolder(folder)) return false;
    const std::optional<std::string> probe = CreateTempFile(folder, "VSK");
    return probe && RemoveFile(*probe);
}

std::string TempFolder() {
    char buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    const std::string folder(buffer, length);
    return IsFolder(folder) ? WithSeparator(folder) : std::string();
}

std::optional<std::string> CreateTempFile(const std::string& folder, std::string_view prefix) {
    if (prefix.size() <= kSystemPrefixChars && folder.size() + kTempNameRoom < MAX_PATH) {
        // Creates the file under a name no file had, trying the next number on a clash.
        char buffer[MAX_PATH];
        const std::string system(prefix);
        if (::GetTempFileNameA(folder.c_str(), system.c_str(), 0, buffer) == 0) return std::nullopt;
        return std::string(buffer);
    }
    // A longer prefix: numbered names of the same form, each created only if it is new.
    const std::string base = WithSeparator(folder) + std::string(prefix);
    for (DWORD n = ::GetTickCount() & 0xFFFF, tries = 0; tries < 0x10000; ++n, ++tries) {
        char number[16];
        ::wsprintfA(number, "%04X.tmp", static_cast<unsigned>(n & 0xFFFF));
        const std::string path = base + number;
        if (CreateNewFile(path)) return path;
        if (::GetLastError() != ERROR_FILE_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

bool CreateNewFile(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

bool RemoveFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

}  // namespace platform

}  // namespace veskar
