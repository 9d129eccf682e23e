// SPDX-License-Identifier: Apache-2.0
// Starting a built program as a child process on chosen standard streams, for tests that
// need more than RunProgram gives, such as a terminal as standard error.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace veskar {

// Descriptors for the child's standard streams; -1 puts /dev/null there.
struct ChildStreams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// Starts `program` with `args` in `folder` (the test's own when empty), no shell between:
// each argument reaches it whole, and no command line length limits their number. The
// child's id, or -1 when it could not be started.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder, ChildStreams streams);

// Waits for the child to end: its exit status, -1 when it did not exit by itself.
int WaitForProgram(pid_t child);

}  // namespace veskar
