// Ctrl+C, Ctrl+Break, a console window closed, a logoff or a shutdown: the system calls the
// handler on a thread of its own while the import goes on, so a lock, not a blocked signal,
// keeps the handler and the import's own removal apart.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstring>

#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace platform {

namespace {

// One import holds at most four files at once: two intermediates, the staging file and the
// output being written.
constexpr std::size_t kSlots = 8;
constexpr std::size_t kPathBytes = MAX_PATH;

struct Slot {
    std::atomic<bool> taken{false};  // owned by an import
    std::atomic<bool> armed{false};  // the path is complete and the handler may remove it
    char path[kPathBytes];
};

std::array<Slot, kSlots> slots;
SRWLOCK removing = SRWLOCK_INIT;

BOOL WINAPI RemoveTrackedOnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ::AcquireSRWLockExclusive(&removing);
            for (Slot& slot : slots)
                if (slot.armed.exchange(false)) ::DeleteFileA(slot.path);
            // Held to the end: the process is about to go, and no import may make another file.
            break;
        default:
            break;
    }
    // Not handled: the next handler, in the end the system's own, ends the process as the
    // event would have ended it.
    return FALSE;
}

// Holds may nest on the import's thread; the lock itself is taken once.
thread_local int holdDepth = 0;

class HeldHandler {
  public:
    HeldHandler() { HoldInterrupts(); }
    ~HeldHandler() { ReleaseInterrupts(); }
    HeldHandler(const HeldHandler&) = delete;
    HeldHandler& operator=(const HeldHandler&) = delete;
};

}  // namespace

void HoldInterrupts() {
    if (holdDepth++ == 0) ::AcquireSRWLockExclusive(&removing);
}

void ReleaseInterrupts() {
    if (holdDepth > 0 && --holdDepth == 0) ::ReleaseSRWLockExclusive(&removing);
}

void InstallInterruptCleanup() {
    static const bool installed = ::SetConsoleCtrlHandler(RemoveTrackedOnConsoleEvent, TRUE);
    (void)installed;
}

int TrackTemporaryFile(const std::string& path) {
    if (path.empty() || path.size() >= kPathBytes) return -1;
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = slots[i];
        if (slot.taken.exchange(true)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.armed.store(true);
        return static_cast<int>(i);
    }
    return -1;
}

void UntrackTemporaryFile(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
    slots[static_cast<std::size_t>(slot)].armed.store(false);
    slots[static_cast<std::size_t>(slot)].taken.store(false);
}

bool RemoveTrackedFile(int slot, const std::string& path) {
    const HeldHandler held;
    const bool removed = RemoveFile(path);
    UntrackTemporaryFile(slot);
    return removed;
}

}  // namespace platform
