// SPDX-License-Identifier: Apache-2.0
// The imports' progress count: a pass counts its share of the source in proportion, never
// more, and all of it when it ends; passes inside a pass count into its share; the watcher
// sees every step and the count never goes back.
#include "core/common/import_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace veskar {

namespace {

class Recorder : public import_progress::Watcher {
  public:
    Recorder() { import_progress::Watch(this); }
    ~Recorder() { import_progress::Watch(nullptr); }
    void Advanced(std::uint64_t moved) override { seen.push_back(moved); }
    std::vector<std::uint64_t> seen;
};

TEST(ImportProgress, PassesCountTheirShareOfTheSource) {
    Recorder recorder;
    const std::uint64_t start = import_progress::Moved();
    const auto moved = [&] { return import_progress::Moved() - start; };

    import_progress::Advance(300);  // no pass: as it stands
    EXPECT_EQ(moved(), 300u);
    {
        // 1,000 bytes of an intermediate file standing for 100 of the source.
        const import_progress::Pass pass(100, 1000);
        import_progress::Advance(250);
        EXPECT_EQ(moved(), 325u);
        import_progress::Advance(5000);  // more than the pass said: its share, no more
        EXPECT_EQ(moved(), 400u);
    }
    EXPECT_EQ(moved(), 400u);
    {
        // A pass that ends early still counts all of its share.
        const import_progress::Pass pass(60, 600);
        import_progress::Advance(60);
        EXPECT_EQ(moved(), 406u);
    }
    EXPECT_EQ(moved(), 460u);
    {
        // An inner pass counts into the outer one's share: 900 bytes standing for 90 of a
        // 180-byte outer pass, which stands for 30 bytes of the source.
        const import_progress::Pass outer(30, 180);
        {
            const import_progress::Pass inner(90, 900);
            import_progress::Advance(450);
            EXPECT_EQ(moved(), 467u);  // 45 of the outer pass's 180: 7.5 of its 30
        }
        EXPECT_EQ(moved(), 475u);
    }
    EXPECT_EQ(moved(), 490u);
    {
        const import_progress::Pass uncounted(0, 0);  // as the BinHex probe's reading
        import_progress::Advance(1 << 20);
    }
    EXPECT_EQ(moved(), 490u);

    ASSERT_FALSE(recorder.seen.empty());
    for (std::size_t i = 1; i < recorder.seen.size(); ++i)
        EXPECT_GT(recorder.seen[i], recorder.seen[i - 1]) << "step " << i;
    EXPECT_EQ(recorder.seen.back() - start, 490u);
}

}  // namespace

}  // namespace veskar
