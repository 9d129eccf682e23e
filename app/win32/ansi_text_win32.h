// SPDX-License-Identifier: Apache-2.0
// The shared texts are UTF-8; the ANSI calls of the Win32 window take 8-bit Windows text
// (code page 1252). A character that code page cannot hold becomes '?'.
#pragma once

#include <string>
#include <string_view>

#include "core/common/charsets.h"

namespace veskar {

inline std::string AnsiText(std::string_view utf8) {
    return *charsets::Utf8ToCp1252(utf8, '?');
}

}  // namespace veskar
