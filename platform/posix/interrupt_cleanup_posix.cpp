// SPDX-License-Identifier: Apache-2.0
// The handler may run between any two instructions of an import, on the thread that runs the
// imports (any other thread blocks the signals), so it touches only a fixed table of paths and
// lock-free flags, and calls only close, unlinkat, signal and raise, all async-signal-safe. A hold
// is a flag, not a blocked signal: a hold costs no system call (an import holds several times a
// file), and a signal that comes meanwhile is only noted, then acted on when the hold ends.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <utility>

#include "platform/interrupt_cleanup.h"
#include "platform/interrupt_slots.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

std::atomic<bool> holding{false};
std::atomic<int> pendingSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "flags a signal handler may touch");

void RemoveTrackedAndReraise(int signal) {
    RemoveArmedTrackedFiles([](int folder, const char* path, bool isFolder, int open) {
        if (open >= 0) ::close(open);
        ::unlinkat(folder < 0 ? AT_FDCWD : folder, path, isFolder ? AT_REMOVEDIR : 0);
    });
    WriteInterruptNote([](const char* text, std::size_t length) {
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, length);
    });
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void OnInterrupt(int signal) {
    if (holding.load()) {
        pendingSignal.store(signal);
        return;
    }
    RemoveTrackedAndReraise(signal);
}

int holdDepth = 0;  // the imports run on one thread

}  // namespace

void HoldInterrupts() {
    if (holdDepth++ == 0) holding.store(true);
}

void ReleaseInterrupts() {
    if (holdDepth == 0 || --holdDepth > 0) return;
    holding.store(false);
    // A signal that came during the hold ends the program now, as it would have then.
    if (const int signal = pendingSignal.exchange(0); signal != 0) RemoveTrackedAndReraise(signal);
}

std::thread ThreadOutOfInterrupts(std::function<void()> work) {
    // A thread starts with its creator's signal mask: blocked from its first instruction.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &old);
    std::thread thread;
    try {
        thread = std::thread(std::move(work));
    } catch (...) {
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
        throw;
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return thread;
}

void InstallInterruptCleanup() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        // A call a held signal interrupts goes on, as it would have with the signal blocked.
        action.sa_flags = SA_RESTART;
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

}  // namespace platform

}  // namespace veskar
