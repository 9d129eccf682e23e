// SPDX-License-Identifier: Apache-2.0
// How much of what a source states it does not hold: "the data fork lacks 128 of its 1000
// bytes". The detail of a truncated source is such phrases, joined by "; ".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veskar {

// Adds the phrase for `what` to `shortfall` when `held` is less than `stated`.
void NoteShortfall(std::string& shortfall, std::string_view what, std::uint64_t stated,
                   std::uint64_t held);

}  // namespace veskar
