// UTF-8 encoding and decoding for the names the Linux file system takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::posix {

// Returned by DecodeUtf8 for a byte that does not begin a well-formed sequence.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Decodes the character at text[at] and moves `at` past it. Overlong forms, surrogates,
// values above U+10FFFF and cut-off sequences are kNotUtf8, with `at` moved by one byte.
inline char32_t DecodeUtf8(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        ++at;
        return kNotUtf8;
    }
    if (text.size() - at < length) {
        ++at;
        return kNotUtf8;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kNotUtf8;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++at;
        return kNotUtf8;
    }
    at += length;
    return value;
}

// Appends a Unicode scalar value (not a surrogate, at most U+10FFFF) as UTF-8.
inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace platform::posix
