#include "tools/afs-sim/SimulatorProcess.h"

#include <fcntl.h>  // O_CLOEXEC: the pipe must not leak into other children
#include <poll.h>   // waiting for the URL line with a deadline, no sleeping
#include <signal.h>
#include <sys/prctl.h>  // PR_SET_PDEATHSIG
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace afs_sim {

pid_t SpawnChild(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                 int nStdoutFd, int nStderrFd) {
    std::vector<char*> listArgs, listVariables;
    for (const std::string& strArg : listArgv) listArgs.push_back(const_cast<char*>(strArg.c_str()));
    for (const std::string& strEntry : listEnv) listVariables.push_back(const_cast<char*>(strEntry.c_str()));
    for (char** ppszEntry = environ; *ppszEntry != nullptr; ++ppszEntry) listVariables.push_back(*ppszEntry);
    listArgs.push_back(nullptr);
    listVariables.push_back(nullptr);
    // The exec's failure comes back through this pipe; its closing on the
    // exec says the program runs.
    int fdsFailure[2];
    if (pipe2(fdsFailure, O_CLOEXEC) != 0) return -1;
    const pid_t parent = getpid(), pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls up to the exec: another thread of the
        // parent may hold a lock. The child dies with the thread that forked
        // it, however that ends: a crash or a SIGKILL runs no destructor that
        // could stop it, and an orphan would keep ctest's output pipe open.
        // A parent gone before the prctl sends no signal: hence the check.
        const int nNull = open("/dev/null", O_RDONLY);
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent && nNull >= 0 &&
            (nNull == 0 || (dup2(nNull, 0) == 0 && close(nNull) == 0)) &&
            (nStdoutFd < 0 || dup2(nStdoutFd, 1) == 1) && (nStderrFd < 0 || dup2(nStderrFd, 2) == 2))
            execve(listArgs[0], listArgs.data(), listVariables.data());
        const int nError = errno;
        [[maybe_unused]] const ssize_t nWritten = write(fdsFailure[1], &nError, sizeof(nError));
        _exit(127);
    }
    close(fdsFailure[1]);
    int nError = 0;
    ssize_t nRead;
    while ((nRead = read(fdsFailure[0], &nError, sizeof(nError))) < 0 && errno == EINTR) {
    }
    close(fdsFailure[0]);
    if (nRead <= 0) return pid;  // -1 too when the fork failed
    WaitChild(pid);
    return -1;
}

int WaitChild(pid_t pid) noexcept {
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

std::string CSimulatorProcess::Start(const std::vector<std::string>& listArgs,
                                     std::unique_ptr<CSimulatorProcess>& ptrProcess,
                                     const std::vector<std::string>& listEnv) {
    std::vector<std::string> listArgv{AFS_SIM_BIN}, listEnvp(listEnv);
    listArgv.insert(listArgv.end(), listArgs.begin(), listArgs.end());
    // afs-sim has no password of its own: callers that give none get this one
    // (after theirs, before the inherited ones; --password-file wins anyway).
    listEnvp.push_back(std::string("AFS_SIM_PASSWORD=") + kDefaultPassword);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
    const pid_t pid = SpawnChild(listArgv, listEnvp, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return "cannot start " AFS_SIM_BIN;
    }
    std::unique_ptr<CSimulatorProcess> ptrNew(new CSimulatorProcess(pid, fds[0]));
    std::string strLine;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (strLine.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "afs-sim printed no URL in time";
        pollfd poller{fds[0], POLLIN, 0};
        if (poll(&poller, 1, static_cast<int>(left.count())) <= 0) continue;  // interrupted, or the deadline
        char buffer[256];
        const ssize_t nRead = read(fds[0], buffer, sizeof(buffer));
        if (nRead < 0 && errno == EINTR) continue;
        if (nRead <= 0)
            return "afs-sim ended before printing its URL (exit status " + std::to_string(ptrNew->Stop()) +
                   ")";
        strLine.append(buffer, static_cast<size_t>(nRead));
    }
    ptrNew->strUrl = strLine.substr(0, strLine.find('\n'));
    if (ptrNew->strUrl.find("://") == std::string::npos)
        return "afs-sim printed no URL but: " + ptrNew->strUrl;
    ptrProcess = std::move(ptrNew);
    return {};
}

int CSimulatorProcess::Stop() noexcept {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    const int nStatus = WaitChild(pid);
    pid = -1;
    close(nStdoutFd);
    return nStatus;
}

}  // namespace afs_sim
