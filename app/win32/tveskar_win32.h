// SPDX-License-Identifier: Apache-2.0
// The main window on Windows, in native Win32: four pages, one per encoding, each with its
// list of files to convert, a target folder box and a Convert button. The behaviour that is
// not drawing lives in app/core (the pages' rules in PageController) and app/core/conversion_run;
// this class binds it to Win32 controls.
#pragma once

// <windows.h> comes before the headers that build on it.
#include <windows.h>

#include <shellapi.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/page_controller.h"
#include "app/core/window_layout.h"

namespace veskar {

class TVESKAR : private PageView {
  public:
    // Builds the form and its controls as the layout gives them, hidden, owned by the
    // application window (which carries the task bar's name).
    TVESKAR(HINSTANCE instance, HWND application);
    TVESKAR(const TVESKAR&) = delete;
    TVESKAR& operator=(const TVESKAR&) = delete;

    HWND Handle() const { return form_; }

    // The controls, named and declared as the form's layout has them.
    HWND Fermer = nullptr;
    HWND Barre = nullptr;
    HWND Classeur = nullptr;
    HWND TabBinhex = nullptr;
    HWND TabMcBinary = nullptr;
    HWND TabAppleSingle = nullptr;
    HWND TabAppleDouble = nullptr;
    HWND GBBinHex = nullptr;
    HWND ListeBinHex = nullptr;
    HWND GBDossBinHex = nullptr;
    HWND DossierBinHex = nullptr;
    HWND BrowseBinHex = nullptr;
    HWND ExeBinHex = nullptr;
    HWND GBAppleSingle = nullptr;
    HWND ListeAppleSingle = nullptr;
    HWND GPDossAppleSingle = nullptr;
    HWND DossierAppleSingle = nullptr;
    HWND BrowseAppleSingle = nullptr;
    HWND ExeAppleSingle = nullptr;
    HWND GBMcBinary = nullptr;
    HWND ListeMcBinary = nullptr;
    HWND GroupBox6 = nullptr;
    HWND DossierMcBinary = nullptr;
    HWND BrowseMcBinary = nullptr;
    HWND ExeMcBinary = nullptr;
    HWND GPAppleDouble = nullptr;
    HWND ListeAppleDouble = nullptr;
    HWND GBDossAppleDouble = nullptr;
    HWND DossierAppleDouble = nullptr;
    HWND BrowseAppleDouble = nullptr;
    HWND ExeAppleDouble = nullptr;

    // The controls of one page, for code that works on any page.
    struct PageControls {
        HWND tab;
        HWND filesBox;
        HWND list;
        HWND targetBox;
        HWND folder;
        HWND browse;
        HWND convert;
    };
    PageControls ControlsOf(Page page) const;

    // Handlers, named after the control and the event.
    void FormShow();
    void FormClose();
    void FermerClick();
    void ListeBinHexChange();
    void ListeMcBinaryChange();
    void ListeAppleSingleChange();
    void ListeAppleDoubleChange();
    void DossierBinHexChange();
    void DossierMcBinaryChange();
    void DossierAppleSingleChange();
    void DossierAppleDoubleChange();
    void BrowseBinHexClick();
    void BrowseMcBinaryClick();
    void BrowseAppleSingleClick();
    void BrowseAppleDoubleClick();
    void ExeBinHexClick();
    void ExeMcBinaryClick();
    void ExeAppleSingleClick();
    void ExeAppleDoubleClick();

    // The lists' window procedures while they are replaced, and their drop handlers.
    LRESULT LBHNewWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT LMBNewWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT LASNewWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT LADNewWndProc(UINT message, WPARAM wParam, LPARAM lParam);
    void LBHDropFiles(HDROP drop);
    void LMBDropFiles(HDROP drop);
    void LASDropFiles(HDROP drop);
    void LADDropFiles(HDROP drop);

    // The form's window procedure.
    LRESULT FormWndProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Ctrl+Tab and Ctrl+Shift+Tab for any window of the form, taken from the message loop
    // before the controls see them: true when the message turned the page.
    bool TakePageKey(const MSG& message);

  private:
    void createForm(HINSTANCE instance, HWND application);
    void createPages(HINSTANCE instance);
    void createLists();

    void onCommand(int id, int code);
    void onNotify(const NMHDR& header);
    void showPage(int index);
    void takeDrop(Page page, HDROP drop);
    LRESULT listProcedure(Page page, UINT message, WPARAM wParam, LPARAM lParam);

    // PageView, over the page's controls. Entries and folder texts are ANSI paths, as the
    // shell drops them.
    std::size_t EntryCount(Page page) override;
    std::string EntryText(Page page, std::size_t index) override;
    void AddEntry(Page page, const std::string& text) override;
    void DeleteFirstEntry(Page page) override;
    void AcceptDrops(Page page, bool accept) override;
    std::string FolderText(Page page) override;
    void SetFolderText(Page page, const std::string& text) override;
    void ClearFolder(Page page) override;
    void EnableConvert(Page page, bool enabled) override;
    void EnableExit(bool enabled) override;
    std::optional<std::string> BrowseForFolder(std::string_view prompt) override;
    void Beep() override;
    void BringToFront() override;
    void ShowDuplicate(const std::string& path) override;
#ifdef VESKAR_TEST_HOOK
    LRESULT testHook(const COPYDATASTRUCT& data);
    void deliverHookDrop(Page page, const std::string& names);
#endif

    HWND form_ = nullptr;
    HFONT font_ = nullptr;
    bool shown_ = false;
    // The items of a list that are being deleted while its change event runs: the list still
    // counts them then.
    std::size_t listItemsLeaving_ = 0;
    // The lists' own window procedures, kept while the replacements are installed.
    std::array<WNDPROC, kPageCount> savedListProcs_{};
    PageController pages_{*this};
};

// The main form, the one instance.
extern TVESKAR* VESKAR;

}  // namespace veskar
