// SPDX-License-Identifier: Apache-2.0
#include "core/write/unique_name.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/write/trial_names.h"
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
        if (!rules.taken(name) && !trial_names::Taken(name)) return true;
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.resize(dot);
    }
    return false;
}

namespace {

bool IsCode(std::string_view text) {  // ".NNN": a dot and three to five digits
    return text.size() >= 4 && text.size() <= 6 && text.front() == '.' &&
           std::all_of(text.begin() + 1, text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

bool MakeReadableUniqueName(std::string& name, const UniqueNameRules& rules) {
    const std::string original = name;
    const std::size_t dot = original.rfind('.');
    const std::size_t extLength = dot == std::string::npos ? 0 : original.size() - dot - 1;
    const bool realExtension =
        dot != std::string::npos && dot > 0 && extLength >= 1 && extLength <= 5 &&
        std::all_of(original.begin() + static_cast<std::ptrdiff_t>(dot) + 1, original.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    std::string stem = realExtension ? original.substr(0, dot) : original;
    const std::string extension = realExtension ? original.substr(dot) : std::string();
    // A number an earlier try gave goes, so that the next try counts on from 001 again.
    if (const std::size_t code = stem.rfind('.');
        code != std::string::npos && code > 0 && IsCode(std::string_view(stem).substr(code)))
        stem.resize(code);
    for (int number = 1; number <= 99999; ++number) {
        char code[8];
        std::snprintf(code, sizeof code, ".%03d", number);
        const std::string tail = code + extension;
        if (tail.size() + 1 > rules.maxBytes) break;
        std::string candidate = stem;
        if (candidate.size() + tail.size() > rules.maxBytes) {
            std::size_t cut = rules.maxBytes - tail.size();
            if (rules.utf8) cut = Utf8CharacterStart(candidate, cut);
            candidate.resize(cut);
        }
        candidate += tail;
        if (!rules.taken(candidate) && !trial_names::Taken(candidate)) {
            name = std::move(candidate);
            return true;
        }
    }
    name = original;
    return false;
}

}  // namespace veskar
