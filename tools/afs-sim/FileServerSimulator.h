#pragma once

// The file-server simulator as an object: tests run it in-process, the
// afs-sim program wraps it with a command line.

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/afs-sim/Scenario.h"
#include "tools/afs-sim/SimState.h"

namespace httplib {
class Server;
}

namespace afs_sim {

class CApiHandlers;
class CDiffStore;
class CFaultInjector;
class CRequestLog;

struct SimulatorOptions {
    std::string strSharesDir;
    std::string strStateDir;  // empty: SHARES/.afs-sim-state
    std::string strHost = "127.0.0.1";
    int nPort = 0;  // 0: the system picks one; Port() tells which
    std::string strUser = "admin";
    std::string strPassword = "nutanix/4u";
    std::string strTlsCert;  // both set: HTTPS
    std::string strTlsKey;
    bool bControl = true;       // serve the /_sim/ test endpoints
    bool bOpenControl = false;  // serve them without credentials
    std::vector<ShareOverride> listShareOverrides;
    Scenario scenario;
    std::FILE* pLogStream = nullptr;  // one line per request; not owned
    size_t uMaxRecordedRequests = 100000;
};

class CFileServerSimulator {
public:
    // Loads the state, binds and starts serving on a thread of its own.
    // Returns an empty text on success, else what went wrong. Ignores SIGPIPE
    // for the whole process, since a client may close while it is answered.
    static std::string Start(const SimulatorOptions& options,
                             std::unique_ptr<CFileServerSimulator>& ptrSimulator);

    CFileServerSimulator(const CFileServerSimulator&) = delete;
    CFileServerSimulator& operator=(const CFileServerSimulator&) = delete;
    // Stops serving and waits for the serving thread. Never throws.
    ~CFileServerSimulator();

    int Port() const { return nPort; }
    // "http://127.0.0.1:PORT/api/nutanix/v3" (https with TLS).
    std::string Url() const;
    // Idempotent.
    void Stop() noexcept;

    CFaultInjector& Faults() { return *ptrFaults; }
    CRequestLog& Requests() { return *ptrRequests; }

private:
    explicit CFileServerSimulator(const SimulatorOptions& options);
    void RegisterApiRoutes();
    void RegisterControlRoutes();

    SimulatorOptions options;
    std::string strExpectedAuthorization;
    std::unique_ptr<CSimState> ptrState;
    std::unique_ptr<CDiffStore> ptrDiffStore;
    std::unique_ptr<CFaultInjector> ptrFaults;
    std::unique_ptr<CRequestLog> ptrRequests;
    std::unique_ptr<CApiHandlers> ptrHandlers;
    std::unique_ptr<httplib::Server> ptrServer;
    std::thread thread;
    int nPort = 0;
};

}  // namespace afs_sim
