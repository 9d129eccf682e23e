// SPDX-License-Identifier: Apache-2.0
#include "core/finder_info.h"

#include <algorithm>

namespace veskar {

std::uint16_t FinderFlags(const FinderInformation& info) {
    return static_cast<std::uint16_t>(info[finder::kFlagsAt] << 8 | info[finder::kFlagsAt + 1]);
}

FinderInformation FinderInfoForAnotherMachine(const FinderInformation& info) {
    using namespace finder;
    FinderInformation out = info;
    const auto flags = static_cast<std::uint16_t>(FinderFlags(info) & ~(kOnDesk | kInited));
    out[kFlagsAt] = static_cast<std::uint8_t>(flags >> 8);
    out[kFlagsAt + 1] = static_cast<std::uint8_t>(flags);
    std::fill_n(out.begin() + kLocationAt, 6, 0);  // the location and the window
    std::fill_n(out.begin() + kPutAwayAt, 4, 0);
    return out;
}

FinderInformation TypeAndCreatorOnly(const FinderInformation& info) {
    FinderInformation out{};
    const auto end = std::find(info.begin(), info.begin() + 8, 0);
    std::copy(info.begin(), end, out.begin());
    return out;
}

}  // namespace veskar
