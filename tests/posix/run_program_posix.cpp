#include "tests/run_program.h"

#include <sys/wait.h>

#include <cstdio>

#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) {
    TempDir scratch;
    const std::string errFile = scratch.File("stderr");
    std::string command = folder.empty() ? "" : "cd " + ShellQuote(folder) + " && ";
    command += ShellQuote(program);
    for (const auto& arg : args)
        command += " " + ShellQuote(arg);
    command += " 2>" + ShellQuote(errFile);
    ProgramRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes err = ReadFile(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}
