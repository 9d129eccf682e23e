// SPDX-License-Identifier: Apache-2.0
// Removing short-lived files when the program is interrupted. An import registers each
// intermediate or staging file it creates; on SIGINT or SIGTERM (Ctrl+C or Ctrl+Break and a
// console close on Windows) the files still registered are removed before the program ends
// as the signal would have ended it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace veskar {

namespace platform {

// Installs the handlers once for the process; later calls do nothing. The command line calls
// it at start; without it, registering files costs nothing and does nothing more.
void InstallInterruptCleanup();

// Registers a file this call created; the slot to hand back, or -1 when every slot is taken
// or the path is too long to keep (the file is then simply not removed on an interrupt).
int TrackTemporaryFile(const std::string& path);

// The same for a name in the open folder `folder` (the twin's handle of it), a file or, when
// `isFolder`, a folder (removed after the files, once empty). A file still open as `open` is
// closed before it is removed: some file systems (ntfs-3g) keep an open file in its folder
// after its name has gone, and the folder could not be removed.
int TrackTemporaryFileIn(int folder, const std::string& name, bool isFolder = false, int open = -1);

// The tracked file was closed: it is no longer closed before it is removed.
void TrackedFileClosed(int slot);

// Forgets the file without touching it.
void UntrackTemporaryFile(int slot);

// Removes the file and forgets it, with the handlers held off meanwhile, so an interrupt
// never removes the name again after another program has taken it. True when it was removed.
bool RemoveTrackedFile(int slot, const std::string& path);

// Holds interrupts off until the matching release (calls nest). Creating a file and
// registering it happen under one hold, so an interrupt finds the file either not yet there
// or registered for removal, never created and forgotten.
void HoldInterrupts();
void ReleaseInterrupts();

// The line the program ends with when an interrupt ends it (what was interrupted, and that
// nothing of it was left), written to standard error after the files are removed; empty for
// none.
void SetInterruptNote(std::string_view text);
// Runs `work` on a new thread that interrupts are never delivered to, so that the handler
// always runs on a thread it has stopped, never beside an import that is making files.
std::thread ThreadOutOfInterrupts(std::function<void()> work);

class InterruptsHeld {
  public:
    InterruptsHeld() { HoldInterrupts(); }
    ~InterruptsHeld() { ReleaseInterrupts(); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

}  // namespace platform

}  // namespace veskar
