// SPDX-License-Identifier: Apache-2.0
// What each page of the window does on its events, free of any toolkit: the Qt and the Win32
// windows forward their named handlers here and show their controls through PageView.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/core/window_layout.h"

namespace veskar {

// A window's pages as the controller sees them. Paths and folder texts are native strings
// (8-bit Windows text on Windows).
class PageView {
  public:
    virtual ~PageView() = default;

    // The page's list, which keeps its entries in ascending order itself.
    virtual std::size_t EntryCount(Page page) = 0;
    virtual std::string EntryText(Page page, std::size_t index) = 0;
    virtual void AddEntry(Page page, const std::string& text) = 0;
    virtual void DeleteFirstEntry(Page page) = 0;
    // Whether the list takes files dropped on it.
    virtual void AcceptDrops(Page page, bool accept) = 0;

    // The target folder box; setting its text raises its change event, and so does emptying
    // it as the first show does.
    virtual std::string FolderText(Page page) = 0;
    virtual void SetFolderText(Page page, const std::string& text) = 0;
    virtual void ClearFolder(Page page) = 0;

    virtual void EnableConvert(Page page, bool enabled) = 0;
    virtual void EnableExit(bool enabled) = 0;

    // The folder dialog, as BrowseForFolderCall in folder_chooser.h.
    virtual std::optional<std::string> BrowseForFolder(std::string_view prompt) = 0;
    virtual void Beep() = 0;
    // Raises the window and draws it at once.
    virtual void BringToFront() = 0;
    // Tells the user that `path` is already in the list (DuplicateEntryMessage); returns when
    // the user has closed the message.
    virtual void ShowDuplicate(const std::string& path) = 0;
};

class PageController {
  public:
    // `import`: what Convert runs for each entry (tests watch the calls a run makes with one
    // of their own).
    explicit PageController(PageView& view, PageImport import = ImportOfPage)
        : view_(view), import_(std::move(import)) {}

    // The first show: every list takes drops and every target folder box is emptied.
    void Show();
    // The close: the lists take no more drops.
    void Close();

    // The list's change event. `leaving` counts the entries the list still holds that are
    // being deleted, for a list that tells of a deletion before the entry goes.
    void ListChanged(Page page, std::size_t leaving = 0);
    void FolderChanged(Page page);
    void BrowseClicked(Page page);
    void ConvertClicked(Page page);
    // A drop of these native paths, in drop order, on the page's list.
    void FilesDropped(Page page, const std::vector<std::string>& paths);

  private:
    PageView& view_;
    PageImport import_;
};

}  // namespace veskar
