#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/RhError.h"
#include "tools/afs-scan/cli/ScanOptions.h"
#include "tools/afs-scan/scan/ScanTargets.h"

class CurlClient;

namespace afs_scan {

struct ServerSnapshot {
    std::string strUuid;
    std::string strName;
};

struct ServerShare {
    std::string strName;
    std::string strUuid;
    bool bBackupOffered = false;  // the share carries the CFT_BACKUP capability
};

// Every share `client`'s file server lists, read page by page as the
// snapshots are (see below). Throws what the client throws, and
// std::runtime_error for a list that does not end.
void ListServerShares(CurlClient& client, std::vector<ServerShare>& listShares);

// The snapshots of shares on the file server, through the project's REST
// client: listed by share, deleted by UUID. Lists are read page by page up to
// the total the server names, and never beyond a fixed number of pages, so a
// server that misreports totals cannot keep the caller busy. Every failure is
// an error chain holding the client's text (never the password). One thread.
class CFileServerSnapshots {
public:
    // `options` gives the server, user and password (read already); the
    // high-availability wait is the settings' [FileSystemAgent] uHAWaitTime
    // (SetUpHostServices writes --ha-wait there, as a scan job does).
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

}  // namespace afs_scan
