// SPDX-License-Identifier: Apache-2.0
// The process's table of files to remove on an interrupt, and the calls that fill and empty
// it, the same on every system.
#include "platform/interrupt_slots.h"

#include <algorithm>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

InterruptSlots<4096> slots;

// The line an interrupt ends the program with: a fixed buffer and its length, which the
// handler reads (0 while it is being written).
char note[1024];
std::atomic<std::size_t> noteLength{0};
static_assert(std::atomic<std::size_t>::is_always_lock_free, "a length safe to read in a handler");

}  // namespace

void SetInterruptNote(std::string_view text) {
    noteLength.store(0);
    const std::size_t length = std::min(text.size(), sizeof note);
    if (length == 0) return;  // none: nothing to copy from an empty view's null pointer
    std::memcpy(note, text.data(), length);
    noteLength.store(length);
}

void WriteInterruptNote(void (*write)(const char* text, std::size_t length)) {
    if (const std::size_t length = noteLength.load(); length != 0) write(note, length);
}

void RemoveArmedTrackedFiles(void (*remove)(int folder, const char* path, bool isFolder,
                                            int open)) {
    slots.RemoveArmed(remove);
}

int TrackTemporaryFile(const std::string& path) {
    return slots.Track(path);
}

int TrackTemporaryFileIn(int folder, const std::string& name, bool isFolder, int open) {
    return slots.Track(name, folder, isFolder, open);
}

void TrackedFileClosed(int slot) {
    slots.Closed(slot);
}

void UntrackTemporaryFile(int slot) {
    slots.Untrack(slot);
}

bool RemoveTrackedFile(int slot, const std::string& path) {
    const InterruptsHeld held;
    const bool removed = RemoveFile(path);
    UntrackTemporaryFile(slot);
    return removed;
}

}  // namespace platform

}  // namespace veskar
