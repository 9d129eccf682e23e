// SPDX-License-Identifier: Apache-2.0
// The words of a table's rows as a list for people: "a, b, c" or, with another last join,
// "a, b or c".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veskar {

template <typename Rows>
std::string JoinedWords(const Rows& rows, std::string_view lastJoin) {
    std::string words;
    std::size_t i = 0;
    for (const auto& row : rows) {
        if (i > 0) words += i + 1 == rows.size() ? lastJoin : std::string_view(", ");
        words += row.word;
        ++i;
    }
    return words;
}

}  // namespace veskar
