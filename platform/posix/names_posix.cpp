// Output names: code page 1252 text on the outside, UTF-8 in Linux paths.
#include <array>

#include "platform/platform.h"
#include "platform/posix/utf8_posix.h"

namespace platform {

namespace {

// Code page 1252 agrees with Unicode everywhere except 0x80-0x9F. The five bytes it leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as
// Windows maps them, so that every byte has a character and every name survives the trip.
constexpr std::array<char32_t, 32> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char32_t CharacterOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighHalf[byte - 0x80] : byte;
}

// The 1252 byte for a character, or -1 when the code page has none.
int ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        if (kHighHalf[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

}  // namespace

std::string AnsiToNative(std::string_view ansi) {
    std::string native;
    native.reserve(ansi.size() * 2);
    for (char c : ansi)
        posix::AppendUtf8(native, CharacterOf(static_cast<unsigned char>(c)));
    return native;
}

std::optional<std::string> NativeToAnsi(std::string_view native) {
    std::string ansi;
    ansi.reserve(native.size());
    for (std::size_t at = 0; at < native.size();) {
        const char32_t c = posix::DecodeUtf8(native, at);
        const int byte = c == posix::kNotUtf8 ? -1 : ByteOf(c);
        if (byte < 0) return std::nullopt;
        ansi.push_back(static_cast<char>(byte));
    }
    return ansi;
}

std::string OutputPath(std::string_view ansiName, std::string_view streamName) {
    std::string path = "./" + AnsiToNative(ansiName);
    if (!streamName.empty()) {
        path.push_back(':');
        path.append(streamName);
    }
    return path;
}

}  // namespace platform
