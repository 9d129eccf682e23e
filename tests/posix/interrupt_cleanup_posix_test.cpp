// SPDX-License-Identifier: Apache-2.0
// Interrupts during an import: the files registered when SIGINT or SIGTERM arrives are
// removed before the program ends by the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/interrupt_cleanup.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

// In a child process: the files registered when SIGTERM or SIGINT arrives are removed, one
// forgotten or removed through the registry is not, and the child ends by the signal.
TEST(InterruptCleanup, RegisteredFilesAreRemovedAndTheSignalStillEndsTheProgram) {
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        const std::string tracked = dir.File("BINtracked"), forgotten = dir.File("forgotten"),
                          reused = dir.File("reused");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            platform::InstallInterruptCleanup();
            WriteFile(tracked, BytesOf("x"));
            WriteFile(forgotten, BytesOf("x"));
            WriteFile(reused, BytesOf("x"));
            platform::TrackTemporaryFile(tracked);
            platform::UntrackTemporaryFile(platform::TrackTemporaryFile(forgotten));
            // Removed and then taken by someone else: the new file must survive.
            platform::RemoveTrackedFile(platform::TrackTemporaryFile(reused), reused);
            WriteFile(reused, BytesOf("someone else's"));
            ::raise(signal);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(fs::exists(tracked));
        EXPECT_TRUE(fs::exists(forgotten));
        EXPECT_EQ(ReadFile(reused), BytesOf("someone else's"));
    }
}

}  // namespace

}  // namespace veskar
