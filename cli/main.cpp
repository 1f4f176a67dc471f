// parlivex-cli: the command-line companion of Parlivex, for scripting and batch work.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "archive/bsa_file.h"
#include "archive/entry_string.h"
#include "base/exceptions.h"
#include "cli/terminal_text.h"
#include "cli/view_commands.h"
#include "extract/entry_fetch.h"
#include "extract/entry_filter.h"
#include "extract/extract_selection.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/native_path.h"

namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  parlivex-cli list ARCHIVE\n"
    "      Prints every entry string (folder\\file), one per line in UTF-8, folders and files in\n"
    "      case-insensitive name order. Control characters in names are escaped (\\n, \\033).\n"
    "  parlivex-cli extract ARCHIVE DEST [--filter TEXT] [--jobs N]\n"
    "      Writes every entry below the folder DEST, recreating the archive's folders; existing files are\n"
    "      replaced. --filter keeps the entries whose entry string contains TEXT (TEXT is trimmed and\n"
    "      lower-cased; the entry string is compared as it is, as the window's filter box does).\n"
    "      --jobs N extracts with N workers (default: the number of cores); the result is the same.\n"
    "      Entries that cannot be fetched or written, and entries whose path would leave DEST, are reported\n"
    "      on stderr with the reason; the others are still extracted. Entries of zero bytes give empty "
    "files.\n"
    "  parlivex-cli info ARCHIVE\n"
    "      Prints the archive's version, archive flags, folder count and file count.\n"
    "  parlivex-cli --help\n"
    "\n"
    "Exit status: 0 on success; 1 when the archive cannot be opened, any entry failed, or the output\n"
    "cannot be written; 2 for a usage error.\n";

// Descriptors 0 to 2 closed by the caller would otherwise go to the first files this process opens: an
// archive or an extracted file would receive the messages. Fill the gaps with /dev/null opened for reading
// only, so that output to a closed stdout still fails, and is reported, instead of vanishing. Windows needs
// nothing of the kind: files are opened as handles (CreateFileW), which never take the place of a standard
// stream, and the C library keeps descriptors 0 to 2 reserved even when the process was given no standard
// handles, so that writing to them fails.
#ifndef _WIN32
void KeepStandardDescriptorsTaken() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor, which open hands out, is fd itself: those below are taken by now.
            (void)open("/dev/null", O_RDONLY);
        }
    }
}
#endif

// One line on stderr, control characters escaped.
void PrintError(std::u16string_view text) {
    std::string line = TerminalText(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

int UsageError(std::u16string_view message) {
    PrintError(u"parlivex-cli: " + std::u16string(message));
    std::fprintf(stderr, "\n%s", kUsage);
    return 2;
}

// Writes all of data to stdout. False when it cannot, with the reason in errno.
bool WriteStdout(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The exit status after stdout failed with error. A reader that went away (a pipe into "head") is no news to
// the user; anything else is a failure to report: the output is not all there.
int StdoutFailed(int error) {
    if (error != EPIPE) {
        PrintError(u"parlivex-cli: write error: " + ErrnoText(error));
    }
    return 1;
}

int PrintToStdout(std::string_view text) {
    return WriteStdout(text.data(), text.size()) ? 0 : StdoutFailed(errno);
}

using TArchive = std::unique_ptr<TwbBSAFile>;

// Opens the archive, or prints why not and returns false.
bool Open(TArchive& archive, const std::u16string& path) {
    TOpenedArchive opened = OpenArchive(path);
    if (opened.result) {
        archive = std::move(opened.reader);
        return true;
    }
    // The reader's own messages name the archive; the stream's fixed texts ("Erreur de lecture du flux") do
    // not.
    const std::u16string& reason = opened.result.reason;
    PrintError(reason.find(path) == std::u16string::npos ? u"parlivex-cli: " + path + u": " + reason
                                                         : reason);
    return false;
}

int List(const std::u16string& path) {
    TArchive archive;
    if (!Open(archive, path)) {
        return 1;
    }
    // Straight from the index: the entry strings in listing order, without building the list of them first.
    // Lines gather in a buffer that is written whenever it is nearly full. Names are escaped only when they
    // hold a control character, which is rare: the common case is a copy.
    constexpr size_t kFlushAt = 1 << 16;
    std::vector<char> buffer(kFlushAt);
    size_t used = 0;
    int writeError = 0;
    std::string folderPrefix;
    std::string escapedFile;
    const TBsaIndex& index = archive->Index();
    for (const TwbBSAFolderRec& folder : index.Folders()) {
        folderPrefix = TerminalText(folder.Name);
        folderPrefix += static_cast<char>(kEntryDelimiter);
        for (TEntryRef entry = folder.firstFile;
             entry < folder.firstFile + folder.fileCount && writeError == 0; ++entry) {
            const std::u16string file = index.FileName(entry);
            const bool escape = NeedsTerminalEscape(file);
            if (escape) {
                escapedFile = TerminalText(file);
            }
            const size_t fileLongest = escape ? escapedFile.size() : kMaxUtf8BytesPerUnit * file.size();
            const size_t longest = folderPrefix.size() + fileLongest + 1;
            if (used + longest > buffer.size()) {
                if (!WriteStdout(buffer.data(), used)) {
                    writeError = errno;
                    break;
                }
                used = 0;
                if (longest > buffer.size()) {
                    buffer.resize(longest);
                }
            }
            std::memcpy(buffer.data() + used, folderPrefix.data(), folderPrefix.size());
            used += folderPrefix.size();
            if (escape) {
                std::memcpy(buffer.data() + used, escapedFile.data(), escapedFile.size());
                used += escapedFile.size();
            } else {
                used += EncodeUtf8(file, buffer.data() + used);
            }
            buffer[used++] = '\n';
        }
    }
    if (writeError == 0 && !WriteStdout(buffer.data(), used)) {
        writeError = errno;
    }
    const int status = writeError == 0 ? 0 : StdoutFailed(writeError);
    // The index of a large archive is hundreds of thousands of small blocks; handing them back one by one
    // takes longer than listing them, and the process ends right here anyway: the system reclaims memory and
    // file at once.
    std::fflush(stderr);
    std::_Exit(status);
}

int Info(const std::u16string& path) {
    TArchive archive;
    if (!Open(archive, path)) {
        return 1;
    }
    char text[128];
    const int length = std::snprintf(
        text, sizeof text, "version: %u\narchive flags: 0x%08X\nfolders: %u\nfiles: %u\n", archive->Version(),
        archive->Flags(), archive->FolderRecordCount(), archive->FileCount());
    return PrintToStdout(std::string_view(text, static_cast<size_t>(length)));
}

bool ErrorsGoToTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

int Extract(const std::u16string& path, const std::u16string& destination, const std::u16string& filter,
            int jobs) {
    TArchive archive;
    if (!Open(archive, path)) {
        return 1;
    }
    std::vector<TEntryRef> entries = FilterEntries(*archive, filter);
    const size_t total = entries.size();
    if (!platform::ForceDirectories(destination)) {
        const uint32_t reason = platform::LastErrorCode();
        PrintError(u"Cannot create the folder " + destination + u": " + platform::SystemErrorText(reason));
        return 1;
    }
    // On a terminal, a progress line that each report first wipes, so that reports stay lines of their own.
    const bool terminal = ErrorsGoToTerminal();
    size_t progressShown = 0; // characters of the progress line on the terminal now
    ExtractListener listener;
    listener.progress = [&](int done, int total) {
        if (terminal && (done % 97 == 0 || done == total)) {
            const int length = std::fprintf(stderr, "\r%d/%d", done, total) - 1;
            progressShown = length > 0 ? static_cast<size_t>(length) : 0;
            if (done == total) {
                std::fputc('\n', stderr);
                progressShown = 0;
            }
        }
    };
    listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
        if (progressShown > 0) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(progressShown), "");
            progressShown = 0;
        }
        PrintError(entry + u": " + reason);
    };
    // Ctrl-C or SIGTERM stops the run between entries or blocks, with no temporary file left behind.
    static std::atomic<bool> interrupted{false};
    platform::SetFlagOnInterrupt(&interrupted);
    const ExtractSummary summary = ExtractEntries(*archive, std::move(entries), destination,
                                                  ExtractOptions{jobs}, listener, &interrupted);
    if (!summary.noSpace.empty()) {
        if (progressShown > 0) {
            std::fputc('\n', stderr);
        }
        PrintError(summary.noSpace);
        return 1;
    }
    if (summary.cancelled) {
        std::fputs("interrupted\n", stderr);
        return 130;
    }
    if (summary.failed > 0) {
        std::fprintf(stderr, "%d of %zu entries failed\n", summary.failed, total);
        return 1;
    }
    return 0;
}

int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

int Run(std::vector<std::string> args) {
    // A file size limit fails the write that passes it, which is reported; it never ends the process.
    platform::IgnoreFileSizeLimitSignal();
#ifdef __GLIBC__
    // Extraction allocates and frees an entry-sized buffer or two per entry, up to several MiB. By default
    // the C library hands large freed blocks back to the system and maps fresh ones for the next entry, so
    // that every entry pays page faults on memory it had a moment ago; keep such blocks for reuse instead.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    // The index of a large archive is tens of MiB in small blocks: grow the heap in large steps.
    mallopt(M_TOP_PAD, 16 << 20);
#endif
#ifndef _WIN32
    KeepStandardDescriptorsTaken();
#endif
    if (args.empty()) {
        return UsageError(u"no command given");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return PrintToStdout(std::string(kUsage) + kViewUsage);
    }
    // Paths reach the file system byte for byte; the filter is text.
    const auto path = [&args](size_t i) { return platform::PathFromNative(args[i]); };
    const std::string command = args[0];
    if (command == "list" || command == "info") {
        if (args.size() < 2) {
            return UsageError(u"missing ARCHIVE after " + FromUtf8(command));
        }
        if (args.size() > 2) {
            return UsageError(u"unexpected argument: " + path(2));
        }
        return command == "list" ? List(path(1)) : Info(path(1));
    }
    if (command == "extract") {
        if (args.size() < 3) {
            return UsageError(args.size() < 2 ? u"missing ARCHIVE and DEST after extract"
                                              : u"missing DEST after extract");
        }
        std::u16string filter;
        int jobs = DefaultJobs();
        for (size_t i = 3; i < args.size(); ++i) {
            const std::string& option = args[i];
            if (option != "--filter" && option != "--jobs") {
                return UsageError(u"unexpected argument: " + path(i));
            }
            if (i + 1 == args.size()) {
                return UsageError(u"missing " + std::u16string(option == "--filter" ? u"TEXT" : u"N") +
                                  u" after " + FromUtf8(option));
            }
            const std::string& value = args[++i];
            if (option == "--filter") {
                filter = FromUtf8(value);
                continue;
            }
            char* end = nullptr;
            const long number = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || number < 1 || number > 256) {
                return UsageError(u"--jobs takes a whole number from 1 to 256");
            }
            jobs = static_cast<int>(number);
        }
        return Extract(path(1), path(2), filter, jobs);
    }
    if (const int status = RunViewCommand(args); status >= 0) {
        return status;
    }
    return UsageError(u"unknown command: " + path(0));
}

} // namespace

#ifdef _WIN32
// Windows hands the command line over in UTF-16 here; main() would get it in the ANSI code page, which has
// no room for most names. Output is UTF-8 with "\n" line ends, as on Linux: the C library would turn every
// "\n" into "\r\n", and the console is told to show UTF-8.
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    // Each argument in the bytes that platform::PathFromNative reads back exactly, whatever units it holds.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(platform::NativePath(std::u16string(arg.begin(), arg.end())));
    }
    return Run(std::move(args));
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
