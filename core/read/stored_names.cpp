// SPDX-License-Identifier: Apache-2.0
// Stored names back as the Mac's: the private range Samba's "fruit:encoding = private" (and
// Windows' Services for Macintosh before it) uses for what Windows refuses in names, and
// netatalk 2's ":xx" escapes.
#include <string>
#include <string_view>

#include "core/common/charsets.h"
#include "core/read/stored_file.h"

namespace veskar {

namespace {

constexpr std::string_view kMovedPunctuation = "\"*:<>?\\|";
constexpr char32_t kPrivateControls = 0xF000;
constexpr char32_t kPrivatePunctuation = 0xF020;

std::string FromPrivateRange(std::string_view stored, char colonStandsFor) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t at = 0; at < stored.size();) {
        const std::size_t start = at;
        const char32_t c = charsets::DecodeUtf8(stored, at);
        if (c > kPrivateControls && c < kPrivatePunctuation) {
            out.push_back(static_cast<char>(c - kPrivateControls));
        } else if (c >= kPrivatePunctuation && c < kPrivatePunctuation + kMovedPunctuation.size()) {
            const char moved = kMovedPunctuation[c - kPrivatePunctuation];
            out.push_back(moved == ':' ? colonStandsFor : moved);
        } else {
            out.append(stored.substr(start, at - start));
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string MacNameOfStored(std::string_view stored) {
    return FromPrivateRange(stored, '/');
}

std::string AttributeNameOfStored(std::string_view stored) {
    return FromPrivateRange(stored, ':');
}

std::string Netatalk2Unescaped(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t at = 0; at < stored.size(); ++at) {
        if (stored[at] == ':' && at + 2 < stored.size()) {
            const int high = HexValue(stored[at + 1]), low = HexValue(stored[at + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high << 4 | low));
                at += 2;
                continue;
            }
        }
        out.push_back(stored[at]);
    }
    return out;
}

}  // namespace veskar
