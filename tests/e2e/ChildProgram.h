#pragma once

// Runs a program as a child process with its standard output and error in
// files, for end-to-end tests that need the exit status and the texts.

#include <sys/types.h>

#include <string>
#include <vector>

namespace afs_test {

struct ProgramResult {
    int nExitStatus = -1;  // 128 + signal when a signal ended it
    std::string strStdout;
    std::string strStderr;
};

class CChildProgram {
public:
    // Starts `listArgv` (argv[0] is the program's path) with the extra
    // environment entries "NAME=VALUE"; its output goes to `strOutputPrefix`
    // + ".out" / ".err". IsRunning() is false when fork failed.
    CChildProgram(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                  const std::string& strOutputPrefix);
    // Kills and reaps a child still running; never throws.
    ~CChildProgram();
    CChildProgram(const CChildProgram&) = delete;
    CChildProgram& operator=(const CChildProgram&) = delete;

    bool IsRunning() const { return pid > 0; }
    // Waits for the end and collects the output.
    ProgramResult Wait();

private:
    pid_t pid = -1;
    std::string strOutputPrefix;
};

// Start and Wait in one.
ProgramResult RunProgram(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                         const std::string& strOutputPrefix);

std::string ReadWholeFile(const std::string& strPath);

}  // namespace afs_test
