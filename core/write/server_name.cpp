// SPDX-License-Identifier: Apache-2.0
#include "core/write/server_name.h"

#include <algorithm>
#include <cctype>

#include "core/common/charsets.h"
#include "core/write/afp_info.h"
#include "core/write/unique_name.h"
#include "platform/platform.h"

namespace veskar {

namespace {

constexpr std::string_view kMovedPunctuation = "\"*:<>?\\|";
constexpr char32_t kPrivateControls = 0xF000;     // + the byte
constexpr char32_t kPrivatePunctuation = 0xF020;  // + its place in kMovedPunctuation

}  // namespace

void FitStoredName(std::string& name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) return;
    const std::string ext(NameExtension(name));
    if (ext.size() < maxBytes / 2) {
        name.resize(Utf8CharacterStart(name, maxBytes - ext.size()));
        name += ext;
    } else {
        name.resize(Utf8CharacterStart(name, maxBytes));
    }
}

std::string ServerStoredName(std::string_view utf8) {
    if (utf8.empty() || utf8 == "." || utf8 == "..") return "_";
    return PrivateRangeName(utf8);
}

std::string PrivateRangeName(std::string_view utf8) {
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

namespace {

std::string Netatalk2Escaped(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '/' || c == ':' || (c == '.' && i == 0)) {
            constexpr std::string_view kHex = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            out += ':';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::string Netatalk2StoredName(std::string_view utf8) {
    if (utf8.empty()) return "_";
    // Cut before escaping, so that no escape is cut in two.
    std::string name(utf8);
    std::string stored = Netatalk2Escaped(name);
    for (std::size_t room = name.size(); stored.size() > 255 && room > 0;) {
        room -= std::min<std::size_t>(room, (stored.size() - 255 + 2) / 3 + 1);
        FitStoredName(name, room);
        stored = Netatalk2Escaped(name);
    }
    return stored;
}

std::string Netatalk2Name(const MacFileDescription& file, std::string_view sourcePath) {
    const std::string utf8 = NameAsUtf8(file);
    return Netatalk2StoredName(
        !utf8.empty() ? utf8 : std::string(sourcePath.substr(platform::FileNameStart(sourcePath))));
}

std::optional<std::string> AttributeStreamName(std::string_view attributeName, std::size_t maxBytes,
                                               std::size_t maxUtf16, std::string& why) {
    std::string stream = PrivateRangeName(attributeName);
    const auto sameLetters = [&stream](std::string_view taken) {
        return stream.size() == taken.size() &&
               std::equal(stream.begin(), stream.end(), taken.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    if (sameLetters(kAfpInfoStream) || sameLetters(kResourceStream)) {
        why = "the extended attribute " + std::string(attributeName) +
              " was left out: its name is that of the stream of the Finder information or the "
              "resource fork";
        return std::nullopt;
    }
    std::size_t utf16 = 0;
    for (std::size_t at = 0; at < stream.size();)
        utf16 += charsets::DecodeUtf8(stream, at) >= 0x10000 ? 2 : 1;
    if (stream.size() > maxBytes || utf16 > maxUtf16) {
        why = "the extended attribute " + std::string(attributeName) +
              " was left out: its name is too long for a stream";
        return std::nullopt;
    }
    return stream;
}

std::string ServerName(const MacFileDescription& file, std::string_view sourcePath) {
    return ServerName(file, sourcePath, kMaxServerNameBytes);
}

std::string ServerName(const MacFileDescription& file, std::string_view sourcePath,
                       std::size_t maxBytes) {
    const std::string utf8 = NameAsUtf8(file);
    std::string name = ServerStoredName(
        !utf8.empty() ? utf8 : std::string(sourcePath.substr(platform::FileNameStart(sourcePath))));
    FitStoredName(name, maxBytes);
    return name;
}

std::string ServerName(std::string_view macName, std::string_view sourcePath) {
    MacFileDescription file;
    file.name = std::string(macName);
    return ServerName(file, sourcePath);
}

}  // namespace veskar
