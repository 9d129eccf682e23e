// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <vector>

#include "tests/environment.h"

namespace veskar {

std::optional<std::string> GetEnvironment(const std::string& name) {
    // The call gives the size it needs, terminator included, when the buffer is too small.
    std::vector<char> buffer(256);
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableA(name.c_str(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                              : std::optional<std::string>("");
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length);
    }
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    ::SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

// GetTempPathA reads TMP, then TEMP, then USERPROFILE.
std::vector<std::string> TempFolderVariables() {
    return {"TMP", "TEMP"};
}

std::optional<std::string> NativeName(const std::string& utf8) {
    if (utf8.find_first_of("<>:\"/\\|?*") != std::string::npos) return std::nullopt;
    if (utf8.empty()) return utf8;
    const int wide = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                          wide);
    std::string ansi(text.size() * 2, '\0');
    BOOL lost = FALSE;
    const int length =
        ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.data(), wide, ansi.data(),
                              static_cast<int>(ansi.size()), nullptr, &lost);
    if (length <= 0 || lost) return std::nullopt;
    ansi.resize(static_cast<std::size_t>(length));
    return ansi;
}

bool MakeUnopenable(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

}  // namespace veskar
