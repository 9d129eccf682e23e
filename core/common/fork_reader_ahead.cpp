// SPDX-License-Identifier: Apache-2.0
#include "core/common/fork_reader_ahead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "core/common/import_progress.h"
#include "platform/interrupt_cleanup.h"

namespace veskar {

ForkReaderAhead::ForkReaderAhead(ForkReader& inner, std::uint64_t length, std::size_t chunk,
                                 ForkReaderAhead* before)
    : inner_(inner), length_(length), chunk_(chunk), before_(before) {}

ForkReaderAhead::~ForkReaderAhead() {
    Finish();
}

void ForkReaderAhead::Start() {
    started_ = true;
    if (before_) before_->Finish();
    if (length_ < kLeastWorthIt) return;
    for (Chunk& chunk : chunks_) {
        chunk.bytes.reset(new (std::nothrow) std::uint8_t[chunk_]);
        if (!chunk.bytes) return;  // read here, with the copy's own buffer
    }
    try {
        worker_ = platform::ThreadOutOfInterrupts([this] { Work(); });
    } catch (const std::system_error&) {
        // No second thread to be had (a limit of the system's): the fork is read here.
    }
}

void ForkReaderAhead::Finish() {
    if (!worker_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void ForkReaderAhead::Work() {
    std::uint64_t made = 0;
    for (bool last = false; !last;) {
        std::size_t slot = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || filled_ < kChunksAhead; });
            if (stopping_) return;
            slot = (first_ + filled_) % kChunksAhead;
        }
        // The slot is this thread's until it is counted as filled.
        Chunk& chunk = chunks_[slot];
        const std::uint64_t counted = import_progress::Moved();
        try {
            chunk.got = inner_.Read(
                chunk.bytes.get(),
                static_cast<std::size_t>(std::min<std::uint64_t>(chunk_, length_ - made)));
            chunk.error = errno;
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            ended_ = true;
            changed_.notify_all();
            return;
        }
        chunk.progress = import_progress::Moved() - counted;
        if (chunk.got > 0) made += static_cast<std::uint64_t>(chunk.got);
        last = chunk.got <= 0 || made == length_;
        const std::lock_guard lock(mutex_);
        ++filled_;
        ended_ = last;
        changed_.notify_all();
    }
}

std::int64_t ForkReaderAhead::Read(std::uint8_t* into, std::size_t room) {
    if (!started_) Start();
    if (!worker_.joinable()) return inner_.Read(into, room);
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return filled_ > 0 || ended_; });
        if (failure_) std::rethrow_exception(failure_);
        if (filled_ == 0) return 0;  // the whole length was taken
    }
    // A filled chunk is the copy's until it is handed back.
    const Chunk& chunk = chunks_[first_];
    if (chunk.got <= 0) {  // the end, or a failure: so it stays
        errno = chunk.error;
        return chunk.got;
    }
    if (taken_ == 0) import_progress::Advance(chunk.progress);
    const std::size_t size = std::min(room, static_cast<std::size_t>(chunk.got) - taken_);
    std::memcpy(into, chunk.bytes.get() + taken_, size);
    taken_ += size;
    if (taken_ == static_cast<std::size_t>(chunk.got)) {
        taken_ = 0;
        {
            const std::lock_guard lock(mutex_);
            first_ = (first_ + 1) % kChunksAhead;
            --filled_;
        }
        changed_.notify_all();
    }
    return static_cast<std::int64_t>(size);
}

}  // namespace veskar
