// SPDX-License-Identifier: Apache-2.0
// The conversion run over a page's list, with the list and Exit button played by plain
// objects and the import by a recorder.
#include "app/core/conversion_run.h"
#include "core/read/appledouble.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace veskar {

namespace {

class SortedList : public SourceList {
  public:
    explicit SortedList(std::vector<std::string> entries) : entries_(std::move(entries)) {
        std::sort(entries_.begin(), entries_.end());
    }
    std::size_t Count() const override { return entries_.size(); }
    std::string FirstText() const override { return entries_.front(); }
    void DeleteFirst() override { entries_.erase(entries_.begin()); }

  private:
    std::vector<std::string> entries_;
};

class Button : public EnabledControl {
  public:
    void SetEnabled(bool enabled) override { states.push_back(enabled); }
    std::vector<bool> states;
};

std::vector<std::pair<std::string, std::string>> calls;

ImportResult Record(std::string_view target, std::string_view source) {
    calls.emplace_back(target, source);
    return source.ends_with(".txt") ? ImportResult::WrongKind : ImportResult::Converted;
}

class ConversionRun : public testing::Test {
  protected:
    void SetUp() override { calls.clear(); }
};

TEST_F(ConversionRun, ProcessesEveryEntryInListOrderAndEmptiesTheList) {
    SortedList list({"/in/b.hqx", "/in/a.hqx", "/in/notes.txt", "/in/c.hqx"});
    Button exit;
    RunConversion(list, exit, "/out/", Record, false);
    const std::vector<std::pair<std::string, std::string>> want = {{"/out/", "/in/a.hqx"},
                                                                   {"/out/", "/in/b.hqx"},
                                                                   {"/out/", "/in/c.hqx"},
                                                                   {"/out/", "/in/notes.txt"}};
    EXPECT_EQ(calls, want);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(exit.states, (std::vector<bool>{false, true}));
}

TEST_F(ConversionRun, AppleDoublePageSkipsCompanions) {
    SortedList list({"/in/._Photo", "/in/Photo", "/in/._Lonely"});
    Button exit;
    RunConversion(list, exit, "/out/", Record, true);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, "/in/Photo");
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(ConversionRun, OtherPagesPassCompanionsOn) {
    SortedList list({"/in/._Photo"});
    Button exit;
    RunConversion(list, exit, "", Record, false);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::pair<std::string, std::string>{"", "/in/._Photo"}));
}

TEST_F(ConversionRun, EmptyListOnlyTogglesExit) {
    SortedList list({});
    Button exit;
    RunConversion(list, exit, "/out/", Record, false);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(exit.states, (std::vector<bool>{false, true}));
}

TEST_F(ConversionRun, PathsAreCutTo255Characters) {
    const std::string longPath = "/" + std::string(300, 'p');
    SortedList list({longPath});
    Button exit;
    // From the root: a relative folder would be made absolute after the cut.
    RunConversion(list, exit, "/" + std::string(299, 't'), Record, false);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first.size(), 255u);
    EXPECT_EQ(calls[0].second, longPath.substr(0, 255));
}

TEST(IsAppleDoubleCompanion, LooksAtTheFileNameOnly) {
    EXPECT_TRUE(IsAppleDoubleCompanion("/in/._Photo"));
    EXPECT_TRUE(IsAppleDoubleCompanion("._Photo"));
    EXPECT_FALSE(IsAppleDoubleCompanion("/in/._dir/Photo"));
    EXPECT_FALSE(IsAppleDoubleCompanion("/in/x._Photo"));
}

}  // namespace

}  // namespace veskar
