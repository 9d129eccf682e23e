// SPDX-License-Identifier: Apache-2.0
// A fork made on a second thread a few chunks ahead of its copy. A fork decoded from a text
// costs the processor as much as the file system costs its writing: on one thread the two
// take turns, here they overlap. The copy gets the bytes, the failures (with their errno) and
// the progress counted while making them in the order the inner reader gave them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "core/common/copy_fork.h"

namespace veskar {

class ForkReaderAhead final : public ForkReader {
  public:
    // Forks shorter than this are made where they are read: a thread costs more than it wins.
    static constexpr std::uint64_t kLeastWorthIt = 4 * kLargeCopySize;

    // Reads the first `length` bytes of `inner`, at most `chunk` at a time. `inner` is read
    // by the second thread alone until Finish; so is its source, and what it notes on the way
    // is the caller's to look at only after Finish. `before` (a fork of the same source,
    // read before this one) is finished before the second thread starts. Without a second
    // thread to be had, or for a short fork, `inner` is read here.
    ForkReaderAhead(ForkReader& inner, std::uint64_t length, std::size_t chunk,
                    ForkReaderAhead* before = nullptr);
    ~ForkReaderAhead();
    ForkReaderAhead(const ForkReaderAhead&) = delete;
    ForkReaderAhead& operator=(const ForkReaderAhead&) = delete;

    std::int64_t Read(std::uint8_t* into, std::size_t room) override;

    // Stops the second thread; bytes made and not taken are dropped.
    void Finish();

  private:
    static constexpr std::size_t kChunksAhead = 4;

    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::int64_t got = 0;        // the inner reader's answer: the count, 0 at the end, -1
        int error = 0;               // errno after a failure
        std::uint64_t progress = 0;  // the bytes counted for the progress display meanwhile
    };

    void Start();
    void Work();

    ForkReader& inner_;
    std::uint64_t length_;
    std::size_t chunk_;
    ForkReaderAhead* before_;
    bool started_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    Chunk chunks_[kChunksAhead];
    std::size_t first_ = 0;   // the chunk the copy takes from next
    std::size_t filled_ = 0;  // chunks made and not yet wholly taken
    std::size_t taken_ = 0;   // bytes of the first chunk taken already
    bool ended_ = false;      // the worker has made its last chunk
    bool stopping_ = false;
    std::exception_ptr failure_;  // what the second thread threw (no memory, say)
    std::thread worker_;
};

}  // namespace veskar
