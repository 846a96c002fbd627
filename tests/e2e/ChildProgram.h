#pragma once

// Runs a program as a child process with its standard output and error in
// files, for end-to-end tests that need the exit status and the texts.

#include <signal.h>
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
    // Starts `listArgv` (argv[0] is the program's path) with this process's
    // environment plus `listEnv` ("NAME=VALUE"); its output goes to
    // `strOutputPrefix` + ".out" / ".err", its input is /dev/null.
    CChildProgram(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                  const std::string& strOutputPrefix);
    // Kills and reaps a child still running; never throws.
    ~CChildProgram();
    CChildProgram(const CChildProgram&) = delete;
    CChildProgram& operator=(const CChildProgram&) = delete;

    void Signal(int nSignal) {
        if (pid > 0) kill(pid, nSignal);
    }
    // Waits for the end and collects the output; nExitStatus -1 when the
    // program could not be started.
    ProgramResult Wait();

private:
    pid_t pid = -1;
    std::string strOutputPrefix;
};

}  // namespace afs_test
