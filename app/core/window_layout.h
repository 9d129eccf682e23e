// SPDX-License-Identifier: Apache-2.0
// The window's pages and the geometry of its controls, free of any toolkit: the Qt and the
// Win32 windows build the same form from these rows.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

#include "app/core/conversion_run.h"
#include "core/formats.h"

namespace veskar {

// In the order of the tabs.
enum class Page { BinHex, McBinary, AppleSingle, AppleDouble };
constexpr std::size_t kPageCount = 4;

// Left, top, width, height in pixels at 96 dpi, relative to the parent control.
struct Rect {
    int left;
    int top;
    int width;
    int height;
};

struct PageRow {
    Page page;
    formats::Format format;    // what its list holds, and so the import its Convert runs
    std::string_view caption;  // the tab's text
    // Control names, as the window's members are called.
    std::string_view tab;
    std::string_view filesBox;
    std::string_view list;
    std::string_view targetBox;
    std::string_view folder;
    std::string_view browse;
    std::string_view convert;
    std::string_view initials;  // of the list: LBH, LMB, LAS, LAD
    int targetBoxTop;
    bool skipCompanions;  // the run leaves "._" companions to the import of their data file
    bool folderRule;      // Convert also follows whether the target folder is empty
};

const std::array<PageRow, kPageCount>& Pages();
const PageRow& RowOf(Page page);

// The page in front when the window opens.
constexpr Page kFirstPage = Page::AppleDouble;

// The page that Ctrl+Tab (or, `backwards`, Ctrl+Shift+Tab) brings to the front, wherever the
// focus is in the window: the next tab, the last one followed by the first.
constexpr Page CycledPage(Page current, bool backwards) {
    const std::size_t index = static_cast<std::size_t>(current);
    return static_cast<Page>((index + (backwards ? kPageCount - 1 : 1)) % kPageCount);
}

namespace layout {
// The form's position on the screen and its client area, which is fixed.
constexpr Rect kForm{441, 186, 348, 383};
// On the form.
constexpr Rect kExit{225, 333, 120, 27};
constexpr Rect kStatusBar{0, 364, 348, 19};
constexpr Rect kPageControl{3, 4, 342, 325};
// On each page; the list fills its group box, the edit box and Browse sit in theirs.
constexpr Rect kFilesBox{0, 0, 332, 188};
constexpr Rect kList{2, 15, 328, 171};
Rect TargetBox(Page page);
constexpr Rect kFolder{5, 15, 322, 21};
constexpr Rect kBrowse{204, 43, 120, 22};
constexpr Rect kConvert{212, 269, 120, 24};
}  // namespace layout

// The import a page's Convert button runs for each entry, as the window has it.
using PageImport =
    std::function<ImportResult(Page page, std::string_view targetFolder, std::string_view source)>;

// The window's import of each page: its format's import from the formats table, writing the
// NTFS output as the window writes it, with no report.
ImportResult ImportOfPage(Page page, std::string_view targetFolder, std::string_view sourcePath);

}  // namespace veskar
