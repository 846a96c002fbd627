#pragma once

#include <string>
#include <vector>

#include "tools/afs-sim/FileServerSimulator.h"

namespace afs_sim {

struct CommandLine {
    SimulatorOptions options;
    std::string strLogFile;  // empty: standard error
    bool bQuiet = false;     // no request log lines
    bool bHelp = false;
    bool bVersion = false;
};

// Reads the arguments (without the program name). The password comes from
// --password-file, else from `pszEnvPassword` when not null. Returns an empty
// text on success, else what is wrong with the command line.
std::string ParseCommandLine(const std::vector<std::string>& listArgs, const char* pszEnvPassword,
                             CommandLine& commandLine);

const char* UsageText();

}  // namespace afs_sim
