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

// The command line's unique names, made for people to read: "<stem>.NNN<extension>" with the
// first free number from 001 on (decimal, counted for this name alone), before a real
// extension (a last '.' and one to five letters or digits), else after the whole name
// ("Exercise 4.6 App.001"). A name that carries such a number from an earlier try takes the
// next. False when no number up to 99999 is free.
bool MakeReadableUniqueName(std::string& name, const UniqueNameRules& rules);

// The start of the UTF-8 character that holds byte `at` of `text` (`at` itself when it starts
// one, or is the end).
std::size_t Utf8CharacterStart(std::string_view text, std::size_t at);

}  // namespace veskar
