// What is installed beside parlivex-cli: its manual page, which must say what --help says, and its bash
// completion, run in bash as the shell would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/usage.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"
#include "parlivex_version.h"
#include "tests/cli/cli_process.h"

namespace {

namespace fs = std::filesystem;

// The lines of a text, the last one without its line end too.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// What a page or the help lists: the commands, the options and the exit statuses.
struct Listed {
    std::set<std::string> commands, options, statuses;
};

// From the help: the entries of its "Commands:", "Options:" and "Exit status:" blocks.
Listed FromHelp(const std::string& help) {
    Listed listed;
    std::string block;
    const std::regex option("--?[a-z][a-z-]*");
    for (const std::string& line : LinesOf(help)) {
        if (!line.empty() && line[0] != ' ') {
            block = line;
            continue;
        }
        if (line.size() < 3 || line[2] == ' ') {
            continue; // a description's next line
        }
        const std::string item = line.substr(2, line.find("  ", 2) - 2);
        if (block == "Commands:") {
            listed.commands.insert(item);
        } else if (block == "Options:") {
            for (std::sregex_iterator it(item.begin(), item.end(), option), end; it != end; ++it) {
                listed.options.insert(it->str());
            }
        } else if (block == "Exit status:") {
            listed.statuses.insert(item);
        }
    }
    return listed;
}

// From the page: the tags of the ".TP" items of its COMMANDS, OPTIONS and EXIT STATUS sections.
Listed FromPage(const std::string& page) {
    Listed listed;
    std::string section;
    bool tag = false;
    for (std::string line : LinesOf(page)) {
        if (line.rfind(".SH ", 0) == 0) {
            section = line.substr(4);
            tag = false;
            continue;
        }
        if (line == ".TP") {
            tag = true;
            continue;
        }
        if (!tag) {
            continue;
        }
        tag = false;
        // ".BI \-\-filter " TEXT"", ".BR \-h ", " \-\-help": the macro goes, "\-" is "-", quotes and commas
        // separate words.
        line = line.substr(line.find(' ') + 1);
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        line = std::regex_replace(line, std::regex(R"([",])"), " ");
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (section == "COMMANDS") {
            listed.commands.insert(word);
        } else if (section == "EXIT STATUS") {
            listed.statuses.insert(word);
        } else if (section == "OPTIONS") {
            do {
                if (word.rfind('-', 0) == 0) {
                    listed.options.insert(word);
                }
            } while (words >> word);
        }
    }
    return listed;
}

} // namespace

TEST(ManualPage, SaysWhatTheHelpSaysForThisVersion) {
    const std::string page = ReadText(PARLIVEX_MANUAL_PAGE);
    ASSERT_FALSE(page.empty()) << PARLIVEX_MANUAL_PAGE;
    EXPECT_NE(page.find("\n.TH PARLIVEX-CLI 1 \"\" \"Parlivex " + std::string(kParlivexVersion) + "\""),
              std::string::npos);
    const Listed help = FromHelp(kUsage);
    const Listed manual = FromPage(page);
    EXPECT_EQ(help.commands, (std::set<std::string>{"list", "info", "extract", "which", "conflicts", "diff",
                                                    "cat", "render"}));
    EXPECT_EQ(help.options,
              (std::set<std::string>{"--filter", "--jobs", "--winners-only", "--plugins", "--ini", "--json",
                                     "--loose", "--mip", "--face", "-h", "--help", "--version"}));
    EXPECT_EQ(help.statuses, (std::set<std::string>{"0", "1", "2", "130"}));
    EXPECT_EQ(manual.commands, help.commands);
    EXPECT_EQ(manual.options, help.options);
    EXPECT_EQ(manual.statuses, help.statuses);
    // Every form of the command line in the synopsis.
    for (const std::string& command : help.commands) {
        EXPECT_NE(page.find("\n.B parlivex-cli " + command + "\n"), std::string::npos) << command;
    }
}

#ifndef _WIN32
// The completion function run as bash runs it: COMP_WORDS and COMP_CWORD set, the candidates in COMPREPLY.
// The tool is found on PATH, as it is once installed.
class BashCompletion : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("textures.bsa", fixture::BuildArchive(Archive()));
        dir_.Write("Other.BSA", fixture::BuildArchive(Archive()));
        dir_.Write("notes.txt", {'n'});
        fs::create_directories(dir_ / "sub dir");
    }

    static fixture::ArchiveSpec Archive() {
        fixture::ArchiveSpec recipe;
        recipe.folders = {{"textures\\sky", {{"cube.dds", {1}}, {"moon.dds", {2}}}},
                          {"textures", {{"iron.dds", {3}}}},
                          {"meshes", {{"a b.nif", {4}}}}};
        return recipe;
    }

    // The candidates for the last word, sorted.
    std::vector<std::string> Complete(const std::vector<std::string>& words) {
        std::string array;
        for (const std::string& word : words) {
            array += " " + cli_test::Quote(word);
        }
        const std::string script = "source " + cli_test::Quote(PARLIVEX_BASH_COMPLETION) +
                                   " && COMP_WORDS=(parlivex-cli" + array +
                                   ") && COMP_CWORD=" + std::to_string(words.size()) +
                                   "; _parlivex_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
        const std::string command = "cd " + cli_test::Quote(dir_.Path().string()) + " && PATH=" +
                                    cli_test::Quote(fs::path(PARLIVEX_CLI_PATH).parent_path().string()) +
                                    ":\"$PATH\" bash -c " + cli_test::Quote(script) + " >" +
                                    cli_test::Quote((dir_ / "out").string()) + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<std::string> candidates;
        for (const std::string& line : LinesOf(ReadText(dir_ / "out"))) {
            if (!line.empty()) {
                candidates.push_back(line);
            }
        }
        std::sort(candidates.begin(), candidates.end());
        return candidates;
    }

    fixture::TempFolder dir_;
};

TEST_F(BashCompletion, CompletesCommandsOptionsArchivesAndEntries) {
    using Words = std::vector<std::string>;
    const struct {
        Words words;
        Words candidates;
    } cases[] = {
        {{""},
         {"--help", "--version", "cat", "conflicts", "diff", "extract", "info", "list", "render", "which"}},
        {{"ex"}, {"extract"}},
        // Archives in any case, and folders to look into; no other files.
        {{"list", ""}, {"Other.BSA", "sub dir", "textures.bsa"}},
        {{"extract", "t"}, {"textures.bsa"}},
        {{"extract", "textures.bsa", "out", "--"},
         {"--filter", "--ini", "--jobs", "--loose", "--plugins", "--winners-only"}},
        {{"conflicts", ""}, {"sub dir"}},
        {{"which", "x", "--"}, {"--ini", "--json", "--loose", "--plugins"}},
        {{"diff", "textures.bsa", "O"}, {"Other.BSA"}},
        {{"extract", "textures.bsa", "out", "--jobs", ""}, {}},
        {{"render", "textures.bsa", "x.dds", "x.png", "--"}, {"--face", "--mip"}},
        // Entries one folder at a time, with "/" for "\", in any case; names with spaces escaped.
        {{"cat", "textures.bsa", ""}, {"meshes/", "textures/"}},
        {{"cat", "textures.bsa", "TEXTURES/"}, {"textures/iron.dds", "textures/sky/"}},
        {{"render", "textures.bsa", "textures/sky/m"}, {"textures/sky/moon.dds"}},
        {{"cat", "textures.bsa", "meshes/"}, {"meshes/a\\ b.nif"}},
        // The archive as typed, quoted or escaped; nothing for one that is not there.
        {{"cat", "'textures.bsa'", "textures/sky/c"}, {"textures/sky/cube.dds"}},
        {{"cat", "Other\\.BSA", "mes"}, {"meshes/"}},
        {{"cat", "missing.bsa", ""}, {}},
    };
    for (const auto& c : cases) {
        std::string typed;
        for (const std::string& word : c.words) {
            typed += " [" + word + "]";
        }
        SCOPED_TRACE(typed);
        EXPECT_EQ(Complete(c.words), c.candidates);
    }
}
#endif
