// SPDX-License-Identifier: Apache-2.0
#include "tests/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/mac_fixtures.h"
#include "tests/posix/start_program_posix.h"

namespace veskar {

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder, ChildStreams streams) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child != 0) return child < 0 ? -1 : child;
    // The child: only calls that are safe after fork until the program takes over.
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) ::_exit(126);
    const int wanted[] = {streams.in, streams.out, streams.err};
    for (int fd = 0; fd < 3; ++fd)
        if (::dup2(wanted[fd] < 0 ? null : wanted[fd], fd) < 0) ::_exit(126);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

int WaitForProgram(pid_t child) {
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    return waited == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) {
    // Both streams into files, so that a child writing much to one never waits for the
    // other to be read.
    TempDir scratch;
    const std::string outFile = scratch.File("stdout");
    const std::string errFile = scratch.File("stderr");
    ProgramRun run;
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out >= 0 && err >= 0) {
        const pid_t child = StartProgram(program, args, folder, {-1, out, err});
        if (child > 0) run.status = WaitForProgram(child);
    }
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    const Bytes outBytes = ReadFile(outFile);
    const Bytes errBytes = ReadFile(errFile);
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

}  // namespace veskar
