// SPDX-License-Identifier: Apache-2.0
// Paths and the current folder.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/platform.h"

namespace veskar {

namespace platform {

const char kPathSeparator = '/';
// PATH_MAX less its terminating zero.
const std::size_t kMaxPathChars = 4095;

bool IsSeparator(char c) {
    return c == '/';
}

std::size_t FileNameStart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

bool SetCurrentFolder(const std::string& path) {
    return !path.empty() && ::chdir(path.c_str()) == 0;
}

std::string CurrentFolder() {
    // A folder deeper than PATH_MAX still has a name; the buffer grows until it fits.
    std::vector<char> buffer(kMaxPathChars + 1);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

}  // namespace platform

}  // namespace veskar
