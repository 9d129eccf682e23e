// SPDX-License-Identifier: Apache-2.0
#include "tests/run_program.h"

#include <windows.h>

#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

// One argument as the C runtime's command-line parser splits it back out: quoted, with a
// quote escaped and the backslashes before a quote (or the closing one) doubled.
std::string QuoteArgument(const std::string& arg) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The program writes its output as text, which the C runtime ends with CR LF on Windows;
// read back as text, each line ends with LF as on every other system.
std::string Text(const Bytes& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text.push_back(static_cast<char>(bytes[i]));
    return text;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) {
    ProgramRun run;
    TempDir scratch;
    const std::string outFile = scratch.File("stdout");
    const std::string errFile = scratch.File("stderr");
    const std::string inFile = scratch.File("stdin");
    WriteFile(inFile, {});
    const std::string& path = program;
    std::string command = QuoteArgument(path);
    for (const auto& arg : args)
        command += " " + QuoteArgument(arg);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(inFile, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Inheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Inheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    if (!started) return run;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    if (::GetExitCodeProcess(process.hProcess, &status)) run.status = static_cast<int>(status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    run.out = Text(ReadFile(outFile));
    run.err = Text(ReadFile(errFile));
    return run;
}

}  // namespace veskar
