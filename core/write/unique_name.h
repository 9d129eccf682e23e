// SPDX-License-Identifier: Apache-2.0
// Choosing output names that no existing file bears.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/name_extension.h"

namespace veskar {

// True when anything (a file or a folder) of this 8-bit Windows name exists in the current
// folder, whatever its letter case: a folder takes the name as a file does, since no file
// can be created beside it under that name. A name with '*' or '?' never exists.
bool FileNameExists(std::string_view name);

// The process-wide collision counter: 0 at start, never reset, incremented before each use.
std::int32_t UniqueNameCounter();

// The three-character code for a counter value: base 32, most significant first, lower case
// ("001" ... "00v", "010", ... "vvv", then "000" again).
std::string UniqueCode(std::int32_t counter);

// Rewrites `name` into the name of no existing file, trying "<stem>.<code><extension>" with
// the next code each time. `maxChars` bounds the result (the stem is shortened to keep
// within it). False when all 32,768 codes are taken.
bool MakeUniqueName(std::string& name, std::string_view extension, std::size_t maxChars);

// The same for names of another kind: `taken` says whether a name is in use, and a name
// shortened to fit `maxBytes` is cut between UTF-8 characters when `utf8` is set.
struct UniqueNameRules {
    std::size_t maxBytes = 0;
    bool (*taken)(std::string_view name) = nullptr;
    bool utf8 = false;
};
bool MakeUniqueName(std::string& name, std::string_view extension, const UniqueNameRules& rules);

// The start of the UTF-8 character that holds byte `at` of `text` (`at` itself when it starts
// one, or is the end).
std::size_t Utf8CharacterStart(std::string_view text, std::size_t at);

}  // namespace veskar
