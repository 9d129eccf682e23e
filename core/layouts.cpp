// SPDX-License-Identifier: Apache-2.0
#include "core/layouts.h"

#include "core/write/server_writer.h"
#include "core/write/sfm_writer.h"

namespace veskar {

namespace {

constexpr std::array<LayoutRow, 4> kLayouts{{
    {Layout::Sfm, "sfm", "NTFS named streams, for a Windows share"},
    {Layout::Fruit, "fruit", "a ._ file and netatalk's attribute, for Samba or netatalk"},
    {Layout::AppleDouble, "appledouble", "a ._ file only, for FAT, exFAT or a stick"},
    {Layout::StreamsXattr, "streams-xattr", "Samba's stream attributes"},
}};

}  // namespace

const std::array<LayoutRow, 4>& Layouts() {
    return kLayouts;
}

const LayoutRow& LayoutRowOf(Layout layout) {
    for (const auto& row : kLayouts)
        if (row.layout == layout) return row;
    return kLayouts.front();
}

std::optional<Layout> LayoutFromWord(std::string_view word) {
    for (const auto& row : kLayouts)
        if (row.word == word) return row.layout;
    return std::nullopt;
}

const OutputWriter& LayoutWriter(Layout layout) {
    static const SfmWriter sfm(SfmNaming::Translated, SfmFinderInfo::Whole, kLargeCopySize);
    static const ServerWriter fruit(ServerLayout::Fruit);
    static const ServerWriter appleDouble(ServerLayout::AppleDouble);
    static const ServerWriter streamsXattr(ServerLayout::StreamsXattr);
    switch (layout) {
        case Layout::Sfm:
            break;
        case Layout::Fruit:
            return fruit;
        case Layout::AppleDouble:
            return appleDouble;
        case Layout::StreamsXattr:
            return streamsXattr;
    }
    return sfm;
}

}  // namespace veskar
