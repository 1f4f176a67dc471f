#include "platform/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>

#include "base/ustring.h"
#include "platform/native_path.h"
#include "platform/win32_path.h"

namespace platform {
namespace {

// The bytes the system hands main for an argument: the ANSI code page, best fit.
std::string AnsiForm(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi.data(), size, nullptr, nullptr);
    ansi.pop_back(); // the terminating zero
    return ansi;
}

std::u16string FromAnsi(const char* ansi) {
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), size);
    wide.pop_back();
    return FromWide(wide);
}

struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const { LocalFree(block); }
};

} // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int wideCount = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(CommandLineToArgvW(GetCommandLineW(), &wideCount));
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    int next = 0; // the first wide argument not yet matched
    for (int i = 0; i < argc; ++i) {
        std::u16string argument;
        bool found = false;
        if (wide && wideCount == argc) {
            argument = FromWide(wide.get()[i]);
            found = true;
        } else if (wide) {
            // Options taken out of argv: the wide arguments that argv still holds, found in order by the form
            // the system gave main.
            for (int j = next; j < wideCount && !found; ++j) {
                if (AnsiForm(wide.get()[j]) == argv[i]) {
                    argument = FromWide(wide.get()[j]);
                    next = j + 1;
                    found = true;
                }
            }
        }
        if (!found) {
            argument = FromAnsi(argv[i]);
        }
        arguments.push_back(NativePath(argument));
    }
    return arguments;
}

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
}

int WriteStandardOutput(const char* data, size_t size) {
    while (size > 0) {
        const unsigned chunk = static_cast<unsigned>(size < INT_MAX ? size : INT_MAX);
        const int written = _write(1, data, chunk);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::u16string CLibraryErrorText(int error) {
    std::u16string text = FromUtf8(std::strerror(error));
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
        text.pop_back();
    }
    return text;
}

} // namespace platform
