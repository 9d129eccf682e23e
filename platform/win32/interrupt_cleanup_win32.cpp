// SPDX-License-Identifier: Apache-2.0
// Ctrl+C, Ctrl+Break, a console window closed, a logoff or a shutdown: the system calls the
// handler on a thread of its own while the import goes on, so a lock, not a blocked signal,
// keeps the handler and the import's own removal apart.
#include <windows.h>

#include <utility>

#include "platform/interrupt_cleanup.h"
#include "platform/interrupt_slots.h"
#include "platform/platform.h"

namespace veskar {

namespace platform {

namespace {

SRWLOCK removing = SRWLOCK_INIT;

BOOL WINAPI RemoveTrackedOnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ::AcquireSRWLockExclusive(&removing);
            // Windows tracks names by their paths from the current folder, which is held.
            RemoveArmedTrackedFiles([](int, const char* path, bool isFolder, int) {
                if (isFolder)
                    ::RemoveDirectoryA(path);
                else
                    ::DeleteFileA(path);
            });
            WriteInterruptNote([](const char* text, std::size_t length) {
                DWORD written = 0;
                ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length),
                            &written, nullptr);
            });
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

}  // namespace

void HoldInterrupts() {
    if (holdDepth++ == 0) ::AcquireSRWLockExclusive(&removing);
}

void ReleaseInterrupts() {
    if (holdDepth > 0 && --holdDepth == 0) ::ReleaseSRWLockExclusive(&removing);
}

// The handler runs on a thread of the system's anyway, under the lock.
std::thread ThreadOutOfInterrupts(std::function<void()> work) {
    return std::thread(std::move(work));
}

void InstallInterruptCleanup() {
    static const bool installed = ::SetConsoleCtrlHandler(RemoveTrackedOnConsoleEvent, TRUE);
    (void)installed;
}

}  // namespace platform

}  // namespace veskar
