// SPDX-License-Identifier: Apache-2.0
#include "core/mac_file.h"

#include "core/common/charsets.h"
#include "core/finder_info.h"

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

FinderInformation FinderInfoToWrite(const MacFileDescription& file) {
    return file.onServerVolume ? file.finderInfo : FinderInfoForAnotherMachine(file.finderInfo);
}

bool CarriesMacInformation(const MacFileDescription& file) {
    const FinderInformation info = FinderInfoToWrite(file);
    return std::any_of(info.begin(), info.end(), [](std::uint8_t b) { return b != 0; }) ||
           file.resource.length != 0 || !file.comment.empty() || !file.extendedAttributes.empty() ||
           file.macAttributes.value_or(0) != 0;
}

std::string NameAsUtf8(const MacFileDescription& file) {
    const std::string_view name = std::string_view(file.name).substr(0, file.name.find('\0'));
    if (file.nameCoding == NameCoding::Utf8) return std::string(name);
    return charsets::MacRomanToUtf8(name);
}

bool LooksLikeUtf8(std::string_view bytes) {
    bool wide = false;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t start = at;
        if (charsets::DecodeUtf8(bytes, at) == charsets::kNotUtf8) return false;
        wide = wide || at - start > 1;
    }
    return wide;
}

}  // namespace veskar
