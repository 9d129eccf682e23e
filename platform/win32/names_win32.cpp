// SPDX-License-Identifier: Apache-2.0
// Output names: the file system takes code page 1252 names as they are, through the ANSI
// calls, so nothing is converted.
#include <windows.h>

#include "core/common/charsets.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

const bool kNativeTextIsUtf8 = false;

std::filesystem::path PathOfNative(std::string_view native) {
    if (native.empty()) return {};
    const int size = static_cast<int>(native.size());
    const int wideSize = ::MultiByteToWideChar(CP_ACP, 0, native.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, native.data(), size, wide.data(), wideSize);
    return std::filesystem::path(std::move(wide));
}

std::string NativeOfPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    // No best fit: a character without its own ANSI code must not become a look-alike that
    // names another file.
    const int ansiSize = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                               nullptr, 0, "?", nullptr);
    std::string ansi(static_cast<std::size_t>(ansiSize), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), ansiSize,
                          "?", nullptr);
    return ansi;
}

std::string AnsiToNative(std::string_view ansi) {
    return std::string(ansi);
}

std::optional<std::string> NativeToAnsi(std::string_view native) {
    return std::string(native);
}

// The ANSI code page is taken to be 1252, as on Western Windows, which the names assume.
std::string NativeToUtf8(std::string_view native) {
    return charsets::Cp1252ToUtf8(native);
}

std::string Utf8ToNative(std::string_view utf8) {
    return *charsets::Utf8ToCp1252(utf8, '?');
}

// ".\Name:AFP_Resource": without the folder in front, a one-letter name such as "f" would
// make "f:AFP_Resource", a path on drive F:.
std::string OutputPath(std::string_view ansiName, std::string_view streamName) {
    std::string path = ".\\";
    path.append(ansiName);
    if (!streamName.empty()) {
        path.push_back(':');
        path.append(streamName);
    }
    return path;
}

}  // namespace platform

}  // namespace veskar
