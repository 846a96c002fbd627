#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/RhError.h"
#include "tools/afs-scan/ScanOptions.h"
#include "tools/afs-scan/ScanTargets.h"

class CurlClient;

struct ServerSnapshot {
    std::string strUuid;
    std::string strName;
};

// The snapshots of shares on the file server, through the project's REST
// client: listed by share, deleted by UUID. Lists are read page by page up to
// the total the server names, and never beyond a fixed number of pages, so a
// server that misreports totals cannot keep the caller busy. Every failure is
// an error chain holding the client's text (never the password). One thread.
class CFileServerSnapshots {
public:
    // `options` gives the server, user and password (read already); the
    // high-availability wait is the settings' [FileSystemAgent] uHAWaitTime.
    explicit CFileServerSnapshots(const ScanOptions& options);
    ~CFileServerSnapshots();

    // The UUID of the share a mount serves: the share whose name is the first
    // component of the mount source's exported path ("fs1:/share1/sub").
    CRhError FindShare(const ScanTarget& target, std::string& strShareUuid);
    // The share's snapshots, in the server's order.
    CRhError List(const std::string& strShareUuid, std::vector<ServerSnapshot>& listSnapshots);
    CRhError Delete(const ServerSnapshot& snapshot);

private:
    std::unique_ptr<CurlClient> ptrClient;
};
