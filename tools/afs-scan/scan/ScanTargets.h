#pragma once

#include <string>
#include <vector>

#include "tools/afs-scan/cli/ScanOptions.h"

namespace afs_scan {

// One share the job was asked to back up.
struct ScanTarget {
    std::string strScanPath;   // as given on the command line, made absolute
    std::string strMountPath;  // the mount-table directory holding it
    std::string strDevice;     // the mount's device, "SERVER:/SHARE"
    std::string strScanForm;   // the share root as the plug-in names it (mapped, or the mount path)
};

// Resolves every --scan-path to its share through `strMountTable` (the
// mount table in force) before the file server is touched or a job id is
// taken: a path that does not exist, is on no mount or on a mount that is
// no file-server share would be dropped silently by the plug-in, and two
// paths on one share would make it take and compare that share twice.
// Returns an empty text, or the one line that names the cause and the fix.
std::string ResolveScanTargets(const ScanOptions& options, const std::string& strMountTable,
                               std::vector<ScanTarget>& listTargets);

// The mount table the plug-in will read: [Host] MountTableFile of the
// settings in force, else /proc/self/mounts.
std::string MountTableInForce();

// The share a mount's device names: "server:/share/below" names "share";
// empty when the device names none.
std::string ShareNameOf(const std::string& strDevice);

}  // namespace afs_scan
