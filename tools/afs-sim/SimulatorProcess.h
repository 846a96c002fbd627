#pragma once

// Runs the afs-sim program of this build tree as a child process, over a
// real socket: how the benchmarks and the tests get a file server. Not
// installed; the path of the program is fixed at build time.

#include <sys/types.h>  // pid_t

#include <memory>
#include <string>
#include <vector>

namespace afs_sim {

// Starts `listArgv` (argv[0] is the program's path) with the extra
// environment entries `listEnv` ("NAME=VALUE", winning over inherited ones),
// input from /dev/null and output into the descriptors given (-1: this
// process's). Returns the child's id, -1 when it could not be started. The
// child gets SIGKILL when the calling thread ends (so call from one that
// outlives it); a program it starts in turn must exec, or see to its own.
pid_t SpawnChild(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                 int nStdoutFd, int nStderrFd = -1);
// Reaps the child: its exit status, 128 + the signal when a signal ended it.
int WaitChild(pid_t pid) noexcept;

class CSimulatorProcess {
public:
    // The password a simulator gets when its caller gives neither
    // --password-file nor AFS_SIM_PASSWORD.
    static constexpr const char* kDefaultPassword = "nutanix/4u";

    // Starts afs-sim with `listArgs` (add "--port", "0" yourself or rely on
    // the default) and the extra environment entries "NAME=VALUE", then waits
    // up to ten seconds for its URL line. Returns an empty text on success,
    // else what went wrong; the child is then already gone.
    static std::string Start(const std::vector<std::string>& listArgs,
                             std::unique_ptr<CSimulatorProcess>& ptrProcess,
                             const std::vector<std::string>& listEnv = {});

    CSimulatorProcess(const CSimulatorProcess&) = delete;
    CSimulatorProcess& operator=(const CSimulatorProcess&) = delete;
    ~CSimulatorProcess() { Stop(); }

    // "http://127.0.0.1:PORT/api/nutanix/v3"
    const std::string& Url() const { return strUrl; }
    // "http://127.0.0.1:PORT": what an httplib::Client takes.
    std::string Origin() const { return strUrl.substr(0, strUrl.find('/', strUrl.find("://") + 3)); }
    pid_t Pid() const { return pid; }

    // SIGTERM, then waits for the child. Returns its exit status (128 + the
    // signal when a signal ended it); -1 when it was stopped already. Never throws.
    int Stop() noexcept;

private:
    CSimulatorProcess(pid_t pid, int nStdoutFd) : pid(pid), nStdoutFd(nStdoutFd) {}

    pid_t pid;
    int nStdoutFd;  // kept open so the child never writes into a closed pipe
    std::string strUrl;
};

}  // namespace afs_sim
