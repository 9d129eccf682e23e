// SPDX-License-Identifier: Apache-2.0
#include "core/common/shortfall.h"

namespace veskar {

void NoteShortfall(std::string& shortfall, std::string_view what, std::uint64_t stated,
                   std::uint64_t held) {
    if (held >= stated) return;
    if (!shortfall.empty()) shortfall += "; ";
    shortfall += what;
    shortfall += held == 0 ? " lacks all" : " lacks " + std::to_string(stated - held);
    shortfall += " of its " + std::to_string(stated) + (stated == 1 ? " byte" : " bytes");
}

}  // namespace veskar
