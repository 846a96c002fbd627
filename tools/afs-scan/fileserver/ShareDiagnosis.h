#pragma once

#include <string>
#include <vector>

#include "tools/afs-scan/cli/ScanOptions.h"
#include "tools/afs-scan/fileserver/FileServerSnapshots.h"
#include "tools/afs-scan/scan/ScanTargets.h"

namespace afs_scan {

// Says why the plug-in took no snapshot of a share the job was asked for,
// in one line a person can act on: the mount entry names a share the file
// server does not list (with the ones it does), or the server does not
// offer the share for backup. The plug-in only reports that nothing was
// marked for backup. Asks the file server for its shares once, on first
// use, with no high-availability wait; its request log goes to
// `strLogDir`.
class CShareDiagnosis {
public:
    CShareDiagnosis(const ScanOptions& options, std::string strLogDir);

    std::string Explain(const ScanTarget& target);

private:
    void ListShares();

    const ScanOptions& options;
    std::string strLogDir;
    bool bListed = false;
    std::string strListError;  // why the shares could not be listed
    std::vector<ServerShare> listShares;
};

}  // namespace afs_scan
