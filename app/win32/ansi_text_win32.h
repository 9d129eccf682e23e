// The shared texts are UTF-8; the ANSI calls of the Win32 window take 8-bit Windows text
// (code page 1252). A character that code page cannot hold becomes '?'.
#pragma once

#include <string>
#include <string_view>

#include "platform/cp1252.h"

inline std::string AnsiText(std::string_view utf8) {
    std::string ansi;
    ansi.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t i = 1; i < length && at + i < utf8.size(); ++i)
            c = c << 6 | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
        at += length;
        char out = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            out = static_cast<char>(c);
        } else {
            for (unsigned b = 0x80; b < 0xA0; ++b)
                if (platform::cp1252::CharacterOf(static_cast<unsigned char>(b)) == c)
                    out = static_cast<char>(b);
        }
        ansi.push_back(out);
    }
    return ansi;
}
