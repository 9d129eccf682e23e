// SPDX-License-Identifier: Apache-2.0
// The page rules on a view that keeps its controls' state in memory; the windows' own tests
// run the same rules on real controls.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/core/page_controller.h"

namespace veskar {

namespace {

class MemoryView : public PageView {
  public:
    struct State {
        std::vector<std::string> entries;
        std::string folder = "initial";
        bool convert = true;
        bool drops = false;
    };
    std::array<State, kPageCount> pages;
    std::vector<std::string> events;

    State& Of(Page page) { return pages[static_cast<std::size_t>(page)]; }

    std::size_t EntryCount(Page page) override { return Of(page).entries.size(); }
    std::string EntryText(Page page, std::size_t index) override { return Of(page).entries[index]; }
    void AddEntry(Page page, const std::string& text) override { Of(page).entries.push_back(text); }
    void DeleteFirstEntry(Page page) override { Of(page).entries.erase(Of(page).entries.begin()); }
    void AcceptDrops(Page page, bool accept) override { Of(page).drops = accept; }
    std::string FolderText(Page page) override { return Of(page).folder; }
    void SetFolderText(Page page, const std::string& text) override { Of(page).folder = text; }
    void ClearFolder(Page page) override { Of(page).folder.clear(); }
    void EnableConvert(Page page, bool enabled) override { Of(page).convert = enabled; }
    void EnableExit(bool) override {}
    std::optional<std::string> BrowseForFolder(std::string_view) override { return {}; }
    void Beep() override { events.push_back("beep"); }
    void BringToFront() override { events.push_back("front"); }
    void ShowDuplicate(const std::string& path) override { events.push_back("listed " + path); }
};

TEST(PageController, ListRuleCountsOnlyTheEntriesThatStay) {
    MemoryView view;
    PageController pages(view);
    view.Of(Page::McBinary).entries = {"a"};
    pages.ListChanged(Page::McBinary);
    EXPECT_TRUE(view.Of(Page::McBinary).convert);
    pages.ListChanged(Page::McBinary, 1);
    EXPECT_FALSE(view.Of(Page::McBinary).convert);
}

TEST(PageController, FolderRuleRunsOnlyOnThePagesThatHaveIt) {
    MemoryView view;
    PageController pages(view);
    pages.Show();
    EXPECT_TRUE(view.Of(Page::AppleDouble).drops);
    EXPECT_EQ(view.Of(Page::AppleDouble).folder, "");
    pages.FolderChanged(Page::BinHex);
    pages.FolderChanged(Page::AppleDouble);
    EXPECT_FALSE(view.Of(Page::BinHex).convert);
    EXPECT_TRUE(view.Of(Page::AppleDouble).convert);
    pages.Close();
    EXPECT_FALSE(view.Of(Page::AppleDouble).drops);
}

TEST(PageController, DropComesToTheFrontThenRefusesEachListedPath) {
    MemoryView view;
    PageController pages(view);
    view.Of(Page::BinHex).entries = {"/x"};
    pages.FilesDropped(Page::BinHex, {"/x", "/y"});
    EXPECT_EQ(view.Of(Page::BinHex).entries, (std::vector<std::string>{"/x", "/y"}));
    EXPECT_EQ(view.events, (std::vector<std::string>{"front", "listed /x"}));
}

}  // namespace

}  // namespace veskar
