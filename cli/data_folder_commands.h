#pragma once
// The tool's commands over several archives at once, a game's Data folder or archives given in load order:
// `list DIR|ARCHIVE...` (the archive after each entry when more than one), `which`, `conflicts`, `diff`, and
// `extract` of a folder or with --winners-only. Where the order is computed, the rule that decided it is
// said on stderr (and in the JSON output).
#include <string>
#include <vector>

// Runs the command from the command line's arguments (args[0] the command) when it is one of these; `list`
// and `extract` of one archive without the options of these commands are left to the one-archive commands.
// Returns the exit status, or -1 when the command is not for here.
int RunDataFolderCommand(const std::vector<std::string>& args);
