// SPDX-License-Identifier: Apache-2.0
#include "core/common/name_extension.h"

#include <cctype>

#include "platform/platform.h"

namespace veskar {

namespace {

std::size_t LastSeparator(std::string_view name) {
    for (std::size_t i = name.size(); i > 0; --i)
        if (platform::IsSeparator(name[i - 1])) return i;
    return 0;
}

}  // namespace

std::string_view NameExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < LastSeparator(name)) return {};
    return name.substr(dot);
}

void ReplaceExtension(std::string& name, std::string_view text) {
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.size() - dot <= 5)
        name.resize(dot + 1);
    else
        name.push_back('.');
    for (char c : text)
        name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
}

}  // namespace veskar
