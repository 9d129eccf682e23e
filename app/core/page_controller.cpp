// SPDX-License-Identifier: Apache-2.0
#include "app/core/page_controller.h"

#include <algorithm>

#include "app/core/button_rules.h"
#include "app/core/conversion_run.h"
#include "app/core/file_intake.h"
#include "app/core/folder_chooser.h"

namespace veskar {

namespace {

// A page's list as the conversion run and the intake see it.
class PageEntries : public SourceList, public IntakeList {
  public:
    PageEntries(PageView& view, Page page) : view_(view), page_(page) {}
    std::size_t Count() const override { return view_.EntryCount(page_); }
    std::string FirstText() const override { return TextAt(0); }
    void DeleteFirst() override { view_.DeleteFirstEntry(page_); }
    std::string TextAt(std::size_t index) const override { return view_.EntryText(page_, index); }
    void Add(const std::string& text) override { view_.AddEntry(page_, text); }

  private:
    PageView& view_;
    Page page_;
};

class ExitButton : public EnabledControl {
  public:
    explicit ExitButton(PageView& view) : view_(view) {}
    void SetEnabled(bool enabled) override { view_.EnableExit(enabled); }

  private:
    PageView& view_;
};

class PageFolderBox : public FolderBox {
  public:
    PageFolderBox(PageView& view, Page page) : view_(view), page_(page) {}
    void SetText(const std::string& text) override { view_.SetFolderText(page_, text); }

  private:
    PageView& view_;
    Page page_;
};

}  // namespace

void PageController::Show() {
    for (const PageRow& row : Pages()) {
        view_.AcceptDrops(row.page, true);
        view_.ClearFolder(row.page);
    }
}

void PageController::Close() {
    for (const PageRow& row : Pages())
        view_.AcceptDrops(row.page, false);
}

void PageController::ListChanged(Page page, std::size_t leaving) {
    const std::size_t count = view_.EntryCount(page);
    view_.EnableConvert(page, ConvertEnabledForList(count - std::min(count, leaving)));
}

void PageController::FolderChanged(Page page) {
    if (!RowOf(page).folderRule) return;
    view_.EnableConvert(page, ConvertEnabledForFolder(view_.FolderText(page)));
}

void PageController::BrowseClicked(Page page) {
    PageFolderBox box(view_, page);
    ExitButton exit(view_);
    BrowseClick([this](std::string_view prompt) { return view_.BrowseForFolder(prompt); }, box,
                exit, [this] { view_.Beep(); });
}

void PageController::ConvertClicked(Page page) {
    PageEntries entries(view_, page);
    ExitButton exit(view_);
    RunConversion(
        entries, exit, view_.FolderText(page),
        [this, page](std::string_view target, std::string_view source) {
            return import_(page, target, source);
        },
        RowOf(page).skipCompanions);
}

void PageController::FilesDropped(Page page, const std::vector<std::string>& paths) {
    // Drawn in front before a message box can open over it.
    view_.BringToFront();
    PageEntries entries(view_, page);
    TakeDroppedPaths(entries, paths,
                     [this](const std::string& path) { view_.ShowDuplicate(path); });
}

}  // namespace veskar
