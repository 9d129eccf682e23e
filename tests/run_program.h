// SPDX-License-Identifier: Apache-2.0
// Runs a built program as a user runs it, and collects what it said.
#pragma once

#include <string>
#include <vector>

namespace veskar {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when the program could not be run or did not exit
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `folder` (the test's own when empty). Each argument reaches
// the program as one argument, whatever characters it holds.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder = "");

}  // namespace veskar
