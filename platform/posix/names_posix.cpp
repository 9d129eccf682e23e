// Output names: code page 1252 text on the outside, UTF-8 in Linux paths.
#include "platform/cp1252.h"
#include "platform/platform.h"
#include "platform/posix/utf8_posix.h"

namespace platform {

const bool kNativeTextIsUtf8 = true;

std::filesystem::path PathOfNative(std::string_view native) {
    return std::filesystem::path(native);
}

std::string NativeOfPath(const std::filesystem::path& path) {
    return path.native();
}

namespace {

using cp1252::CharacterOf;
using cp1252::kHighHalf;

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

std::string NativeToUtf8(std::string_view native) {
    return std::string(native);
}

}  // namespace platform
