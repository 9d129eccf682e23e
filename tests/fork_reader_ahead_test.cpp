// SPDX-License-Identifier: Apache-2.0
// A fork made on a second thread ahead of its copy hands out what the inner reader made, in
// its order, whatever the room asked for: the bytes up to the length and no further, a
// failure with its errno where it came, the progress counted meanwhile; and it stops midway.
#include "core/common/fork_reader_ahead.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "core/common/import_progress.h"

namespace veskar {

namespace {

// Bytes i % 251, 1,000 a read, each read counting 3 bytes of progress; a failure with EIO
// from `failAt` on.
class Counting final : public ForkReader {
  public:
    explicit Counting(std::uint64_t failAt = UINT64_MAX) : failAt_(failAt) {}
    std::int64_t Read(std::uint8_t* into, std::size_t room) override {
        if (made_ >= failAt_) {
            errno = EIO;
            return -1;
        }
        const std::size_t size = std::min<std::size_t>(room, 1000);
        for (std::size_t i = 0; i < size; ++i)
            into[i] = static_cast<std::uint8_t>(made_++ % 251);
        import_progress::Advance(3);
        return static_cast<std::int64_t>(size);
    }

  private:
    std::uint64_t failAt_;
    std::uint64_t made_ = 0;
};

constexpr std::uint64_t kLength = ForkReaderAhead::kLeastWorthIt + 12345;

}  // namespace

TEST(ForkReaderAhead, HandsOutTheInnerReadersBytesFailureAndProgressInOrder) {
    Counting inner;
    const std::uint64_t before = import_progress::Moved();
    ForkReaderAhead ahead(inner, kLength, 4096);
    std::vector<std::uint8_t> bytes;
    std::uint8_t room[777];
    for (std::int64_t got; (got = ahead.Read(room, sizeof room)) > 0;)
        bytes.insert(bytes.end(), room, room + got);
    ASSERT_EQ(bytes.size(), kLength);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], i % 251) << i;
    EXPECT_EQ(import_progress::Moved() - before, 3 * ((kLength + 999) / 1000));
    EXPECT_EQ(ahead.Read(room, sizeof room), 0);

    Counting failing(300000);
    ForkReaderAhead broken(failing, kLength, 4096, &ahead);
    std::uint64_t taken = 0;
    std::int64_t got;
    while ((got = broken.Read(room, sizeof room)) > 0)
        taken += static_cast<std::uint64_t>(got);
    EXPECT_EQ(got, -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(taken, 300000u);
    EXPECT_EQ(broken.Read(room, sizeof room), -1);

    // Gone with its chunks full and most of them not taken: neither thread waits for ever.
    ForkReaderAhead stopped(inner, kLength, 4096);
    EXPECT_EQ(stopped.Read(room, 100), 100);
}

}  // namespace veskar
