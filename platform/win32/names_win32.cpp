// Output names: the file system takes code page 1252 names as they are, through the ANSI
// calls, so nothing is converted.
#include "platform/platform.h"

namespace platform {

std::string AnsiToNative(std::string_view ansi) {
    return std::string(ansi);
}

std::optional<std::string> NativeToAnsi(std::string_view native) {
    return std::string(native);
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
