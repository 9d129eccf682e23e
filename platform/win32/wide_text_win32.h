// SPDX-License-Identifier: Apache-2.0
// UTF-8 text for the system's wide calls: the names of streams, which may hold characters
// that code page 1252 lacks (those in the private range among them).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace veskar {

namespace platform::win32 {

inline std::wstring WideOfUtf8(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int wideSize = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideSize);
    return wide;
}

}  // namespace platform::win32

}  // namespace veskar
