#pragma once

// Runs the built afs-sim program as a child process for tests: the same
// binary a demo or a benchmark uses, over a real socket.

#include <gtest/gtest.h>
#include <sys/types.h>  // pid_t

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace afs_test {

class CSimulatorProcess {
public:
    // The password a simulator gets when the test gives neither
    // --password-file nor AFS_SIM_PASSWORD.
    static constexpr const char* kDefaultTestPassword = "nutanix/4u";

    // The afs-sim the build produced.
    static std::string DefaultBinary();

    // Starts `strBinary` with `listArgs` (add "--port", "0" yourself or rely
    // on the default) and the extra environment entries "NAME=VALUE", then
    // waits up to `timeout` for the URL line. Returns an empty text on
    // success, else what went wrong; the child is then already gone.
    static std::string Start(const std::vector<std::string>& listArgs, std::unique_ptr<CSimulatorProcess>& ptrProcess,
                             const std::vector<std::string>& listEnv = {},
                             std::chrono::milliseconds timeout = std::chrono::seconds(10),
                             const std::string& strBinary = DefaultBinary());

    CSimulatorProcess(const CSimulatorProcess&) = delete;
    CSimulatorProcess& operator=(const CSimulatorProcess&) = delete;
    // Stop(); never throws.
    ~CSimulatorProcess();

    // "http://127.0.0.1:PORT/api/nutanix/v3"
    const std::string& Url() const { return strUrl; }
    int Port() const { return nPort; }
    // "http://127.0.0.1:PORT": what an httplib::Client takes.
    std::string Origin() const;
    pid_t Pid() const { return pid; }

    // SIGTERM, then waits for the child. Returns its exit status (128 + the
    // signal when a signal ended it); -1 when it was stopped already.
    int Stop() noexcept;

private:
    CSimulatorProcess(pid_t pid, int nStdoutFd) : pid(pid), nStdoutFd(nStdoutFd) {}

    pid_t pid;
    int nStdoutFd;  // kept open so the child never writes into a closed pipe
    std::string strUrl;
    int nPort = 0;
};

// A simulator for a whole test program: ::testing::AddGlobalTestEnvironment(
// new CSimulatorEnvironment({"--shares", dir})) and Get() in the tests.
class CSimulatorEnvironment : public ::testing::Environment {
public:
    explicit CSimulatorEnvironment(std::vector<std::string> listArgs) : listArgs(std::move(listArgs)) {}
    void SetUp() override;
    void TearDown() override {
        s_pProcess = nullptr;
        ptrProcess.reset();
    }
    // Null before SetUp and after TearDown.
    static CSimulatorProcess* Get() { return s_pProcess; }

private:
    std::vector<std::string> listArgs;
    std::unique_ptr<CSimulatorProcess> ptrProcess;
    static CSimulatorProcess* s_pProcess;
};

}  // namespace afs_test
