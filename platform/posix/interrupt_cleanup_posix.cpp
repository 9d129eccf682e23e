// The handler may run between any two instructions of an import, so it touches only a fixed
// table of paths and lock-free flags, and calls only unlink, signal and raise, all
// async-signal-safe.
#include <signal.h>
#include <unistd.h>

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
constexpr std::size_t kPathBytes = 4096;

struct Slot {
    std::atomic<bool> taken{false};  // owned by an import
    std::atomic<bool> armed{false};  // the path is complete and the handler may remove it
    char path[kPathBytes];
};

std::array<Slot, kSlots> slots;
static_assert(std::atomic<bool>::is_always_lock_free, "flags safe to read in a handler");

void RemoveTrackedAndReraise(int signal) {
    for (Slot& slot : slots)
        if (slot.armed.exchange(false)) ::unlink(slot.path);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Holds SIGINT and SIGTERM off for the scope.
class HeldSignals {
  public:
    HeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    sigset_t previous_;
};

int holdDepth = 0;  // the imports run on one thread
sigset_t beforeHold;

}  // namespace

void HoldInterrupts() {
    if (holdDepth++ > 0) return;
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &held, &beforeHold);
}

void ReleaseInterrupts() {
    if (holdDepth == 0 || --holdDepth > 0) return;
    ::sigprocmask(SIG_SETMASK, &beforeHold, nullptr);
}

void InstallInterruptCleanup() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = RemoveTrackedAndReraise;
        sigemptyset(&action.sa_mask);
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        for (int signal : {SIGINT, SIGTERM}) {
            struct sigaction old {};
            // A signal the caller chose to ignore (nohup, a shell's background job) stays
            // ignored.
            if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
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
    const HeldSignals held;
    const bool removed = RemoveFile(path);
    UntrackTemporaryFile(slot);
    return removed;
}

}  // namespace platform
