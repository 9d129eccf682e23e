// SPDX-License-Identifier: Apache-2.0
// The process's table of files to remove on an interrupt, and the calls that fill and empty
// it, the same on every system.
#include "platform/interrupt_slots.h"

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

InterruptSlots<4096> slots;

}  // namespace

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
