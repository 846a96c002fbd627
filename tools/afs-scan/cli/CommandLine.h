#pragma once

#include <string>
#include <vector>

#include "tools/afs-scan/cli/OptionTable.h"
#include "tools/afs-scan/cli/ScanOptions.h"

namespace afs_scan {

// An option as one command takes it; pszHelp replaces the option's own
// help when that command uses it differently.
struct CommandOption {
    EOption eOption;
    const char* pszHelp = nullptr;
};

// One sub-command of afs-scan: a row of the command table.
struct CommandSpec {
    const char* pszName;
    const char* pszSummary;  // one line in the list of commands
    const char* pszUsage;    // the usage line after "usage: afs-scan "
    const char* pszAbout;    // what it does, lines of at most 80 columns
    std::vector<CommandOption> listOptions;
    int (*pfnRun)(ScanOptions& options);
};

// The command that argv[1] names, "scan" when argv[1] is missing or an
// option; nullptr for an unknown name, with the usage error in strError.
const CommandSpec* FindCommand(int argc, char** argv, const std::vector<CommandSpec>& listCommands,
                               std::string& strError);

// Parses the options after the command's name: "--name value" and
// "--name=value", a unique prefix of a name the command takes, "--" before
// arguments that are no options. An option the command does not take, an
// ambiguous prefix, a mistyped name (with the nearest name the command
// takes), the whole name of another command's option, and a missing, empty
// or surplus value are refused with one line, returned; --help wherever an
// option may stand (not as a value) wins over every other option. Paths are
// made absolute.
std::string ParseCommandOptions(int argc, char** argv, const CommandSpec& command,
                                const std::vector<CommandSpec>& listCommands, ScanOptions& options);

// `afs-scan COMMAND --help`; for scan (the default command) also the other
// commands.
std::string CommandHelp(const CommandSpec& command, const std::vector<CommandSpec>& listCommands);

}  // namespace afs_scan
