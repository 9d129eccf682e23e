// SPDX-License-Identifier: Apache-2.0
#include "core/write/safe_name.h"

#include <array>
#include <cctype>
#include <string_view>

namespace veskar {

namespace {

// Windows opens the device, not a file, for these names: the part before the first dot,
// trailing spaces dropped, whatever its letter case. "aux.txt", "nul.tar.gz" and "con .doc"
// are all the device.
bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    const auto upper = [](std::string_view text) {
        std::string out(text);
        for (char& c : out)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return out;
    };
    const std::string word = upper(stem);
    constexpr std::array<std::string_view, 4> kDevices{"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kDevices)
        if (word == device) return true;
    if (word.size() < 4 || (word.compare(0, 3, "COM") != 0 && word.compare(0, 3, "LPT") != 0))
        return false;
    // COM1 to COM9 and LPT1 to LPT9, the 0 that recent Windows also keeps, and the
    // superscript digits 1, 2 and 3 it reads as digits: one byte in code page 1252 (file
    // names), two in UTF-8 (the folders of a walk, native on Linux).
    const std::string_view digit = std::string_view(word).substr(3);
    constexpr std::array<std::string_view, 6> kSuperscripts{"\xB9",     "\xB2",     "\xB3",
                                                            "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    if (digit.size() == 1 && std::isdigit(static_cast<unsigned char>(digit[0]))) return true;
    for (std::string_view superscript : kSuperscripts)
        if (digit == superscript) return true;
    return false;
}

}  // namespace

void MakeSafeName(std::string& name) {
    // The characters and control bytes that Windows keeps out of file names: a file named
    // with them could be written through ntfs-3g but not opened by Windows or its SMB
    // clients, and on Windows it could not be created at all.
    constexpr std::string_view kRefused = "/\\:<>\"|?*";
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || kRefused.find(c) != std::string_view::npos)
            c = '_';
    if (name.empty() || name == "." || name == "..") name.assign(1, '_');
    // Windows drops a trailing dot or space, so "Notes." would be opened as "Notes".
    if (name.back() == '.' || name.back() == ' ') name.back() = '_';
    // Every device name has three letters before its digit, so the third byte is a letter.
    if (IsDeviceName(name)) name[2] = '_';
}

}  // namespace veskar
