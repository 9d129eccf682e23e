// SPDX-License-Identifier: Apache-2.0
#include "app/win32/tveskar_win32.h"

#include <commctrl.h>
#include <shlobj.h>  // DROPFILES

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "app/core/conversion_run.h"
#include "app/core/file_intake.h"
#include "app/core/window_texts.h"
#include "app/win32/ansi_text_win32.h"
#include "app/win32/browse_for_folder_win32.h"
#include "app/win32/control_ids_win32.h"
#include "app/win32/registry_settings_win32.h"
#include "platform/platform.h"

namespace veskar {

TVESKAR* VESKAR = nullptr;

namespace {

using control_id::Part;

#ifdef VESKAR_TEST_HOOK
// A hook drop waiting for the message loop: its page and its names.
constexpr UINT kHookDropMessage = WM_APP + 1;
struct PendingDrop {
    Page page;
    std::string names;
};
#endif

constexpr const char* kPageClass = "TTabSheet";

std::string WindowText(HWND window) {
    std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1);
    const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

HWND Make(HWND parent, const char* windowClass, std::string_view text, DWORD style,
          DWORD extendedStyle, const Rect& rect, int id, HFONT font) {
    const std::string ansi = AnsiText(text);
    HWND window = ::CreateWindowExA(
        extendedStyle, windowClass, ansi.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
        rect.left, rect.top, rect.width, rect.height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return window;
}

// A rectangle inside a group box, in the coordinates of the page that holds both.
Rect Inside(const Rect& box, const Rect& rect) {
    return {box.left + rect.left, box.top + rect.top, rect.width, rect.height};
}

// One page's controls. The edit box starts with the text the stored layout gives it, its own name;
// the first show clears it.
void MakePage(const PageRow& row, HWND tab, HFONT font, HWND& filesBox, HWND& list, HWND& targetBox,
              HWND& folder, HWND& browse, HWND& convert) {
    const Page page = row.page;
    const Rect target = layout::TargetBox(page);
    filesBox = Make(tab, "BUTTON", texts::kFilesBoxCaption, BS_GROUPBOX, 0, layout::kFilesBox,
                    control_id::Of(page, Part::FilesBox), font);
    targetBox = Make(tab, "BUTTON", texts::kTargetBoxCaption, BS_GROUPBOX, 0, target,
                     control_id::Of(page, Part::TargetBox), font);
    list =
        Make(tab, WC_LISTVIEWA, "",
             WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SORTASCENDING | LVS_SHOWSELALWAYS,
             WS_EX_CLIENTEDGE, Inside(layout::kFilesBox, layout::kList),
             control_id::Of(page, Part::List), font);
    folder = Make(tab, "EDIT", row.folder, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                  Inside(target, layout::kFolder), control_id::Of(page, Part::Folder), font);
    browse = Make(tab, "BUTTON", texts::kBrowseCaption, WS_TABSTOP | BS_PUSHBUTTON, 0,
                  Inside(target, layout::kBrowse), control_id::Of(page, Part::Browse), font);
    convert = Make(tab, "BUTTON", texts::kConvertCaption, WS_TABSTOP | BS_PUSHBUTTON, 0,
                   layout::kConvert, control_id::Of(page, Part::Convert), font);
    // A group box paints its whole area, so it lies below the controls it frames.
    for (HWND box : {filesBox, targetBox})
        ::SetWindowPos(box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (VESKAR != nullptr && VESKAR->Handle() == window)
        return VESKAR->FormWndProc(message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// A page hands its controls' notifications to the form, as the form owns every handler.
LRESULT CALLBACK PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_NOTIFY)
        return ::SendMessageA(::GetAncestor(window, GA_ROOT), message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The replacements installed in the lists, each bound to the main form.
LRESULT CALLBACK LBHProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return VESKAR->LBHNewWndProc(message, wParam, lParam);
}
LRESULT CALLBACK LMBProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return VESKAR->LMBNewWndProc(message, wParam, lParam);
}
LRESULT CALLBACK LASProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return VESKAR->LASNewWndProc(message, wParam, lParam);
}
LRESULT CALLBACK LADProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return VESKAR->LADNewWndProc(message, wParam, lParam);
}
// Indexed by Page.
constexpr std::array<WNDPROC, kPageCount> kListProcedures{LBHProcedure, LMBProcedure, LASProcedure,
                                                          LADProcedure};

bool RegisterClasses(HINSTANCE instance) {
    WNDCLASSA form{};
    form.lpfnWndProc = FormProcedure;
    form.hInstance = instance;
    form.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    form.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = test_hook::kFormClass;
    WNDCLASSA page = form;
    page.lpfnWndProc = PageProcedure;
    page.hIcon = nullptr;
    page.lpszClassName = kPageClass;
    return ::RegisterClassA(&form) != 0 && ::RegisterClassA(&page) != 0;
}

}  // namespace

TVESKAR::TVESKAR(HINSTANCE instance, HWND application) {
    RegisterClasses(instance);
    VESKAR = this;
    createForm(instance, application);
    createPages(instance);
    createLists();
}

TVESKAR::PageControls TVESKAR::ControlsOf(Page page) const {
    switch (page) {
        case Page::BinHex:
            return {TabBinhex,     GBBinHex,     ListeBinHex, GBDossBinHex,
                    DossierBinHex, BrowseBinHex, ExeBinHex};
        case Page::McBinary:
            return {TabMcBinary,     GBMcBinary,     ListeMcBinary, GroupBox6,
                    DossierMcBinary, BrowseMcBinary, ExeMcBinary};
        case Page::AppleSingle:
            return {TabAppleSingle,     GBAppleSingle,     ListeAppleSingle, GPDossAppleSingle,
                    DossierAppleSingle, BrowseAppleSingle, ExeAppleSingle};
        case Page::AppleDouble:
            break;
    }
    return {TabAppleDouble,     GPAppleDouble,     ListeAppleDouble, GBDossAppleDouble,
            DossierAppleDouble, BrowseAppleDouble, ExeAppleDouble};
}

// A fixed single border; the client area is the layout's, at the layout's place.
void TVESKAR::createForm(HINSTANCE instance, HWND application) {
    constexpr DWORD style =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, layout::kForm.width, layout::kForm.height};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    const std::string caption = AnsiText(texts::kFormCaption);
    form_ = ::CreateWindowExA(0, test_hook::kFormClass, caption.c_str(), style, layout::kForm.left,
                              layout::kForm.top, frame.right - frame.left, frame.bottom - frame.top,
                              application, nullptr, instance, nullptr);
    // "MS Sans Serif" at 8 points, 11 pixels high at 96 dpi.
    font_ = ::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    ::SendMessageA(form_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    Fermer = Make(form_, "BUTTON", texts::kExitCaption, WS_TABSTOP | BS_PUSHBUTTON, 0,
                  layout::kExit, control_id::kExit, font_);
    // One simple panel, never written.
    Barre = Make(form_, STATUSCLASSNAMEA, "", CCS_NORESIZE | CCS_NOPARENTALIGN, 0,
                 layout::kStatusBar, control_id::kStatusBar, font_);
    ::SendMessageA(Barre, SB_SIMPLE, TRUE, 0);
    Classeur = Make(form_, WC_TABCONTROLA, "", WS_TABSTOP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT,
                    layout::kPageControl, control_id::kPageControl, font_);
}

void TVESKAR::createPages(HINSTANCE instance) {
    HWND* tabs[] = {&TabBinhex, &TabMcBinary, &TabAppleSingle, &TabAppleDouble};
    RECT sheet{0, 0, layout::kPageControl.width, layout::kPageControl.height};
    for (const PageRow& row : Pages()) {
        const std::string caption = AnsiText(row.caption);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(caption.c_str());
        ::SendMessageA(Classeur, TCM_INSERTITEMA, static_cast<WPARAM>(row.page),
                       reinterpret_cast<LPARAM>(&item));
    }
    // The sheets fill the page control's display area, which is known once the tabs are in.
    ::SendMessageA(Classeur, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&sheet));
    for (const PageRow& row : Pages()) {
        const std::string name(row.tab);
        *tabs[static_cast<std::size_t>(row.page)] = ::CreateWindowExA(
            WS_EX_CONTROLPARENT, kPageClass, name.c_str(), WS_CHILD | WS_CLIPSIBLINGS, sheet.left,
            sheet.top, sheet.right - sheet.left, sheet.bottom - sheet.top, Classeur, nullptr,
            instance, nullptr);
    }
    MakePage(RowOf(Page::BinHex), TabBinhex, font_, GBBinHex, ListeBinHex, GBDossBinHex,
             DossierBinHex, BrowseBinHex, ExeBinHex);
    MakePage(RowOf(Page::AppleSingle), TabAppleSingle, font_, GBAppleSingle, ListeAppleSingle,
             GPDossAppleSingle, DossierAppleSingle, BrowseAppleSingle, ExeAppleSingle);
    MakePage(RowOf(Page::McBinary), TabMcBinary, font_, GBMcBinary, ListeMcBinary, GroupBox6,
             DossierMcBinary, BrowseMcBinary, ExeMcBinary);
    MakePage(RowOf(Page::AppleDouble), TabAppleDouble, font_, GPAppleDouble, ListeAppleDouble,
             GBDossAppleDouble, DossierAppleDouble, BrowseAppleDouble, ExeAppleDouble);
    showPage(static_cast<int>(kFirstPage));
}

// Report view, one column of automatic width and no header; several items may be selected.
void TVESKAR::createLists() {
    for (const PageRow& row : Pages()) {
        HWND list = ControlsOf(row.page).list;
        ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                       LVS_EX_FULLROWSELECT);
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH;
        column.cx = layout::kList.width;
        ::SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    }
}

void TVESKAR::showPage(int index) {
    ::SendMessageA(Classeur, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (const PageRow& row : Pages())
        ::ShowWindow(ControlsOf(row.page).tab,
                     static_cast<int>(row.page) == index ? SW_SHOW : SW_HIDE);
}

LRESULT TVESKAR::FormWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam && !shown_) {
                shown_ = true;
                FormShow();
            }
            break;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            onNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return 0;
#ifdef VESKAR_TEST_HOOK
        case WM_COPYDATA:
            return testHook(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case kHookDropMessage: {
            auto* pending = reinterpret_cast<PendingDrop*>(lParam);
            deliverHookDrop(pending->page, pending->names);
            delete pending;
            return 0;
        }
#endif
        case WM_CLOSE:
            FormClose();
            return 0;
        case WM_DESTROY:
            ::DeleteObject(font_);
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(form_, message, wParam, lParam);
}

bool TVESKAR::TakePageKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || ::GetKeyState(VK_CONTROL) >= 0)
        return false;
    if (message.hwnd != form_ && ::IsChild(form_, message.hwnd) == FALSE) return false;
    const auto current = static_cast<Page>(::SendMessageA(Classeur, TCM_GETCURSEL, 0, 0));
    const HWND focus = ::GetFocus();
    const bool focusOnPage = focus != nullptr && ::IsChild(ControlsOf(current).tab, focus);
    showPage(static_cast<int>(CycledPage(current, ::GetKeyState(VK_SHIFT) < 0)));
    // A hidden control would keep the keyboard: the page control takes it.
    if (focusOnPage) ::SetFocus(Classeur);
    return true;
}

void TVESKAR::onCommand(int id, int code) {
    if (id == control_id::kExit && code == BN_CLICKED) return FermerClick();
    using Handler = void (TVESKAR::*)();
    struct PageHandlers {
        Handler folderChange;
        Handler browseClick;
        Handler convertClick;
    };
    // Indexed by Page.
    static constexpr std::array<PageHandlers, kPageCount> handlers{{
        {&TVESKAR::DossierBinHexChange, &TVESKAR::BrowseBinHexClick, &TVESKAR::ExeBinHexClick},
        {&TVESKAR::DossierMcBinaryChange, &TVESKAR::BrowseMcBinaryClick,
         &TVESKAR::ExeMcBinaryClick},
        {&TVESKAR::DossierAppleSingleChange, &TVESKAR::BrowseAppleSingleClick,
         &TVESKAR::ExeAppleSingleClick},
        {&TVESKAR::DossierAppleDoubleChange, &TVESKAR::BrowseAppleDoubleClick,
         &TVESKAR::ExeAppleDoubleClick},
    }};
    for (const PageRow& row : Pages()) {
        const PageHandlers& on = handlers[static_cast<std::size_t>(row.page)];
        if (id == control_id::Of(row.page, Part::Folder) && code == EN_CHANGE)
            return (this->*on.folderChange)();
        if (id == control_id::Of(row.page, Part::Browse) && code == BN_CLICKED)
            return (this->*on.browseClick)();
        if (id == control_id::Of(row.page, Part::Convert) && code == BN_CLICKED)
            return (this->*on.convertClick)();
    }
}

// The list's change event: an item added, removed or changed (its selection included).
void TVESKAR::onNotify(const NMHDR& header) {
    if (header.idFrom == control_id::kPageControl && header.code == TCN_SELCHANGE) {
        showPage(static_cast<int>(::SendMessageA(Classeur, TCM_GETCURSEL, 0, 0)));
        return;
    }
    if (header.code != LVN_ITEMCHANGED && header.code != LVN_INSERTITEM &&
        header.code != LVN_DELETEITEM && header.code != LVN_DELETEALLITEMS)
        return;
    using Handler = void (TVESKAR::*)();
    static constexpr std::array<Handler, kPageCount> listChange{
        &TVESKAR::ListeBinHexChange, &TVESKAR::ListeMcBinaryChange,
        &TVESKAR::ListeAppleSingleChange, &TVESKAR::ListeAppleDoubleChange};
    for (const PageRow& row : Pages()) {
        if (header.idFrom != static_cast<UINT_PTR>(control_id::Of(row.page, Part::List))) continue;
        // Both deletions are told before the item goes: the list rule counts without it.
        if (header.code == LVN_DELETEITEM) listItemsLeaving_ = 1;
        if (header.code == LVN_DELETEALLITEMS) listItemsLeaving_ = EntryCount(row.page);
        (this->*listChange[static_cast<std::size_t>(row.page)])();
        listItemsLeaving_ = 0;
        return;
    }
}

void TVESKAR::FormShow() {
    pages_.Show();
    WindowSettings().SelectSettingsRoot();
}

void TVESKAR::FormClose() {
    pages_.Close();
    // The main form is freed, which ends the message loop.
    ::DestroyWindow(form_);
}

void TVESKAR::FermerClick() {
    ::SendMessageA(form_, WM_CLOSE, 0, 0);
}

void TVESKAR::ListeBinHexChange() {
    pages_.ListChanged(Page::BinHex, listItemsLeaving_);
}
void TVESKAR::ListeMcBinaryChange() {
    pages_.ListChanged(Page::McBinary, listItemsLeaving_);
}
void TVESKAR::ListeAppleSingleChange() {
    pages_.ListChanged(Page::AppleSingle, listItemsLeaving_);
}
void TVESKAR::ListeAppleDoubleChange() {
    pages_.ListChanged(Page::AppleDouble, listItemsLeaving_);
}

void TVESKAR::DossierBinHexChange() {
    pages_.FolderChanged(Page::BinHex);
}
void TVESKAR::DossierMcBinaryChange() {
    pages_.FolderChanged(Page::McBinary);
}
void TVESKAR::DossierAppleSingleChange() {
    pages_.FolderChanged(Page::AppleSingle);
}
void TVESKAR::DossierAppleDoubleChange() {
    pages_.FolderChanged(Page::AppleDouble);
}

void TVESKAR::BrowseBinHexClick() {
    pages_.BrowseClicked(Page::BinHex);
}
void TVESKAR::BrowseMcBinaryClick() {
    pages_.BrowseClicked(Page::McBinary);
}
void TVESKAR::BrowseAppleSingleClick() {
    pages_.BrowseClicked(Page::AppleSingle);
}
void TVESKAR::BrowseAppleDoubleClick() {
    pages_.BrowseClicked(Page::AppleDouble);
}

void TVESKAR::ExeBinHexClick() {
    pages_.ConvertClicked(Page::BinHex);
}
void TVESKAR::ExeMcBinaryClick() {
    pages_.ConvertClicked(Page::McBinary);
}
void TVESKAR::ExeAppleSingleClick() {
    pages_.ConvertClicked(Page::AppleSingle);
}
void TVESKAR::ExeAppleDoubleClick() {
    pages_.ConvertClicked(Page::AppleDouble);
}

LRESULT TVESKAR::listProcedure(Page page, UINT message, WPARAM wParam, LPARAM lParam) {
    const PageControls controls = ControlsOf(page);
    if (message == WM_DROPFILES) {
        takeDrop(page, reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return ::CallWindowProcA(savedListProcs_[static_cast<std::size_t>(page)], controls.list,
                             message, wParam, lParam);
}

LRESULT TVESKAR::LBHNewWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return listProcedure(Page::BinHex, message, wParam, lParam);
}
LRESULT TVESKAR::LMBNewWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return listProcedure(Page::McBinary, message, wParam, lParam);
}
LRESULT TVESKAR::LASNewWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return listProcedure(Page::AppleSingle, message, wParam, lParam);
}
LRESULT TVESKAR::LADNewWndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return listProcedure(Page::AppleDouble, message, wParam, lParam);
}

void TVESKAR::takeDrop(Page page, HDROP drop) {
    const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::string> paths;
    for (UINT i = 0; i < count; ++i) {
        // The shell cuts a longer name to 255 characters and the zero.
        char name[kRunPathChars + 1] = "";
        ::DragQueryFileA(drop, i, name, sizeof name);
        paths.push_back(name);
    }
    pages_.FilesDropped(page, paths);
    ::DragFinish(drop);
}

void TVESKAR::LBHDropFiles(HDROP drop) {
    takeDrop(Page::BinHex, drop);
}
void TVESKAR::LMBDropFiles(HDROP drop) {
    takeDrop(Page::McBinary, drop);
}
void TVESKAR::LASDropFiles(HDROP drop) {
    takeDrop(Page::AppleSingle, drop);
}
void TVESKAR::LADDropFiles(HDROP drop) {
    takeDrop(Page::AppleDouble, drop);
}

std::size_t TVESKAR::EntryCount(Page page) {
    return static_cast<std::size_t>(::SendMessageA(ControlsOf(page).list, LVM_GETITEMCOUNT, 0, 0));
}

std::string TVESKAR::EntryText(Page page, std::size_t index) {
    // Entries hold at most 255 characters; the buffer has room for them and the zero.
    char text[kRunPathChars + 1] = "";
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(ControlsOf(page).list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The list, sorted ascending, puts the item in its place.
void TVESKAR::AddEntry(Page page, const std::string& text) {
    const HWND list = ControlsOf(page).list;
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(EntryCount(page));
    item.pszText = const_cast<char*>(text.c_str());
    ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
}

void TVESKAR::DeleteFirstEntry(Page page) {
    ::SendMessageA(ControlsOf(page).list, LVM_DELETEITEM, 0, 0);
}

// Taking drops replaces the list's window procedure; the close puts the list's own back.
void TVESKAR::AcceptDrops(Page page, bool accept) {
    const HWND list = ControlsOf(page).list;
    ::DragAcceptFiles(list, accept ? TRUE : FALSE);
    WNDPROC& saved = savedListProcs_[static_cast<std::size_t>(page)];
    if (accept) {
        saved = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            list, GWLP_WNDPROC,
            reinterpret_cast<LONG_PTR>(kListProcedures[static_cast<std::size_t>(page)])));
        return;
    }
    if (saved != nullptr)
        ::SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
    saved = nullptr;
}

std::string TVESKAR::FolderText(Page page) {
    return WindowText(ControlsOf(page).folder);
}

void TVESKAR::SetFolderText(Page page, const std::string& text) {
    ::SetWindowTextA(ControlsOf(page).folder, text.c_str());
}

void TVESKAR::ClearFolder(Page page) {
    SetFolderText(page, "");
}

void TVESKAR::EnableConvert(Page page, bool enabled) {
    ::EnableWindow(ControlsOf(page).convert, enabled ? TRUE : FALSE);
}

void TVESKAR::EnableExit(bool enabled) {
    ::EnableWindow(Fermer, enabled ? TRUE : FALSE);
}

std::optional<std::string> TVESKAR::BrowseForFolder(std::string_view prompt) {
    return veskar::BrowseForFolder(form_, prompt);
}

void TVESKAR::Beep() {
    ::MessageBeep(MB_OK);
}

void TVESKAR::BringToFront() {
    ::SetForegroundWindow(form_);
    ::RedrawWindow(form_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The shared message's own words are UTF-8; the path is ANSI, as it came.
void TVESKAR::ShowDuplicate(const std::string& path) {
    const std::string text = AnsiText(DuplicateEntryMessage(platform::NativeToUtf8(path)));
    const std::string title = AnsiText(texts::kMessageTitle);
    ::MessageBoxA(form_, text.c_str(), title.c_str(), MB_OK);
}

#ifdef VESKAR_TEST_HOOK
// Only the test build has it: the program users run answers no other program's message
// with a drop or a file written at a path that program names.
LRESULT TVESKAR::testHook(const COPYDATASTRUCT& data) {
    if ((data.dwData != test_hook::kDrop && data.dwData != test_hook::kListEntries) ||
        data.cbData < 1 || data.lpData == nullptr)
        return FALSE;
    const auto* bytes = static_cast<const char*>(data.lpData);
    const auto index = static_cast<unsigned char>(bytes[0]);
    if (index >= kPageCount) return FALSE;
    const Page page = static_cast<Page>(index);
    const std::string rest(bytes + 1, data.cbData - 1);
    if (data.dwData == test_hook::kDrop) {
        // Answered at once; the drop follows from the message loop.
        auto* pending = new (std::nothrow) PendingDrop{page, rest};
        if (pending == nullptr) return FALSE;
        if (!::PostMessageA(form_, kHookDropMessage, 0, reinterpret_cast<LPARAM>(pending))) {
            delete pending;
            return FALSE;
        }
        return TRUE;
    }
    const std::string path = rest.substr(0, rest.find('\0'));
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return FALSE;
    for (std::size_t i = 0; i < EntryCount(page); ++i)
        std::fprintf(out, "%s\n", EntryText(page, i).c_str());
    return std::fclose(out) == 0;
}

// A drop handle as the shell makes one: a DROPFILES header, then the names, each ended by a
// zero, and one more zero. DragFinish frees it.
void TVESKAR::deliverHookDrop(Page page, const std::string& names) {
    std::string list = names;
    if (list.empty() || list.back() != '\0') list.push_back('\0');
    list.push_back('\0');
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    if (memory == nullptr) return;
    auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size());
    ::GlobalUnlock(memory);
    ::SendMessageA(ControlsOf(page).list, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}
#endif

}  // namespace veskar
