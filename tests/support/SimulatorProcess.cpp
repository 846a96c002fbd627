#include "tests/support/SimulatorProcess.h"

#include <fcntl.h>  // O_CLOEXEC: the pipe must not leak into other children
#include <poll.h>   // waiting for the URL line with a deadline, no sleeping
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace afs_test {

std::string CSimulatorProcess::Start(const std::vector<std::string>& listArgs,
                                     std::unique_ptr<CSimulatorProcess>& ptrProcess,
                                     const std::vector<std::string>& listEnv) {
    // Everything the child needs is prepared before fork: only
    // async-signal-safe calls are allowed in it afterwards. The extra
    // environment entries come first, so they win over inherited ones.
    std::vector<std::string> listArgv{AFS_SIM_BIN}, listEnvp(listEnv);
    listArgv.insert(listArgv.end(), listArgs.begin(), listArgs.end());
    for (char** p = environ; *p != nullptr; ++p) listEnvp.emplace_back(*p);
    auto pointers = [](std::vector<std::string>& listTexts) {
        std::vector<char*> listPointers;
        for (std::string& text : listTexts) listPointers.push_back(text.data());
        listPointers.push_back(nullptr);
        return listPointers;
    };
    std::vector<char*> argv = pointers(listArgv), envp = pointers(listEnvp);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return std::string("fork: ") + std::strerror(errno);
    }
    std::unique_ptr<CSimulatorProcess> ptrNew(new CSimulatorProcess(pid, fds[0]));
    std::string strLine;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (strLine.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "afs-sim printed no URL in time";
        pollfd poller{fds[0], POLLIN, 0};
        if (poll(&poller, 1, static_cast<int>(left.count())) <= 0) continue;  // interrupted, or the deadline
        char buffer[256];
        const ssize_t nRead = read(fds[0], buffer, sizeof(buffer));
        if (nRead < 0 && errno == EINTR) continue;
        if (nRead <= 0) return "afs-sim ended before printing its URL (exit status " + std::to_string(ptrNew->Stop()) + ")";
        strLine.append(buffer, static_cast<size_t>(nRead));
    }
    ptrNew->strUrl = strLine.substr(0, strLine.find('\n'));
    if (ptrNew->strUrl.find("://") == std::string::npos) return "afs-sim printed no URL but: " + ptrNew->strUrl;
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
    close(nStdoutFd);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

}  // namespace afs_test
