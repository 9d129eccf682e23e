// SPDX-License-Identifier: Apache-2.0
#include "core/common/import_progress.h"

#include <algorithm>

namespace veskar {

namespace import_progress {

namespace {

struct State {
    Watcher* watcher = nullptr;
    std::uint64_t moved = 0;
    Pass* pass = nullptr;  // the innermost pass under way
};

thread_local State state;

// Adds source bytes to the thread's count and tells the watcher.
void CountMoved(std::uint64_t bytes) {
    state.moved += bytes;
    if (state.watcher != nullptr) state.watcher->Advanced(state.moved);
}

}  // namespace

void Watch(Watcher* watcher) {
    state.watcher = watcher;
}

std::uint64_t Moved() {
    return state.moved;
}

void Advance(std::uint64_t bytes) {
    if (bytes == 0) return;
    if (state.pass != nullptr)
        state.pass->Count(bytes);
    else
        CountMoved(bytes);
}

Pass::Pass(std::uint64_t share, std::uint64_t passBytes)
    : share_(share), passBytes_(passBytes), outer_(state.pass) {
    state.pass = this;
}

Pass::~Pass() {
    state.pass = outer_;
    const std::uint64_t rest = share_ - counted_;
    if (rest == 0) return;
    if (outer_ != nullptr)
        outer_->Count(rest);
    else
        CountMoved(rest);
}

void Pass::Count(std::uint64_t bytes) {
    moved_ += bytes;
    // In floating point: share and bytes may each pass 2^32, their product 2^64. A display
    // needs no more than its precision.
    const std::uint64_t due =
        moved_ >= passBytes_
            ? share_
            : std::min(share_, static_cast<std::uint64_t>(static_cast<double>(share_) *
                                                          static_cast<double>(moved_) /
                                                          static_cast<double>(passBytes_)));
    if (due <= counted_) return;
    const std::uint64_t step = due - counted_;
    counted_ = due;
    if (outer_ != nullptr)
        outer_->Count(step);
    else
        CountMoved(step);
}

}  // namespace import_progress

}  // namespace veskar
