// SPDX-License-Identifier: Apache-2.0
// veskar-convert with its standard error on a terminal (a pseudo-terminal), as a user at a
// console runs it: the progress line of one long file, and none with -q; standard output
// the same as without a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/posix/start_program_posix.h"

namespace veskar {

namespace {

struct TerminalRun {
    int status = -1;
    std::string out;       // standard output, into a file
    std::string terminal;  // what reached the terminal: standard error
};

// Runs veskar-convert with `args`, standard error on a new pseudo-terminal.
TerminalRun RunOnTerminal(const std::vector<std::string>& args) {
    TerminalRun run;
    TempDir scratch;
    const std::string outPath = scratch.File("stdout");
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return run;
    // The child keeps only its three streams: the terminal ends when the child does.
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t child =
        out < 0 ? -1 : StartProgram(VESKAR_CONVERT_PATH, args, "", {-1, out, slave});
    if (out >= 0) ::close(out);
    ::close(slave);
    if (child < 0) {
        ::close(master);
        return run;
    }
    // Read until the last writer is gone: then the master reports EIO.
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            run.terminal.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    ::close(master);
    run.status = WaitForProgram(child);
    const Bytes written = ReadFile(outPath);
    run.out.assign(written.begin(), written.end());
    return run;
}

// The "X of Y MiB" figures of the progress lines drawn.
std::vector<std::pair<double, double>> Figures(const std::string& terminal) {
    std::vector<std::pair<double, double>> figures;
    for (std::size_t at = 0; (at = terminal.find("\r\033[K", at)) != std::string::npos;) {
        at += 4;
        int done = 0, files = 0;
        double bytes = 0, total = 0;
        if (std::sscanf(terminal.c_str() + at, "%d/%d files, %lf of %lf MiB", &done, &files, &bytes,
                        &total) == 4)
            figures.emplace_back(bytes, total);
    }
    return figures;
}

TEST(CliTerminal, OneLongFileShowsProgressOnlyWithoutQuiet) {
    REQUIRE_NTFS(vol, 256);
    TempDir src;
    // Past the 64 MiB from which a single source shows the display.
    MacFile file;
    file.name = "Long";
    file.data = PatternBytes(64 << 20, 5);
    file.resource = PatternBytes(1 << 20, 6);
    ASSERT_TRUE(WriteFile(src.File("long.bin"), EncodeMacBinary(file)));

    TerminalRun run = RunOnTerminal({"--json", vol->Root(), src.File("long.bin")});
    EXPECT_EQ(run.status, 0) << run.terminal;
    EXPECT_EQ(run.out, "{\"source\": \"" + src.File("long.bin") +
                           "\", \"result\": \"converted\", \"code\": 1, \"output\": \"Long\"}\n");
    const auto figures = Figures(run.terminal);
    ASSERT_FALSE(figures.empty()) << run.terminal;
    for (std::size_t i = 1; i < figures.size(); ++i)
        EXPECT_GE(figures[i].first, figures[i - 1].first) << "line " << i;
    EXPECT_EQ(figures.back().first, figures.back().second);  // the last one: all of it
    EXPECT_EQ(figures.back().second, 65.0);
    // Nothing is left of the line: the last thing written erases it.
    EXPECT_TRUE(run.terminal.ends_with("\r\033[K")) << run.terminal;

    run = RunOnTerminal({"-q", vol->Root(), src.File("long.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.terminal, "");
    EXPECT_EQ(vol->ReadStream("Long.001", "AFP_Resource"),
              std::string(file.resource.begin(), file.resource.end()));
}

}  // namespace

}  // namespace veskar
