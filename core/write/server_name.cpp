// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_name.h"

#include "core/common/charsets.h"
#include "core/write/unique_name.h"
#include "platform/platform.h"

namespace veskar {

namespace {

constexpr std::string_view kMovedPunctuation = "\"*:<>?\\|";
constexpr char32_t kPrivateControls = 0xF000;     // + the byte
constexpr char32_t kPrivatePunctuation = 0xF020;  // + its place in kMovedPunctuation

// Cuts `name` to `maxBytes` between characters, keeping a short extension.
void FitServerName(std::string& name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) return;
    const std::string ext(NameExtension(name));
    if (ext.size() < maxBytes / 2) {
        name.resize(Utf8CharacterStart(name, maxBytes - ext.size()));
        name += ext;
    } else {
        name.resize(Utf8CharacterStart(name, maxBytes));
    }
}

}  // namespace

std::string ServerStoredName(std::string_view utf8) {
    if (utf8.empty() || utf8 == "." || utf8 == "..") return "_";
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        const char moved = c == '/' ? ':' : c;
        if (byte >= 0x01 && byte <= 0x1F)
            charsets::AppendUtf8(out, kPrivateControls + byte);
        else if (const std::size_t at = kMovedPunctuation.find(moved); at != std::string_view::npos)
            charsets::AppendUtf8(out, kPrivatePunctuation + static_cast<char32_t>(at));
        else
            out.push_back(c);
    }
    return out;
}

std::string ServerName(std::string_view macName, std::string_view sourcePath) {
    const std::string_view beforeZero = macName.substr(0, macName.find('\0'));
    std::string name = ServerStoredName(
        !beforeZero.empty() ? charsets::MacRomanToUtf8(beforeZero)
                            : std::string(sourcePath.substr(platform::FileNameStart(sourcePath))));
    FitServerName(name, kMaxServerNameBytes);
    return name;
}

}  // namespace veskar
