// SPDX-License-Identifier: Apache-2.0
#include "core/write/unique_name.h"

#include <cctype>

#include "platform/platform.h"

namespace veskar {

namespace {

// One counter for the whole process: every collision, in any folder, takes the next code.
std::int32_t uniqueNameCounter = 0;

constexpr std::string_view kCodeDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr int kCodeCount = 32768;  // three base-32 digits: the low 15 bits of the counter

}  // namespace

bool FileNameExists(std::string_view name) {
    if (name.find_first_of("*?") != std::string_view::npos) return false;
    return platform::FindInCurrentFolder(name) != platform::Found::Nothing;
}

std::int32_t UniqueNameCounter() {
    return uniqueNameCounter;
}

std::string UniqueCode(std::int32_t counter) {
    const auto bits = static_cast<std::uint32_t>(counter);
    std::string code;
    for (int shift : {10, 5, 0}) {
        const char digit = kCodeDigits[(bits >> shift) & 0x1F];
        code.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(digit))));
    }
    return code;
}

bool MakeUniqueName(std::string& name, std::string_view extension, std::size_t maxChars) {
    return MakeUniqueName(name, extension, {maxChars, FileNameExists, false});
}

std::size_t Utf8CharacterStart(std::string_view text, std::size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

bool MakeUniqueName(std::string& name, std::string_view extension, const UniqueNameRules& rules) {
    const std::size_t maxChars = rules.maxBytes;
    const std::string ext(extension);
    for (int attempt = 0; attempt < kCodeCount; ++attempt) {
        // The counter wraps at 2^31 in spirit, not in fact: only its low 15 bits are used.
        uniqueNameCounter = static_cast<std::int32_t>(
            (static_cast<std::uint32_t>(uniqueNameCounter) + 1u) & 0x7FFFFFFFu);
        const std::string code = UniqueCode(uniqueNameCounter);
        ReplaceExtension(name, code);
        if (!ext.empty()) {
            if (ext.front() != '.') name.push_back('.');
            name += ext;
        }
        if (name.size() > maxChars) {
            // Too long to carry its stream suffix: shorten the part before the code.
            const std::size_t tail =
                code.size() + 1 + (ext.empty() ? 0 : ext.size() + (ext.front() == '.' ? 0 : 1));
            if (tail + 1 > maxChars) return false;
            std::size_t cut = maxChars - tail;
            if (rules.utf8) cut = Utf8CharacterStart(name, cut);
            name.erase(cut, name.size() - maxChars + (maxChars - tail - cut));
        }
        if (!rules.taken(name)) return true;
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.resize(dot);
    }
    return false;
}

}  // namespace veskar
