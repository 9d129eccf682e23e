// SPDX-License-Identifier: Apache-2.0
// Creating, removing and checking files and folders, temporary ones included.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

}  // namespace

bool IsWritableFolder(const std::string& folder) {
    return IsFolder(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string TempFolder() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    for (const std::string candidate : {fromEnvironment ? fromEnvironment : "", "/tmp"})
        if (!candidate.empty() && IsWritableFolder(candidate)) return WithSeparator(candidate);
    return {};
}

std::optional<std::string> CreateTempFile(const std::string& folder, std::string_view prefix) {
    // mkstemps replaces the six X with characters that make a name no file has, and creates
    // the file exclusively, trying again when another process takes the same name first.
    constexpr std::string_view kUnique = "XXXXXX";
    constexpr std::string_view kSuffix = ".tmp";
    std::string templ = WithSeparator(folder);
    templ.append(prefix).append(kUnique).append(kSuffix);
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), static_cast<int>(kSuffix.size()));
    if (fd < 0) return std::nullopt;
    ::close(fd);
    return std::string(name.data());
}

bool CreateNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace platform

}  // namespace veskar
