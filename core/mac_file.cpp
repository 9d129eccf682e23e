// SPDX-License-Identifier: Apache-2.0
#include "core/mac_file.h"

namespace veskar {

std::string ShortfallOf(const MacFileDescription& file) {
    std::string shortfall = ForkShortfall(file.data, BytesAvailable(file.data), file.resource,
                                          BytesAvailable(file.resource));
    if (!file.shortfall.empty()) {
        if (!shortfall.empty()) shortfall += "; ";
        shortfall += file.shortfall;
    }
    return shortfall;
}

}  // namespace veskar
