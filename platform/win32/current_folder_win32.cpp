// SPDX-License-Identifier: Apache-2.0
// Paths and the current folder, through the ANSI calls.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace veskar {

namespace platform {

const char kPathSeparator = '\\';
// MAX_PATH less its terminating zero.
const std::size_t kMaxPathChars = MAX_PATH - 1;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::size_t FileNameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1])) return i;
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive ? 2 : 0;
}

bool SetCurrentFolder(const std::string& path) {
    return !path.empty() && ::SetCurrentDirectoryA(path.c_str()) != 0;
}

void ForgetFolderLook() {}

std::string CurrentFolder() {
    // The call returns the size it needs, terminator included, when the buffer is too small.
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return {};
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length);
    }
}

std::string WithTrailingSeparator(std::string folder) {
    // A drive root (C:\) has its backslash; a longer path gets one unless it has one already.
    if (folder.size() > 3 && !IsSeparator(folder.back())) folder.push_back('\\');
    return folder;
}

}  // namespace platform

}  // namespace veskar
