// SPDX-License-Identifier: Apache-2.0
#include "app/core/window_layout.h"

#include "core/binhex_import.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/binhex/binhex_format.h"
#include "core/read/macbinary.h"

namespace veskar {

namespace {

constexpr std::array<PageRow, kPageCount> kPages{{
    {Page::BinHex, "Binhex", "TabBinhex", "GBBinHex", "ListeBinHex", "GBDossBinHex",
     "DossierBinHex", "BrowseBinHex", "ExeBinHex", "LBH", 190, false, true},
    {Page::McBinary, "McBinary", "TabMcBinary", "GBMcBinary", "ListeMcBinary", "GroupBox6",
     "DossierMcBinary", "BrowseMcBinary", "ExeMcBinary", "LMB", 190, false, false},
    {Page::AppleSingle, "AppleSingle", "TabAppleSingle", "GBAppleSingle", "ListeAppleSingle",
     "GPDossAppleSingle", "DossierAppleSingle", "BrowseAppleSingle", "ExeAppleSingle", "LAS", 189,
     false, false},
    {Page::AppleDouble, "AppleDouble", "TabAppleDouble", "GPAppleDouble", "ListeAppleDouble",
     "GBDossAppleDouble", "DossierAppleDouble", "BrowseAppleDouble", "ExeAppleDouble", "LAD", 189,
     true, false},
}};

// The imports take an optional report that a run has no use for.
template <auto Import>
ImportResult Unreported(std::string_view targetFolder, std::string_view sourcePath) {
    return Import(targetFolder, sourcePath, nullptr);
}

// Indexed by Page.
std::array<ImportOperation, kPageCount> pageImports{
    &Unreported<&ImportBinHex>,
    &Unreported<&ImportMacBinary>,
    &Unreported<&ImportAppleSingle>,
    &Unreported<&ImportAppleDouble>,
};

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

ImportOperation ImportOperationOf(Page page) {
    return pageImports[static_cast<std::size_t>(page)];
}

ImportOperation ReplaceImportOperation(Page page, ImportOperation operation) {
    ImportOperation& slot = pageImports[static_cast<std::size_t>(page)];
    const ImportOperation previous = slot;
    slot = operation;
    return previous;
}

}  // namespace veskar
