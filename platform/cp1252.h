// Code page 1252, the 8-bit Windows text of the output names, as Unicode. Shared by both
// platform twins; no OS header.
#pragma once

#include <array>

namespace platform::cp1252 {

// Code page 1252 agrees with Unicode everywhere except 0x80-0x9F. The five bytes it leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as
// Windows maps them, so that every byte has a character and every name survives the trip.
inline constexpr std::array<char32_t, 32> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

inline constexpr char32_t CharacterOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighHalf[byte - 0x80] : byte;
}

}  // namespace platform::cp1252
