// SPDX-License-Identifier: Apache-2.0
// The character sets of the names that pass through the converter, in one place: code page
// 1252 (the 8-bit Windows text of output names), Mac Roman (the names Macintosh files carry)
// and UTF-8 (Linux paths, JSON, the window's texts). No OS header: both platform twins, the
// core and the windows use it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veskar {

namespace charsets {

// --- Code page 1252 ------------------------------------------------------------------------
// It agrees with Unicode everywhere except 0x80-0x9F. The five bytes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows maps
// them, so that every byte has a character and every name survives the trip.
inline constexpr std::array<char32_t, 32> kCp1252HighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

inline constexpr char32_t Cp1252Character(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252HighHalf[byte - 0x80] : byte;
}

// The code page 1252 byte of a character, or nullopt when the code page has none.
inline constexpr std::optional<unsigned char> Cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kCp1252HighHalf.size(); ++i)
        if (kCp1252HighHalf[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// --- UTF-8 ---------------------------------------------------------------------------------
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

// The length of the well-formed UTF-8 sequence starting at `at`, or 0 when there is none.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    std::size_t next = at;
    return DecodeUtf8(text, next) == kNotUtf8 ? 0 : next - at;
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

// --- Between the two -------------------------------------------------------------------------
inline std::string Cp1252ToUtf8(std::string_view ansi) {
    std::string utf8;
    utf8.reserve(ansi.size() * 2);
    for (char c : ansi)
        AppendUtf8(utf8, Cp1252Character(static_cast<unsigned char>(c)));
    return utf8;
}

// UTF-8 as code page 1252: nullopt when a character has no byte there or the text is not
// UTF-8, unless `replacement` is given, which then stands for each such character.
inline std::optional<std::string> Utf8ToCp1252(std::string_view utf8,
                                               std::optional<char> replacement = std::nullopt) {
    std::string ansi;
    ansi.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t c = DecodeUtf8(utf8, at);
        const auto byte = c == kNotUtf8 ? std::nullopt : Cp1252Byte(c);
        if (!byte && !replacement) return std::nullopt;
        ansi.push_back(byte ? static_cast<char>(*byte) : *replacement);
    }
    return ansi;
}

// --- Mac Roman -----------------------------------------------------------------------------
// Mac Roman's upper half in code page 1252, for output names: the nearest character, '_'
// where there is none.
inline constexpr std::array<std::uint8_t, 128> kMacRomanHighHalfIn1252{
    // 0x80
    0xC4,
    0xC5,
    0xC7,
    0xC9,
    0xD1,
    0xD6,
    0xDC,
    0xE1,
    0xE0,
    0xE2,
    0xE4,
    0xE3,
    0xE5,
    0xE7,
    0xE9,
    0xE8,
    // 0x90
    0xEA,
    0xEB,
    0xED,
    0xEC,
    0xEE,
    0xEF,
    0xF1,
    0xF3,
    0xF2,
    0xF4,
    0xF6,
    0xF5,
    0xFA,
    0xF9,
    0xFB,
    0xFC,
    // 0xA0
    0x5F,
    0xB0,
    0xA2,
    0xA3,
    0xA7,
    0xB7,
    0xB6,
    0xDF,
    0xAE,
    0xA9,
    0x99,
    0xB4,
    0xA8,
    0x5F,
    0xC6,
    0xD8,
    // 0xB0
    0x5F,
    0xB1,
    0x5F,
    0x5F,
    0xA5,
    0xB5,
    0x5F,
    0x5F,
    0x5F,
    0x5F,
    0x5F,
    0xAA,
    0xBA,
    0x5F,
    0xE6,
    0xF8,
    // 0xC0
    0xBF,
    0xA1,
    0xAC,
    0x5F,
    0x83,
    0x5F,
    0x5F,
    0xAB,
    0xBB,
    0x5F,
    0x5F,
    0xC0,
    0xC3,
    0xD5,
    0x5F,
    0x5F,
    // 0xD0
    0x2D,
    0x2D,
    0x5F,
    0x5F,
    0x91,
    0x92,
    0xF7,
    0x5F,
    0xFF,
    0x59,
    0xA6,
    0x80,
    0x5F,
    0x5F,
    0x5F,
    0x5F,
    // 0xE0
    0x5F,
    0x5F,
    0x5F,
    0x5F,
    0x5F,
    0xC2,
    0xCA,
    0xC1,
    0xCB,
    0xC8,
    0xCD,
    0xCE,
    0xCF,
    0xCC,
    0xD3,
    0xD4,
    // 0xF0
    0x5F,
    0xD2,
    0xDA,
    0xDB,
    0xD9,
    0x69,
    0x5E,
    0x22,
    0xAF,
    0x5F,
    0x5F,
    0xB0,
    0xB8,
    0x22,
    0x5F,
    0x5F,
};

// The whole byte table: ASCII as it is, DEL (no place in a file name) as a space.
inline constexpr std::array<std::uint8_t, 256> kMacRomanTo1252 = [] {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 0x7F; ++i)
        table[i] = static_cast<std::uint8_t>(i);
    table[0x7F] = 0x20;
    for (int i = 0; i < 128; ++i)
        table[0x80 + i] = kMacRomanHighHalfIn1252[i];
    return table;
}();

// A Mac Roman name in code page 1252, up to its first zero byte: one character each.
inline std::string MacRomanToCp1252(std::string_view macName) {
    std::string out;
    out.reserve(macName.size());
    for (char c : macName) {
        if (c == '\0') break;
        out.push_back(static_cast<char>(kMacRomanTo1252[static_cast<std::uint8_t>(c)]));
    }
    return out;
}

// Mac Roman's upper half in Unicode, as Apple maps it today (0xDB the euro sign, 0xF0 the
// Apple logo in the private range).
// clang-format off
inline constexpr std::array<char16_t, 128> kMacRomanHighHalf{
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 0x80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 0x88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 0x90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 0x98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // 0xA0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // 0xA8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // 0xB0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // 0xB8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // 0xC0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // 0xC8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // 0xD0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // 0xD8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // 0xE0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // 0xE8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // 0xF0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // 0xF8
};
// clang-format on

// A Mac Roman name in UTF-8, up to its first zero byte: the name as a Mac shows it.
inline std::string MacRomanToUtf8(std::string_view macName) {
    std::string out;
    out.reserve(macName.size());
    for (char c : macName) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte == 0) break;
        AppendUtf8(out, byte < 0x80 ? char32_t{byte} : char32_t{kMacRomanHighHalf[byte - 0x80]});
    }
    return out;
}

// A UTF-8 name in Mac Roman: each character Mac Roman lacks (or a malformed byte) becomes '?',
// and is added, as it was, to `replaced` when given.
inline std::string Utf8ToMacRoman(std::string_view utf8,
                                  std::vector<std::string>* replaced = nullptr) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t start = at;
        const char32_t c = DecodeUtf8(utf8, at);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const auto found = std::find(kMacRomanHighHalf.begin(), kMacRomanHighHalf.end(), c);
        if (c <= 0xFFFF && found != kMacRomanHighHalf.end()) {
            out.push_back(static_cast<char>(0x80 + (found - kMacRomanHighHalf.begin())));
            continue;
        }
        out.push_back('?');
        if (replaced) replaced->emplace_back(utf8.substr(start, at - start));
    }
    return out;
}

}  // namespace charsets

}  // namespace veskar
