#pragma once
// Starting the real parlivex-cli from the tests: arguments in UTF-8 (on Windows handed over in UTF-16, as the
// system does), standard input empty, standard output and error into files.
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

#include "platform/native_path.h"
#else
#include <cstdlib>
#include <sys/wait.h>
#endif

namespace cli_test {

#ifdef _WIN32
// One argument of a command line as the C library splits it: quoted, with the backslashes before a quote
// doubled.
inline std::wstring QuoteArgument(const std::string& arg) {
    const std::u16string text = platform::PathFromNative(arg);
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const char16_t c : text) {
        if (c == u'\\') {
            ++backslashes;
        } else {
            if (c == u'"') {
                quoted.append(backslashes + 1, L'\\');
            }
            backslashes = 0;
        }
        quoted += static_cast<wchar_t>(c);
    }
    quoted.append(backslashes, L'\\'); // doubled before the closing quote
    return quoted + L"\"";
}

inline std::wstring CommandLine(const std::vector<std::string>& args) {
    std::wstring command = QuoteArgument(PARLIVEX_CLI_PATH);
    for (const auto& arg : args) {
        command += L" " + QuoteArgument(arg);
    }
    return command;
}

// Starts the tool with the given standard handles (inherited); the process handle, or nullptr.
inline HANDLE StartCli(const std::vector<std::string>& args, HANDLE in, HANDLE out, HANDLE err,
                       DWORD flags = 0) {
    std::wstring command = CommandLine(args);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // Wine on a loaded machine now and then fails to start a process; that is the test bench, not the tool,
    // so a start is tried again before the test gives up, and the reason is said.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                           &process)) {
            CloseHandle(process.hThread);
            return process.hProcess;
        }
        const DWORD error = GetLastError();
        std::fprintf(stderr, "parlivex-cli could not be started (attempt %d): error %lu\n", attempt,
                     static_cast<unsigned long>(error));
        if (attempt == 3) {
            return nullptr;
        }
        Sleep(200);
    }
}

// Waits for the process and closes its handle: its exit code, or -1.
inline int WaitForExit(HANDLE process) {
    if (process == nullptr) {
        return -1;
    }
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    return static_cast<int>(exitCode);
}

// A handle the child inherits: a file opened for reading, or created for writing.
inline HANDLE InheritedFile(const std::filesystem::path& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline int RunCliProcess(const std::vector<std::string>& args, const std::filesystem::path& out,
                         const std::filesystem::path& err) {
    const HANDLE in = InheritedFile(L"NUL", false);
    const HANDLE outFile = InheritedFile(out, true);
    const HANDLE errFile = InheritedFile(err, true);
    const int exitCode = WaitForExit(StartCli(args, in, outFile, errFile));
    CloseHandle(in);
    CloseHandle(outFile);
    CloseHandle(errFile);
    return exitCode;
}
#else
inline std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string CliCommand(const std::vector<std::string>& args) {
    std::string command = Quote(PARLIVEX_CLI_PATH);
    for (const auto& arg : args) {
        command += " " + Quote(arg);
    }
    return command;
}

// stdoutTo replaces the redirection of stdout into out (">/dev/full", ">&-"); commandPrefix goes before the
// command ("setpriv ...").
inline int RunCliProcess(const std::vector<std::string>& args, const std::filesystem::path& out,
                         const std::filesystem::path& err, const std::string& stdoutTo = "",
                         const std::string& commandPrefix = "") {
    const std::string command = commandPrefix + CliCommand(args) + " " +
                                (stdoutTo.empty() ? ">" + Quote(out.string()) : stdoutTo) + " 2>" +
                                Quote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

} // namespace cli_test
