#include "tests/support/SimulatorProcess.h"

#include <fcntl.h>     // O_CLOEXEC: the pipe must not leak into other children
#include <poll.h>      // waiting for the URL line with a deadline, no sleeping
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>    // fork, execve, pipe

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace afs_test {

CSimulatorProcess* CSimulatorEnvironment::s_pProcess = nullptr;

std::string CSimulatorProcess::DefaultBinary() { return AFS_SIM_BIN; }

std::string CSimulatorProcess::Origin() const {
    size_t uPath = strUrl.find('/', strUrl.find("://") + 3);
    return strUrl.substr(0, uPath);
}

std::string CSimulatorProcess::Start(const std::vector<std::string>& listArgs,
                                     std::unique_ptr<CSimulatorProcess>& ptrProcess,
                                     const std::vector<std::string>& listEnv, std::chrono::milliseconds timeout,
                                     const std::string& strBinary) {
    // Everything the child needs is prepared before fork: only
    // async-signal-safe calls are allowed in it afterwards.
    std::vector<std::string> listArgv{strBinary};
    listArgv.insert(listArgv.end(), listArgs.begin(), listArgs.end());
    std::vector<char*> listArgvPtrs;
    for (std::string& strArg : listArgv) listArgvPtrs.push_back(strArg.data());
    listArgvPtrs.push_back(nullptr);
    std::vector<std::string> listEnvCopy(listEnv);
    // afs-sim has no password of its own; tests that give none use this one.
    if (std::find(listArgs.begin(), listArgs.end(), "--password-file") == listArgs.end() &&
        std::none_of(listEnv.begin(), listEnv.end(),
                     [](const std::string& strEntry) { return strEntry.rfind("AFS_SIM_PASSWORD=", 0) == 0; })) {
        listEnvCopy.push_back(std::string("AFS_SIM_PASSWORD=") + kDefaultTestPassword);
    }
    std::vector<char*> listEnvPtrs;
    for (char** p = environ; *p; ++p) listEnvPtrs.push_back(*p);
    for (std::string& strEntry : listEnvCopy) listEnvPtrs.push_back(strEntry.data());
    listEnvPtrs.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return std::string("fork: ") + std::strerror(errno);
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execve(listArgvPtrs[0], listArgvPtrs.data(), listEnvPtrs.data());
        _exit(127);
    }
    close(fds[1]);
    std::unique_ptr<CSimulatorProcess> ptrNew(new CSimulatorProcess(pid, fds[0]));

    std::string strLine;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (strLine.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "afs-sim printed no URL in time";
        pollfd poller{fds[0], POLLIN, 0};
        int nReady = poll(&poller, 1, static_cast<int>(left.count()));
        if (nReady < 0 && errno == EINTR) continue;
        if (nReady <= 0) continue;
        char buffer[256];
        ssize_t nRead = read(fds[0], buffer, sizeof(buffer));
        if (nRead < 0 && errno == EINTR) continue;
        if (nRead <= 0) {
            int nStatus = ptrNew->Stop();
            return "afs-sim ended before printing its URL (exit status " + std::to_string(nStatus) + ")";
        }
        strLine.append(buffer, static_cast<size_t>(nRead));
    }
    ptrNew->strUrl = strLine.substr(0, strLine.find('\n'));
    size_t uHost = ptrNew->strUrl.find("://");
    size_t uColon = uHost == std::string::npos ? uHost : ptrNew->strUrl.find(':', uHost + 3);
    if (uColon == std::string::npos) return "afs-sim printed no URL but: " + ptrNew->strUrl;
    ptrNew->nPort = std::atoi(ptrNew->strUrl.c_str() + uColon + 1);
    ptrProcess = std::move(ptrNew);
    return {};
}

int CSimulatorProcess::Stop() noexcept {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    if (nStdoutFd >= 0) close(nStdoutFd);
    nStdoutFd = -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

CSimulatorProcess::~CSimulatorProcess() { Stop(); }

void CSimulatorEnvironment::SetUp() {
    std::string strError = CSimulatorProcess::Start(listArgs, ptrProcess);
    ASSERT_EQ("", strError);
    s_pProcess = ptrProcess.get();
}

}  // namespace afs_test
