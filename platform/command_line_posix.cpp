#include "platform/command_line.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file.h"

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor, which open hands out, is fd itself: those below are taken by now.
            (void)open("/dev/null", O_RDONLY);
        }
    }
}

int WriteStandardOutput(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, data, size);
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
    return isatty(STDERR_FILENO) != 0;
}

std::u16string CLibraryErrorText(int error) {
    return SystemErrorText(static_cast<uint32_t>(error));
}

} // namespace platform
