// The handler may run between any two instructions of an import, so it touches only a fixed
// table of paths and lock-free flags, and calls only unlink, signal and raise, all
// async-signal-safe.
#include <signal.h>
#include <unistd.h>

#include "platform/interrupt_cleanup.h"
#include "platform/interrupt_slots.h"
#include "platform/platform.h"

namespace platform {

namespace {

void RemoveTrackedAndReraise(int signal) {
    RemoveArmedTrackedFiles([](const char* path) { ::unlink(path); });
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

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

}  // namespace platform
