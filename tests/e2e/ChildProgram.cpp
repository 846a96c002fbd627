#include "tests/e2e/ChildProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace afs_test {

std::string ReadWholeFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

CChildProgram::CChildProgram(const std::vector<std::string>& listArgv,
                             const std::vector<std::string>& listEnv, const std::string& strOutputPrefix)
    : strOutputPrefix(strOutputPrefix) {
    // Prepared before fork: the child may only make async-signal-safe calls.
    std::vector<std::string> listArgs(listArgv);
    std::vector<char*> listArgPtrs;
    for (std::string& strArg : listArgs) listArgPtrs.push_back(strArg.data());
    listArgPtrs.push_back(nullptr);
    std::vector<std::string> listEnvCopy(listEnv);
    std::vector<char*> listEnvPtrs;
    for (char** p = environ; *p; ++p) listEnvPtrs.push_back(*p);
    for (std::string& strEntry : listEnvCopy) listEnvPtrs.push_back(strEntry.data());
    listEnvPtrs.push_back(nullptr);
    const std::string strOut = strOutputPrefix + ".out";
    const std::string strErr = strOutputPrefix + ".err";

    pid = fork();
    if (pid == 0) {
        int nOut = open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nErr = open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nNull = open("/dev/null", O_RDONLY);
        if (nOut < 0 || nErr < 0 || nNull < 0) _exit(126);
        dup2(nNull, STDIN_FILENO);
        dup2(nOut, STDOUT_FILENO);
        dup2(nErr, STDERR_FILENO);
        execve(listArgPtrs[0], listArgPtrs.data(), listEnvPtrs.data());
        _exit(127);
    }
}

CChildProgram::~CChildProgram() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
}

ProgramResult CChildProgram::Wait() {
    ProgramResult result;
    if (pid <= 0) return result;
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    result.nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    result.strStdout = ReadWholeFile(strOutputPrefix + ".out");
    result.strStderr = ReadWholeFile(strOutputPrefix + ".err");
    return result;
}

ProgramResult RunProgram(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                         const std::string& strOutputPrefix) {
    CChildProgram child(listArgv, listEnv, strOutputPrefix);
    return child.Wait();
}

}  // namespace afs_test
