// SPDX-License-Identifier: Apache-2.0
// How far the imports have got, in bytes of their sources, for a progress display that moves
// during one long file. The loops that move bytes (the fork copy, the BinHex passes) advance
// it once per block; a program that draws progress watches it. An import that makes several
// passes over intermediate files spreads its source's bytes over them with Pass, so that the
// count keeps to the source's size however many passes there are.
//
// The state is the calling thread's own: an import is watched by the thread that runs it.
#pragma once

#include <cstdint>

namespace veskar {

namespace import_progress {

class Watcher {
  public:
    // `moved`: the bytes of sources counted so far by this thread, never going back.
    virtual void Advanced(std::uint64_t moved) = 0;

  protected:
    ~Watcher() = default;
};

// Nobody watches with nullptr; then an advance costs an addition and a test.
void Watch(Watcher* watcher);

// The bytes of sources counted so far by this thread.
std::uint64_t Moved();

// Counts `bytes` moved by the loop under way: as they stand, or scaled by the innermost Pass.
void Advance(std::uint64_t bytes);

// One pass of an import over `passBytes` bytes that stands for `share` bytes of the source:
// while it lives, what is advanced counts in proportion, never past the share; when it ends
// the rest of the share is counted, also when the pass ended early. Passes nest: an inner
// pass counts into the share of the one around it.
class Pass {
  public:
    Pass(std::uint64_t share, std::uint64_t passBytes);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

  private:
    friend void Advance(std::uint64_t bytes);
    void Count(std::uint64_t bytes);

    std::uint64_t share_;
    std::uint64_t passBytes_;
    std::uint64_t moved_ = 0;
    std::uint64_t counted_ = 0;
    Pass* outer_;
};

}  // namespace import_progress

}  // namespace veskar
