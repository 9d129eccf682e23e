// SPDX-License-Identifier: Apache-2.0
// When a page's Convert button is enabled. Each rule runs on its own event, and the last one
// to run decides the button's state.
#pragma once

#include <cstddef>
#include <string_view>

namespace veskar {

// On every change event of the page's list.
inline bool ConvertEnabledForList(std::size_t entryCount) {
    return entryCount > 0;
}

// On every change of the target folder text, on the pages whose row has `folderRule`.
inline bool ConvertEnabledForFolder(std::string_view folderText) {
    return !folderText.empty();
}

}  // namespace veskar
