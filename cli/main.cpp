// parlivex-cli: the command-line companion of Parlivex, for scripting and batch work.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

#include "archive/archive_session.h"
#include "archive/entry_filter.h"
#include "base/exceptions.h"
#include "cli/extract_job.h"
#include "cli/view_commands.h"
#include "platform/directories.h"
#include "platform/interrupt.h"

namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  parlivex-cli list ARCHIVE\n"
    "      Prints every entry string (folder\\file), one per line in UTF-8, folders and files in\n"
    "      case-insensitive name order.\n"
    "  parlivex-cli extract ARCHIVE DEST [--filter TEXT] [--jobs N]\n"
    "      Writes every entry below the folder DEST, recreating the archive's folders; existing files are\n"
    "      replaced. --filter keeps the entries whose entry string contains TEXT (TEXT is trimmed and\n"
    "      lower-cased; the entry string is compared as it is, as the window's filter box does).\n"
    "      --jobs N extracts with N workers (default: the number of cores); the result is the same.\n"
    "      Entries that cannot be fetched or written, and entries whose path would leave DEST, are reported\n"
    "      on stderr with the reason; the others are still extracted. Entries of zero bytes give empty files.\n"
    "  parlivex-cli info ARCHIVE\n"
    "      Prints the archive's version, archive flags, folder count and file count.\n"
    "  parlivex-cli --help\n"
    "\n"
    "Exit status: 0 on success; 1 when the archive cannot be opened or any entry failed; 2 for a usage "
    "error.\n";

int UsageError(const char* message) {
    std::fprintf(stderr, "parlivex-cli: %s\n\n%s", message, kUsage);
    return 2;
}

void PrintLine(FILE* out, const std::u16string& text) {
    const std::string utf8 = ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), out);
    std::fputc('\n', out);
}

// Opens the archive, or prints the reader's message and returns false.
bool Open(TArchiveSession& archive, const std::u16string& path) {
    try {
        ArchiveOpen(archive, path);
        return true;
    } catch (const Exception& e) {
        PrintLine(stderr, e.Message());
    } catch (const std::bad_alloc&) {
        PrintLine(stderr, path + u": out of memory");
    }
    return false;
}

// The entry strings of ArchiveExportFileList, in its order, built straight from the reader's maps: one copy
// of them in memory instead of two.
std::vector<std::u16string> EntryStrings(const TArchiveSession& archive) {
    std::vector<std::u16string> entries;
    entries.reserve(archive->FileCount());
    archive->forEachEntry([&](const std::u16string& folder, const std::u16string& file) {
        std::u16string entry;
        entry.reserve(folder.size() + 1 + file.size());
        entry.append(folder).append(1, u'\\').append(file);
        entries.push_back(std::move(entry));
    });
    return entries;
}

int List(const std::u16string& path) {
    TArchiveSession archive;
    if (!Open(archive, path)) {
        return 1;
    }
    // Straight from the reader's maps: the entry strings of ArchiveExportFileList, in its order, without
    // building the list of them first. Lines gather in a buffer that is written whenever it is nearly full.
    constexpr size_t kFlushAt = 1 << 16;
    std::vector<char> buffer(kFlushAt);
    size_t used = 0;
    std::string folderPrefix;
    const std::u16string* folderOfPrefix = nullptr;
    archive->forEachEntry([&](const std::u16string& folder, const std::u16string& file) {
        if (&folder != folderOfPrefix) {
            folderPrefix = ToUtf8(folder);
            folderPrefix += '\\';
            folderOfPrefix = &folder;
        }
        const size_t longest = folderPrefix.size() + kMaxUtf8BytesPerUnit * file.size() + 1;
        if (used + longest > buffer.size()) {
            std::fwrite(buffer.data(), 1, used, stdout);
            used = 0;
            if (longest > buffer.size()) {
                buffer.resize(longest);
            }
        }
        std::memcpy(buffer.data() + used, folderPrefix.data(), folderPrefix.size());
        used += folderPrefix.size();
        used += EncodeUtf8(file, buffer.data() + used);
        buffer[used++] = '\n';
    });
    std::fwrite(buffer.data(), 1, used, stdout);
    // The index of a large archive is hundreds of thousands of small blocks; handing them back one by one
    // takes longer than listing them, and the process ends right here anyway: the system reclaims memory and
    // file at once.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}

int Info(const std::u16string& path) {
    TArchiveSession archive;
    if (!Open(archive, path)) {
        return 1;
    }
    std::printf("version: %u\narchive flags: 0x%08X\nfolders: %zu\nfiles: %u\n", archive->Version(),
                archive->Flags(), archive->Folders().size(), archive->FileCount());
    return 0;
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
    TArchiveSession archive;
    if (!Open(archive, path)) {
        return 1;
    }
    const std::vector<std::u16string> entries = FilterEntries(EntryStrings(archive), filter);
    if (!platform::ForceDirectories(destination)) {
        PrintLine(stderr, u"Cannot create the folder " + destination);
        return 1;
    }
    const bool terminal = ErrorsGoToTerminal();
    const auto progress = [terminal](int done, int total) {
        if (terminal && (done % 97 == 0 || done == total)) {
            std::fprintf(stderr, "\r%d/%d", done, total);
            if (done == total) {
                std::fputc('\n', stderr);
            }
        }
    };
    // Ctrl-C or SIGTERM stops the run between entries or blocks, with no temporary file left behind.
    static std::atomic<bool> interrupted{false};
    platform::SetFlagOnInterrupt(&interrupted);
    const ExtractSummary summary = ExtractEntries(*archive, entries, destination, jobs, progress, &interrupted);
    for (const auto& failure : summary.failures) {
        PrintLine(stderr, failure.entry + u": " + failure.reason);
    }
    if (summary.cancelled) {
        std::fputs("interrupted\n", stderr);
        return 130;
    }
    if (!summary.failures.empty()) {
        std::fprintf(stderr, "%zu of %zu entries failed\n", summary.failures.size(), entries.size());
        return 1;
    }
    return 0;
}

int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

int Run(std::vector<std::string> args) {
#ifdef __GLIBC__
    // Extraction allocates and frees an entry-sized buffer or two per entry, up to several MiB. By default
    // the C library hands large freed blocks back to the system and maps fresh ones for the next entry, so
    // that every entry pays page faults on memory it had a moment ago; keep such blocks for reuse instead.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    // The index of a large archive is tens of MiB in small blocks: grow the heap in large steps.
    mallopt(M_TOP_PAD, 16 << 20);
#endif
    if (args.empty()) {
        return UsageError("no command given");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        std::fputs(kViewUsage, stdout);
        return 0;
    }
    const std::string command = args[0];
    if ((command == "list" || command == "info") && args.size() == 2) {
        return command == "list" ? List(FromUtf8(args[1])) : Info(FromUtf8(args[1]));
    }
    if (command == "extract" && args.size() >= 3) {
        std::u16string filter;
        int jobs = DefaultJobs();
        for (size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "--filter" && i + 1 < args.size()) {
                filter = FromUtf8(args[++i]);
            } else if (args[i] == "--jobs" && i + 1 < args.size()) {
                char* end = nullptr;
                const long value = std::strtol(args[++i].c_str(), &end, 10);
                if (*end != '\0' || value < 1 || value > 256) {
                    return UsageError("--jobs takes a whole number from 1 to 256");
                }
                jobs = static_cast<int>(value);
            } else {
                return UsageError(("unexpected argument: " + args[i]).c_str());
            }
        }
        return Extract(FromUtf8(args[1]), FromUtf8(args[2]), filter, jobs);
    }
    if (const int status = RunViewCommand(args); status >= 0) {
        return status;
    }
    return UsageError(("cannot understand: " + command).c_str());
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
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(ToUtf8(std::u16string(arg.begin(), arg.end())));
    }
    return Run(std::move(args));
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
