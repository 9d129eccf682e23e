// SPDX-License-Identifier: Apache-2.0
#include <unistd.h>

#include <cstdlib>

#include "tests/environment.h"

namespace veskar {

std::optional<std::string> GetEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

std::vector<std::string> TempFolderVariables() {
    return {"TMPDIR"};
}

std::optional<std::string> NativeName(const std::string& utf8) {
    return utf8;
}

bool MakeUnopenable(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return ::symlink(name.c_str(), path.c_str()) == 0;
}

}  // namespace veskar
