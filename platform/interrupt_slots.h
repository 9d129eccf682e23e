// SPDX-License-Identifier: Apache-2.0
// The fixed table of files an interrupt removes, shared by both platform twins. A handler
// may read it at any moment (a signal between two instructions on Linux, a thread of its own
// on Windows), so it holds only fixed buffers and lock-free flags; each twin brings the
// handler and the way of holding it off.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

namespace veskar {

namespace platform {

template <std::size_t PathBytes>
class InterruptSlots {
  public:
    // Takes a free slot for `path` (relative to the open folder `folder`, or to the current
    // folder when it is -1; a folder to remove when `isFolder`; the file open as `open`, closed
    // before it is removed, when not -1): its number, or -1 when the path is empty or too long
    // or every slot is taken.
    int Track(const std::string& path, int folder = -1, bool isFolder = false, int open = -1) {
        if (path.empty() || path.size() >= PathBytes) return -1;
        for (std::size_t i = 0; i < kSlots; ++i) {
            Slot& slot = slots_[i];
            if (slot.taken.exchange(true)) continue;
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.folder = folder;
            slot.isFolder = isFolder;
            slot.open.store(open);
            slot.armed.store(true);
            return static_cast<int>(i);
        }
        return -1;
    }

    // The slot's file has been closed: the handler no longer closes it (its number may be
    // another file's by then).
    void Closed(int slot) {
        if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
        slots_[static_cast<std::size_t>(slot)].open.store(-1);
    }
    void Untrack(int slot) {
        if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
        slots_[static_cast<std::size_t>(slot)].armed.store(false);
        slots_[static_cast<std::size_t>(slot)].taken.store(false);
    }

    // For the handler: disarms each armed slot and hands it to `remove` (which must be safe to
    // call there): the files first, then the folders, which are empty only once the files
    // inside them have gone.
    template <class Remove>
    void RemoveArmed(Remove remove) {
        for (const bool folders : {false, true})
            for (Slot& slot : slots_)
                if (slot.isFolder == folders && slot.armed.exchange(false))
                    remove(slot.folder, slot.path, slot.isFolder, slot.open.load());
    }

  private:
    // One import holds at most four files at once: two intermediates, the staging file and
    // the output being written (its data file and its "._" file); a run holds a work folder and
    // its mark on each volume it writes to.
    static constexpr std::size_t kSlots = 16;
    struct Slot {
        std::atomic<bool> taken{false};  // owned by an import
        std::atomic<bool> armed{false};  // the path is complete and the handler may remove it
        int folder = -1;
        bool isFolder = false;
        std::atomic<int> open{-1};
        char path[PathBytes];
    };
    static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
                  "flags safe to read in a handler");
    std::array<Slot, kSlots> slots_;
};

// For the handlers of both twins: disarms every armed slot of the process's table and hands
// its path to `remove`, which must be safe to call there.
void RemoveArmedTrackedFiles(void (*remove)(int folder, const char* path, bool isFolder, int open));
// For the handlers: hands the note (SetInterruptNote) to `write`, when there is one.
void WriteInterruptNote(void (*write)(const char* text, std::size_t length));

}  // namespace platform

}  // namespace veskar
