#include "cli/data_folder_commands.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/ustring.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "data_folder/archive_diff.h"
#include "data_folder/data_folder.h"
#include "data_folder/row_extraction.h"
#include "extract/entry_fetch.h"
#include "extract/entry_filter.h"
#include "platform/command_line.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/native_path.h"

namespace {

using TRowIndex = TOverrideTable::TRowIndex;

// The arguments of a command: its operands and the options these commands take.
struct TArguments {
    std::vector<std::u16string> operands;
    bool json = false;
    bool winnersOnly = false;
    bool loose = false;
    bool orderFilesGiven = false;
    TLoadOrderFiles files;
    std::u16string filter;
    int jobs = 0;
};

int UsageError(std::u16string_view message) {
    return PrintUsageError(stderr, message);
}

// Takes the options apart; returns 2 after a usage error, -1 on success. Options this command does not
// take are refused.
int ParseArguments(const std::vector<std::string>& args, std::u16string_view options, TArguments& parsed) {
    const auto takes = [&](std::u16string_view option) {
        return options.find(std::u16string(option) + u" ") != std::u16string_view::npos;
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::u16string option = FromUtf8(arg);
        const bool isOption = arg.size() > 2 && arg.compare(0, 2, "--") == 0;
        if (!isOption) {
            parsed.operands.push_back(platform::PathFromNative(arg));
            continue;
        }
        if (!takes(option)) {
            return UsageError(u"unexpected argument: " + platform::PathFromNative(arg));
        }
        if (arg == "--json" || arg == "--winners-only" || arg == "--loose") {
            (arg == "--json" ? parsed.json : arg == "--loose" ? parsed.loose : parsed.winnersOnly) = true;
            continue;
        }
        if (i + 1 == args.size()) {
            const std::u16string value = arg == "--filter" ? u"TEXT" : arg == "--jobs" ? u"N" : u"FILE";
            return UsageError(u"missing " + value + u" after " + option);
        }
        const std::string& value = args[++i];
        if (arg == "--plugins" || arg == "--ini") {
            (arg == "--plugins" ? parsed.files.plugins : parsed.files.ini) = platform::PathFromNative(value);
            parsed.orderFilesGiven = true;
        } else if (arg == "--filter") {
            parsed.filter = FromUtf8(value);
        } else if (arg == "--jobs") {
            char* end = nullptr;
            const long number = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || number < 1 || number > 256) {
                return UsageError(u"--jobs takes a whole number from 1 to 256");
            }
            parsed.jobs = static_cast<int>(number);
        }
    }
    return -1;
}

int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

// Standard output gathered in a buffer written whenever it grows past 64 KiB.
class TOutput {
public:
    std::string text;
    // False once a write failed; the reason is then printed by Finish.
    bool Flush(bool always = false) {
        if (!always && text.size() < (1 << 16)) {
            return error_ == 0;
        }
        if (error_ == 0) {
            error_ = platform::WriteStandardOutput(text.data(), text.size());
        }
        text.clear();
        return error_ == 0;
    }
    // 0, or 1 after saying why the output failed (a reader that went away is no news).
    int Finish() {
        Flush(true);
        if (error_ != 0 && error_ != EPIPE) {
            PrintMessage(stderr, StandardOutputWriteError(error_));
        }
        return error_ == 0 ? 0 : 1;
    }

private:
    int error_ = 0;
};

// The archives of the operands open: one folder (in the game's load order) or archives in the order given.
// The failures and the rule of the order are said on stderr. Nothing after a usage error or a folder that
// cannot be read; status then holds the exit status.
std::unique_ptr<TDataFolder> OpenSources(const TArguments& arguments, int& status) {
    const std::vector<std::u16string>& operands = arguments.operands;
    const bool folder = operands.size() == 1 && platform::DirectoryExists(operands[0]);
    for (size_t i = 0; i < operands.size() && !folder; ++i) {
        if (platform::DirectoryExists(operands[i])) {
            status = UsageError(u"give one folder or archives, not both: " + operands[i]);
            return nullptr;
        }
    }
    if (!folder && arguments.orderFilesGiven) {
        status = UsageError(u"--plugins and --ini apply to a folder; archives given load in the order given");
        return nullptr;
    }
    if (!folder && arguments.loose) {
        status = UsageError(u"--loose applies to a folder");
        return nullptr;
    }
    std::unique_ptr<TDataFolder> opened;
    if (folder) {
        TDataFolderOptions options;
        options.files = arguments.files;
        options.looseFiles = arguments.loose;
        std::u16string why;
        opened = OpenDataFolder(operands[0], options, why);
        if (!opened) {
            PrintMessage(stderr, operands[0] + u": cannot read the folder: " + why);
            status = 1;
            return nullptr;
        }
        PrintMessage(stderr, operands[0] + u": " + DescribeIniRule(opened->order));
        PrintMessage(stderr, operands[0] + u": " + DescribePluginsRule(opened->order));
    } else {
        opened = OpenArchivesInOrder(operands, 0);
    }
    for (const TFailedArchive& failed : opened->failed) {
        PrintMessage(stderr, OpenFailure(failed.path, failed.reason));
    }
    status = opened->failed.empty() ? 0 : 1;
    return opened;
}

const char16_t* EditionName(TGameEdition edition) {
    return edition == TGameEdition::SpecialEdition ? u"Skyrim Special Edition" : u"Skyrim";
}

const char16_t* StateName(TSettingsSource::State state) {
    switch (state) {
    case TSettingsSource::State::Used:
        return u"used";
    case TSettingsSource::State::Missing:
        return u"missing";
    case TSettingsSource::State::Unreadable:
        return u"unreadable";
    case TSettingsSource::State::NothingListed:
        return u"nothing listed";
    case TSettingsSource::State::NoPlace:
        return u"no place";
    }
    return u"";
}

void WriteSettingsSource(TJsonWriter& json, const TSettingsSource& source) {
    json.BeginObject();
    json.Key("path");
    json.String(source.path);
    json.Key("state");
    json.String(StateName(source.state));
    json.Key("reason");
    json.String(source.why);
    json.EndObject();
}

// "order": what decided it; "archives": each in load order with its rule and counts; "failed".
void WriteSourcesJson(TJsonWriter& json, const TDataFolder& folder) {
    json.Key("order");
    json.BeginObject();
    json.Key("given");
    json.Bool(folder.orderGiven);
    if (!folder.orderGiven) {
        const TLoadOrderReport& order = folder.order;
        json.Key("edition");
        json.String(EditionName(order.edition));
        json.Key("ini");
        json.BeginObject();
        json.Key("decided");
        json.Bool(order.iniDecided);
        json.Key("rule");
        json.String(DescribeIniRule(order));
        json.Key("files");
        json.BeginArray();
        for (const TSettingsSource& source : order.iniFiles) {
            WriteSettingsSource(json, source);
        }
        json.EndArray();
        json.EndObject();
        json.Key("plugins");
        json.BeginObject();
        json.Key("decided");
        json.Bool(order.pluginsDecided);
        json.Key("rule");
        json.String(DescribePluginsRule(order));
        json.Key("file");
        WriteSettingsSource(json, order.plugins);
        json.EndObject();
    }
    json.EndObject();
    json.Key("archives");
    json.BeginArray();
    for (size_t source = 0; source < folder.sources.size(); ++source) {
        const TDataSource& archive = folder.sources[source];
        json.BeginObject();
        json.Key("name");
        json.String(archive.name);
        json.Key("path");
        json.String(archive.path);
        json.Key("version");
        json.Number(archive.reader ? archive.reader->Version() : 0);
        json.Key("rule");
        json.String(LoadRuleText(archive.placed));
        json.Key("loaded");
        json.Bool(archive.loaded);
        json.Key("entries");
        json.Number(archive.Index().FileCount());
        json.Key("wins");
        json.Number(folder.table.Wins(source));
        json.Key("losses");
        json.Number(folder.table.Losses(source));
        json.EndObject();
    }
    json.EndArray();
    json.Key("failed");
    json.BeginArray();
    for (const TFailedArchive& failed : folder.failed) {
        json.BeginObject();
        json.Key("path");
        json.String(failed.path);
        json.Key("reason");
        json.String(failed.reason);
        json.EndObject();
    }
    json.EndArray();
}

const char16_t* RowStateName(TRowState state) {
    switch (state) {
    case TRowState::Winner:
        return u"winner";
    case TRowState::Overridden:
        return u"overridden";
    case TRowState::Left:
        return u"not loaded";
    }
    return u"";
}

// The entry strings of rows in UTF-8 for a terminal, reusing each source's folder prefix while rows of one
// folder follow one another.
class TEntryText {
public:
    explicit TEntryText(const TDataFolder& folder) : folder_(folder), last_(folder.sources.size()) {}
    void Append(std::string& out, TRowIndex row) {
        const TSourceRow& at = folder_.table.Rows()[row];
        const TBsaIndex& index = folder_.sources[at.source].Index();
        const uint32_t folderPlace = index.File(at.entry).folder;
        TPrefix& prefix = last_[at.source];
        if (prefix.folder != folderPlace || prefix.text.empty()) {
            prefix.folder = folderPlace;
            prefix.text = TerminalText(index.Folders()[folderPlace].Name) + '\\';
        }
        out += prefix.text;
        AppendTerminalText(out, index.FileName(at.entry));
    }

private:
    struct TPrefix {
        uint32_t folder = 0;
        std::string text;
    };
    const TDataFolder& folder_;
    std::vector<TPrefix> last_;
};

int List(const TArguments& arguments) {
    int status = 0;
    const std::unique_ptr<TDataFolder> folder = OpenSources(arguments, status);
    if (!folder) {
        return status;
    }
    TOutput output;
    const std::vector<TSourceRow>& rows = folder->table.Rows();
    const bool archiveColumn = folder->sources.size() > 1;
    const TEntryFilter filter(arguments.filter);
    const auto kept = [&](TRowIndex row) {
        return filter.KeepsAll() || filter.Keeps(folder->EntryString(row));
    };
    if (arguments.json) {
        TJsonWriter json;
        json.BeginObject();
        WriteSourcesJson(json, *folder);
        json.Key("entries");
        json.BeginArray();
        for (TRowIndex row = 0; row < rows.size(); ++row) {
            if (!kept(row)) {
                continue;
            }
            json.BeginObject();
            json.Key("entry");
            json.String(folder->EntryString(row));
            json.Key("archive");
            json.String(folder->SourceOf(row).name);
            json.Key("state");
            json.String(RowStateName(folder->table.State(row)));
            json.EndObject();
            if (json.Text().size() >= (1 << 16)) {
                output.text = json.TakeText();
                if (!output.Flush()) {
                    break;
                }
            }
        }
        json.EndArray();
        json.EndObject();
        output.text += json.TakeText() + "\n";
    } else {
        std::vector<std::string> names;
        for (const TDataSource& source : folder->sources) {
            names.push_back('\t' + TerminalText(source.name) + '\n');
        }
        TEntryText entries(*folder);
        for (TRowIndex row = 0; row < rows.size(); ++row) {
            if (!kept(row)) {
                continue;
            }
            entries.Append(output.text, row);
            output.text += archiveColumn ? names[rows[row].source] : std::string("\n");
            if (!output.Flush()) {
                break;
            }
        }
    }
    const int outputStatus = output.Finish();
    // As the one-archive list: the process ends here, and handing back the indexes' memory block by block
    // would take longer than the listing.
    std::fflush(stderr);
    std::_Exit(outputStatus != 0 ? outputStatus : status);
}

int Which(const TArguments& arguments) {
    if (arguments.operands.size() != 2) {
        return UsageError(u"which takes DIR ENTRY");
    }
    TArguments sources = arguments;
    const std::u16string entry = sources.operands.back();
    sources.operands.pop_back();
    int status = 0;
    const std::unique_ptr<TDataFolder> folder = OpenSources(sources, status);
    if (!folder) {
        return status;
    }
    const auto [first, end] = folder->table.FindPath(entry);
    const std::optional<TRowIndex> winner =
        first < end ? folder->table.WinnerOf(first) : std::optional<TRowIndex>();
    TOutput output;
    if (arguments.json) {
        TJsonWriter json;
        json.BeginObject();
        WriteSourcesJson(json, *folder);
        json.Key("entry");
        json.String(entry);
        json.Key("winner");
        if (winner) {
            json.String(folder->SourceOf(*winner).name);
        } else {
            json.Null();
        }
        json.Key("providers");
        json.BeginArray();
        for (TRowIndex row = first; row < end; ++row) {
            json.BeginObject();
            json.Key("archive");
            json.String(folder->SourceOf(row).name);
            json.Key("entry");
            json.String(folder->EntryString(row));
            json.Key("state");
            json.String(RowStateName(folder->table.State(row)));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        output.text = json.TakeText() + "\n";
    } else {
        // Each archive that has the entry, in load order: its name, what it is to the game, its spelling.
        TEntryText entries(*folder);
        for (TRowIndex row = first; row < end; ++row) {
            output.text += TerminalText(folder->SourceOf(row).name) + '\t' +
                           ToUtf8(RowStateName(folder->table.State(row))) + '\t';
            entries.Append(output.text, row);
            output.text += '\n';
        }
    }
    const int outputStatus = output.Finish();
    if (first == end) {
        PrintMessage(stderr, entry + u": no archive holds it");
        return 1;
    }
    return outputStatus != 0 ? outputStatus : status;
}

int Conflicts(const TArguments& arguments) {
    if (arguments.operands.empty()) {
        return UsageError(u"missing DIR after conflicts");
    }
    int status = 0;
    const std::unique_ptr<TDataFolder> folder = OpenSources(arguments, status);
    if (!folder) {
        return status;
    }
    const TOverrideTable& table = folder->table;
    const std::vector<TRowIndex> conflicts = table.ConflictRows();
    TOutput output;
    TJsonWriter json;
    TEntryText entries(*folder);
    if (arguments.json) {
        json.BeginObject();
        WriteSourcesJson(json, *folder);
        json.Key("conflicts");
        json.BeginArray();
    }
    // The conflicting rows of a path stand together, the winner last.
    for (size_t first = 0; first < conflicts.size();) {
        size_t last = first;
        while (table.State(conflicts[last]) != TRowState::Winner) {
            ++last;
        }
        const TRowIndex winner = conflicts[last];
        if (arguments.json) {
            json.BeginObject();
            json.Key("entry");
            json.String(folder->EntryString(winner));
            json.Key("winner");
            json.String(folder->SourceOf(winner).name);
            json.Key("overridden");
            json.BeginArray();
            for (size_t i = first; i < last; ++i) {
                json.String(folder->SourceOf(conflicts[i]).name);
            }
            json.EndArray();
            json.EndObject();
            if (json.Text().size() >= (1 << 16)) {
                output.text = json.TakeText();
            }
        } else {
            // entry, winner, then the archives it overrides in load order, tab-separated
            entries.Append(output.text, winner);
            output.text += '\t';
            AppendTerminalText(output.text, folder->SourceOf(winner).name);
            for (size_t i = first; i < last; ++i) {
                output.text += '\t';
                AppendTerminalText(output.text, folder->SourceOf(conflicts[i]).name);
            }
            output.text += '\n';
        }
        if (!output.Flush()) {
            break;
        }
        first = last + 1;
    }
    if (arguments.json) {
        json.EndArray();
        json.EndObject();
        output.text += json.TakeText() + "\n";
    }
    const int outputStatus = output.Finish();
    std::fflush(stderr);
    std::_Exit(outputStatus != 0 ? outputStatus : status);
}

// Exit status of diff: 0 equal, 1 different, 2 trouble.
int Diff(const TArguments& arguments) {
    if (arguments.operands.size() != 2) {
        return UsageError(u"diff takes A.bsa B.bsa");
    }
    TOpenedArchive opened[2];
    for (int side = 0; side < 2; ++side) {
        opened[side] = OpenArchive(arguments.operands[side]);
        if (!opened[side].result) {
            PrintMessage(stderr, OpenFailure(arguments.operands[side], opened[side].result.reason));
            return 2;
        }
    }
    static std::atomic<bool> interrupted{false};
    platform::SetFlagOnInterrupt(&interrupted);
    const TArchiveDiff diff = DiffArchives(*opened[0].reader, *opened[1].reader, {}, &interrupted);
    TOutput output;
    if (arguments.json) {
        TJsonWriter json;
        json.BeginObject();
        json.Key("first");
        json.String(arguments.operands[0]);
        json.Key("second");
        json.String(arguments.operands[1]);
        json.Key("equal");
        json.Bool(diff.Equal());
        json.Key("same");
        json.Number(diff.same);
        const std::pair<const char*, TArchiveDifference::Kind> lists[] = {
            {"onlyInFirst", TArchiveDifference::Kind::OnlyInFirst},
            {"onlyInSecond", TArchiveDifference::Kind::OnlyInSecond},
            {"different", TArchiveDifference::Kind::Different}};
        for (const auto& [key, kind] : lists) {
            json.Key(key);
            json.BeginArray();
            for (const TArchiveDifference& difference : diff.differences) {
                if (difference.kind == kind) {
                    json.String(difference.entry);
                }
            }
            json.EndArray();
        }
        json.Key("unreadable");
        json.BeginArray();
        for (const TArchiveDifference& difference : diff.differences) {
            if (difference.kind == TArchiveDifference::Kind::Unreadable) {
                json.BeginObject();
                json.Key("entry");
                json.String(difference.entry);
                json.Key("archive");
                json.String(arguments.operands[difference.side]);
                json.Key("reason");
                json.String(difference.reason);
                json.EndObject();
            }
        }
        json.EndArray();
        json.EndObject();
        output.text = json.TakeText() + "\n";
    } else {
        for (const TArchiveDifference& difference : diff.differences) {
            const char* mark = difference.kind == TArchiveDifference::Kind::OnlyInFirst    ? "< "
                               : difference.kind == TArchiveDifference::Kind::OnlyInSecond ? "> "
                               : difference.kind == TArchiveDifference::Kind::Different    ? "! "
                                                                                           : nullptr;
            if (mark != nullptr) {
                output.text += mark;
                AppendTerminalText(output.text, difference.entry);
                output.text += '\n';
            }
        }
    }
    for (const TArchiveDifference& difference : diff.differences) {
        if (difference.kind == TArchiveDifference::Kind::Unreadable) {
            PrintMessage(stderr, arguments.operands[difference.side] + u": " +
                                     EntryFailure(difference.entry, difference.reason));
        }
    }
    if (output.Finish() != 0) {
        return 2;
    }
    if (diff.cancelled) {
        PrintMessage(stderr, arguments.operands[0] + u": comparison interrupted");
        return 130;
    }
    return diff.Unreadable() ? 2 : diff.Equal() ? 0 : 1;
}

int Extract(const TArguments& arguments) {
    if (arguments.operands.size() < 2) {
        return UsageError(arguments.operands.empty() ? u"missing ARCHIVE and DEST after extract"
                                                     : u"missing DEST after extract");
    }
    TArguments sources = arguments;
    const std::u16string destination = sources.operands.back();
    sources.operands.pop_back();
    int status = 0;
    const std::unique_ptr<TDataFolder> folder = OpenSources(sources, status);
    if (!folder) {
        return status;
    }
    const TEntryFilter filter(arguments.filter);
    std::vector<TRowIndex> rows;
    for (TRowIndex row = 0; row < folder->table.Rows().size(); ++row) {
        if (filter.KeepsAll() || filter.Keeps(folder->EntryString(row))) {
            rows.push_back(row);
        }
    }
    if (!platform::ForceDirectories(destination)) {
        const uint32_t reason = platform::LastErrorCode();
        PrintMessage(stderr,
                     destination + u": cannot create the folder: " + platform::SystemErrorText(reason));
        return 1;
    }
    TRowExtractListener listener;
    listener.notExtracted = [](const TDataSource& source, const std::u16string& entry,
                               const std::u16string& reason) {
        PrintMessage(stderr, source.name + u": " + EntryFailure(entry, reason));
    };
    int overriddenByLooseFiles = 0;
    listener.overridden = [&overriddenByLooseFiles](const TDataSource&, const std::u16string&,
                                                    const TDataSource& winner) {
        overriddenByLooseFiles += winner.loose ? 1 : 0;
    };
    static std::atomic<bool> interrupted{false};
    platform::SetFlagOnInterrupt(&interrupted);
    TRowExtractOptions options;
    options.extract.jobs = arguments.jobs > 0 ? arguments.jobs : DefaultJobs();
    options.winnersOnly = arguments.winnersOnly;
    const TRowExtractSummary summary =
        ExtractRows(*folder, std::move(rows), destination, options, listener, &interrupted);
    if (!summary.noSpace.empty()) {
        PrintMessage(stderr, summary.noSpace);
        return 1;
    }
    if (summary.cancelled) {
        PrintMessage(stderr, destination + u": extraction interrupted");
        return 130;
    }
    if (summary.overridden > 0) {
        const int byArchives = summary.overridden - overriddenByLooseFiles;
        std::u16string by = byArchives > 0 ? u"a later archive's" : u"";
        if (overriddenByLooseFiles > 0) {
            by += std::u16string(byArchives > 0 ? u" (" + IntToStr(overriddenByLooseFiles) + u" by" : u"") +
                  u" a loose file" + (byArchives > 0 ? u")" : u"");
        }
        PrintMessage(stderr, destination + u": " + IntToStr(summary.overridden) + u" entries overridden by " +
                                 by + u" were not written");
    }
    if (summary.failed > 0) {
        PrintMessage(stderr, destination + u": " + IntToStr(summary.failed) + u" entries failed");
        return 1;
    }
    return status;
}

// Whether list or extract runs as it always has on one archive: no option of these commands, the first
// operand no folder, and (list) a single operand. Anything else wrong is left for that command to say.
bool OneArchive(const std::vector<std::string>& args) {
    std::vector<std::string> operands;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json" || arg == "--winners-only" || arg == "--plugins" || arg == "--ini" ||
            arg == "--loose") {
            return false;
        }
        if (arg == "--filter" || arg == "--jobs") {
            ++i;
        } else if (arg.compare(0, 2, "--") != 0) {
            operands.push_back(arg);
        }
    }
    if (operands.empty()) {
        return true;
    }
    if (platform::DirectoryExists(platform::PathFromNative(operands[0]))) {
        return false;
    }
    return args[0] == "extract" || operands.size() == 1;
}

} // namespace

int RunDataFolderCommand(const std::vector<std::string>& args) {
    const std::string& command = args[0];
    TArguments arguments;
    if (command == "list") {
        if (OneArchive(args)) {
            return -1;
        }
        const int status = ParseArguments(args, u"--filter --json --plugins --ini --loose ", arguments);
        return status >= 0 ? status : List(arguments);
    }
    if (command == "extract") {
        if (OneArchive(args)) {
            return -1;
        }
        const int status =
            ParseArguments(args, u"--filter --jobs --winners-only --plugins --ini --loose ", arguments);
        return status >= 0 ? status : Extract(arguments);
    }
    if (command == "which" || command == "conflicts" || command == "diff") {
        const std::u16string_view options =
            command == "diff" ? u"--json " : u"--json --plugins --ini --loose ";
        const int status = ParseArguments(args, options, arguments);
        if (status >= 0) {
            return status;
        }
        return command == "which"       ? Which(arguments)
               : command == "conflicts" ? Conflicts(arguments)
                                        : Diff(arguments);
    }
    return -1;
}
