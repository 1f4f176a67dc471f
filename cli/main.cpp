// parlivex-cli: the command-line companion of Parlivex, for scripting and batch work.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/bsa_file.h"
#include "archive/entry_string.h"
#include "base/exceptions.h"
#include "cli/data_folder_commands.h"
#include "cli/messages.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "cli/view_commands.h"
#include "compression/library_versions.h"
#include "extract/entry_fetch.h"
#include "extract/entry_filter.h"
#include "extract/extract_selection.h"
#include "parlivex_version.h"
#include "platform/command_line.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/large_memory.h"
#include "platform/native_path.h"

namespace {

int UsageError(std::u16string_view message) {
    return PrintUsageError(stderr, message);
}

// The exit status after stdout failed with error. A reader that went away (a pipe into "head") is no news to
// the user; anything else is a failure to report: the output is not all there.
int StdoutFailed(int error) {
    if (error != EPIPE) {
        PrintMessage(stderr, StandardOutputWriteError(error));
    }
    return 1;
}

int PrintToStdout(std::string_view text) {
    const int error = platform::WriteStandardOutput(text.data(), text.size());
    return error == 0 ? 0 : StdoutFailed(error);
}

using TArchive = std::unique_ptr<TwbBSAFile>;

// Opens the archive, or prints why not and returns false.
bool Open(TArchive& archive, const std::u16string& path) {
    TOpenedArchive opened = OpenArchive(path);
    if (!opened.result) {
        PrintMessage(stderr, OpenFailure(path, opened.result.reason));
        return false;
    }
    archive = std::move(opened.reader);
    return true;
}

int List(const std::u16string& path, const TEntryFilter& filter) {
    TArchive archive;
    if (!Open(archive, path)) {
        return 1;
    }
    // Straight from the index: the entry strings in listing order, without building the list of them first,
    // the file names converted from the archive's bytes. Lines gather in a buffer that is written whenever it
    // is nearly full.
    constexpr size_t kFlushAt = 1 << 16;
    std::vector<char> buffer(kFlushAt);
    size_t used = 0;
    int writeError = 0;
    std::string folderPrefix;
    const TAnsiTerminalText fileText;
    const TBsaIndex& index = archive->Index();
    for (const TwbBSAFolderRec& folder : index.Folders()) {
        folderPrefix = TerminalText(folder.Name);
        folderPrefix += static_cast<char>(kEntryDelimiter);
        for (TEntryRef entry = folder.firstFile;
             entry < folder.firstFile + folder.fileCount && writeError == 0; ++entry) {
            if (!filter.KeepsAll() && !filter.Keeps(archive->EntryString(entry))) {
                continue;
            }
            const std::string_view file = index.FileNameBytes(entry);
            const size_t longest =
                folderPrefix.size() + TAnsiTerminalText::kMaxBytesPerByte * file.size() + 1;
            if (used + longest > buffer.size()) {
                writeError = platform::WriteStandardOutput(buffer.data(), used);
                if (writeError != 0) {
                    break;
                }
                used = 0;
                if (longest > buffer.size()) {
                    buffer.resize(longest);
                }
            }
            std::memcpy(buffer.data() + used, folderPrefix.data(), folderPrefix.size());
            used += folderPrefix.size();
            used += fileText.Write(file, buffer.data() + used);
            buffer[used++] = '\n';
        }
    }
    if (writeError == 0) {
        writeError = platform::WriteStandardOutput(buffer.data(), used);
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

// The progress of a run on a terminal: one short line that is rewritten in place, wiped before each report
// and at the end, so that reports stay lines of their own and nothing of it stays behind.
class TProgressLine {
public:
    explicit TProgressLine(bool shown) : shown_(shown) {}
    void Show(int done, int total) {
        if (shown_ && (done % 97 == 0 || done == total)) {
            const int length = std::fprintf(stderr, "\r%s%d/%d", ToUtf8(kMessagePrefix).c_str(), done, total);
            width_ = length > 1 ? length - 1 : 0;
        }
    }
    void Wipe() {
        if (width_ > 0) {
            std::fprintf(stderr, "\r%*s\r", width_, "");
            width_ = 0;
        }
    }

private:
    bool shown_;
    int width_ = 0; // characters of the line on the terminal now
};

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
        PrintMessage(stderr,
                     destination + u": cannot create the folder: " + platform::SystemErrorText(reason));
        return 1;
    }
    TProgressLine progress(platform::StandardErrorIsTerminal());
    ExtractListener listener;
    listener.progress = [&](int done, int total) { progress.Show(done, total); };
    listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
        progress.Wipe();
        PrintMessage(stderr, EntryFailure(entry, reason));
    };
    // Ctrl-C or SIGTERM stops the run between entries or blocks, with no temporary file left behind.
    static std::atomic<bool> interrupted{false};
    platform::SetFlagOnInterrupt(&interrupted);
    const ExtractSummary summary = ExtractEntries(*archive, std::move(entries), destination,
                                                  ExtractOptions{jobs}, listener, &interrupted);
    progress.Wipe();
    if (!summary.noSpace.empty()) {
        PrintMessage(stderr, summary.noSpace); // names DEST
        return 1;
    }
    if (summary.cancelled) {
        PrintMessage(stderr, path + u": extraction interrupted");
        return 130;
    }
    if (summary.failed > 0) {
        PrintMessage(stderr, path + u": " + IntToStr(summary.failed) + u" of " + UIntToStr(total) +
                                 u" entries failed");
        return 1;
    }
    return 0;
}

int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

int PrintVersion() {
    const std::string text = "parlivex-cli " + std::string(kParlivexVersion) + "\n" +
                             ToUtf8(LibraryVersionsText(CoreLibraryVersions())) + "\n";
    return PrintToStdout(text);
}

int Run(std::vector<std::string> args) {
    // A file size limit fails the write that passes it, which is reported; it never ends the process.
    platform::IgnoreFileSizeLimitSignal();
    // Extraction allocates and frees an entry-sized buffer or two per entry, up to several MiB, and the index
    // of a large archive is tens of MiB in small blocks.
    platform::TuneAllocatorForLargeBuffers();
    if (args.empty()) {
        return UsageError(u"no command given");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return PrintToStdout(kUsage);
    }
    if (args[0] == "--version") {
        return PrintVersion();
    }
    // Paths reach the file system byte for byte; the filter is text.
    const auto path = [&args](size_t i) { return platform::PathFromNative(args[i]); };
    const std::string command = args[0];
    if (const int status = RunDataFolderCommand(args); status >= 0) {
        return status;
    }
    if (command == "list" || command == "info") {
        if (args.size() < 2) {
            return UsageError(u"missing ARCHIVE after " + FromUtf8(command));
        }
        std::u16string filter;
        for (size_t i = 2; i < args.size(); ++i) {
            if (command != "list" || args[i] != "--filter") {
                return UsageError(u"unexpected argument: " + path(i));
            }
            if (i + 1 == args.size()) {
                return UsageError(u"missing TEXT after --filter");
            }
            filter = FromUtf8(args[++i]);
        }
        return command == "list" ? List(path(1), TEntryFilter(filter)) : Info(path(1));
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

int main(int argc, char** argv) {
    platform::PrepareStandardStreams();
    std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
    if (!args.empty()) {
        args.erase(args.begin()); // the program's name
    }
    return Run(std::move(args));
}
