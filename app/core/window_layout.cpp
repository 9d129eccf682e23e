// SPDX-License-Identifier: Apache-2.0
#include "app/core/window_layout.h"

#include "core/import_report.h"
#include "core/import_request.h"

namespace veskar {

namespace {

constexpr std::array<PageRow, kPageCount> kPages{{
    {Page::BinHex, formats::Format::BinHex, "Binhex", "TabBinhex", "GBBinHex", "ListeBinHex",
     "GBDossBinHex", "DossierBinHex", "BrowseBinHex", "ExeBinHex", "LBH", 190, false, true},
    {Page::McBinary, formats::Format::MacBinary, "McBinary", "TabMcBinary", "GBMcBinary",
     "ListeMcBinary", "GroupBox6", "DossierMcBinary", "BrowseMcBinary", "ExeMcBinary", "LMB", 190,
     false, false},
    {Page::AppleSingle, formats::Format::AppleSingle, "AppleSingle", "TabAppleSingle",
     "GBAppleSingle", "ListeAppleSingle", "GPDossAppleSingle", "DossierAppleSingle",
     "BrowseAppleSingle", "ExeAppleSingle", "LAS", 189, false, false},
    {Page::AppleDouble, formats::Format::AppleDouble, "AppleDouble", "TabAppleDouble",
     "GPAppleDouble", "ListeAppleDouble", "GBDossAppleDouble", "DossierAppleDouble",
     "BrowseAppleDouble", "ExeAppleDouble", "LAD", 189, true, false},
}};

}  // namespace

const std::array<PageRow, kPageCount>& Pages() {
    return kPages;
}

const PageRow& RowOf(Page page) {
    return kPages[static_cast<std::size_t>(page)];
}

Rect layout::TargetBox(Page page) {
    return {0, RowOf(page).targetBoxTop, 332, 73};
}

ImportResult ImportOfPage(Page page, std::string_view targetFolder, std::string_view sourcePath) {
    ImportReport unread;
    return formats::RowOf(RowOf(page).format)
        .import(targetFolder, sourcePath, ImportRequest{}, unread, nullptr);
}

}  // namespace veskar
