// SPDX-License-Identifier: Apache-2.0
// Interrupts during an import: the files registered when Ctrl+C reaches the console are
// removed before the program ends as the event ends it.
//
// The event goes to every process of a console, so it is raised in a child, this test program
// started again on a console of its own. The child does its part before GoogleTest starts,
// when VESKAR_INTERRUPT_CHILD names its folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "platform/interrupt_cleanup.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

constexpr const char* kChildVariable = "VESKAR_INTERRUPT_CHILD";
// What the child exits with when the event did not end it.
constexpr DWORD kNotInterrupted = 99;
// The event arrives on a thread of the system's; the child waits for it this long at most.
constexpr DWORD kWaitForEventMs = 20000;

std::string Join(const std::string& folder, const char* name) {
    return folder + "\\" + name;
}

// The child's part: the same registrations as on Linux, then Ctrl+C to its own console.
const bool childRan = [] {
    const std::optional<std::string> folder = GetEnvironment(kChildVariable);
    if (!folder) return false;
    const std::string tracked = Join(*folder, "BINtracked"), forgotten = Join(*folder, "forgotten"),
                      reused = Join(*folder, "reused");
    platform::InstallInterruptCleanup();
    WriteFile(tracked, BytesOf("x"));
    WriteFile(forgotten, BytesOf("x"));
    WriteFile(reused, BytesOf("x"));
    platform::TrackTemporaryFile(tracked);
    platform::UntrackTemporaryFile(platform::TrackTemporaryFile(forgotten));
    // Removed and then taken by someone else: the new file must survive.
    platform::RemoveTrackedFile(platform::TrackTemporaryFile(reused), reused);
    WriteFile(reused, BytesOf("someone else's"));
    // Alone on its console, the child takes Ctrl+C back (a new process group starts with it
    // ignored) and sends it to every process there: itself.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ::Sleep(kWaitForEventMs);
    ::ExitProcess(kNotInterrupted);
}();

TEST(InterruptCleanup, RegisteredFilesAreRemovedAndCtrlCStillEndsTheProgram) {
    TempDir dir;
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_TRUE(length > 0 && length < sizeof self);
    SetEnvironment(kChildVariable, dir.Path());
    std::string command = std::string("\"") + self + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // A console of its own: the event needs one, and it then reaches no other process.
    const BOOL started = ::CreateProcessA(self, command.data(), nullptr, nullptr, FALSE,
                                          CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP, nullptr,
                                          nullptr, &startup, &process);
    SetEnvironment(kChildVariable, std::nullopt);
    ASSERT_TRUE(started) << ::GetLastError();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Windows ends the process with STATUS_CONTROL_C_EXIT, Wine with 0; either way the event
    // ended it, not the child's own exit after the wait.
    EXPECT_TRUE(status == static_cast<DWORD>(STATUS_CONTROL_C_EXIT) || status == 0)
        << std::hex << status;
    EXPECT_FALSE(fs::exists(Join(dir.Path(), "BINtracked")));
    EXPECT_TRUE(fs::exists(Join(dir.Path(), "forgotten")));
    EXPECT_EQ(ReadFile(Join(dir.Path(), "reused")), BytesOf("someone else's"));
}

}  // namespace

}  // namespace veskar
