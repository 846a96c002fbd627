#include "tests/e2e/ChildProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "tests/support/ScopedTempDir.h"

extern char** environ;

namespace afs_test {

CChildProgram::CChildProgram(const std::vector<std::string>& listArgv,
                             const std::vector<std::string>& listEnv, const std::string& strOutputPrefixIn)
    : strOutputPrefix(strOutputPrefixIn) {
    std::vector<char*> listArgs, listVariables;
    for (const std::string& strArg : listArgv) listArgs.push_back(const_cast<char*>(strArg.c_str()));
    for (char** ppszEntry = environ; *ppszEntry != nullptr; ++ppszEntry) listVariables.push_back(*ppszEntry);
    for (const std::string& strEntry : listEnv) listVariables.push_back(const_cast<char*>(strEntry.c_str()));
    listArgs.push_back(nullptr);
    listVariables.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (strOutputPrefix + ".out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (strOutputPrefix + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid, listArgs[0], &actions, nullptr, listArgs.data(), listVariables.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

CChildProgram::~CChildProgram() {
    Signal(SIGKILL);
    Wait();
}

ProgramResult CChildProgram::Wait() {
    ProgramResult result;
    int nStatus = 0;
    while (pid > 0 && waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    if (pid <= 0) return result;
    pid = -1;
    result.nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    result.strStdout = CScopedTempDir::ReadFile(strOutputPrefix + ".out");
    result.strStderr = CScopedTempDir::ReadFile(strOutputPrefix + ".err");
    return result;
}

}  // namespace afs_test
