// SPDX-License-Identifier: Apache-2.0
// Output names: code page 1252 text on the outside, UTF-8 in Linux paths.
#include "core/common/charsets.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

const bool kNativeTextIsUtf8 = true;

std::filesystem::path PathOfNative(std::string_view native) {
    return std::filesystem::path(native);
}

std::string NativeOfPath(const std::filesystem::path& path) {
    return path.native();
}

std::string AnsiToNative(std::string_view ansi) {
    return charsets::Cp1252ToUtf8(ansi);
}

std::optional<std::string> NativeToAnsi(std::string_view native) {
    return charsets::Utf8ToCp1252(native);
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

std::string Utf8ToNative(std::string_view utf8) {
    return std::string(utf8);
}

}  // namespace platform

}  // namespace veskar
