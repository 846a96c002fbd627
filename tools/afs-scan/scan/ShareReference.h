#pragma once

#include <string>
#include <vector>

#include "host/RhError.h"
#include "tools/afs-scan/fileserver/FileServerSnapshots.h"
#include "tools/afs-scan/scan/ScanTargets.h"
#include "tools/afs-scan/store/JobHistory.h"

namespace afs_scan {

// What the file server holds of one share: its UUID and its snapshots, read
// once the plug-in has taken this job's snapshot. `error` is set when they
// could not be read; the lists are then empty.
struct ShareSnapshots {
    std::string strShareUuid;
    std::vector<ServerSnapshot> listSnapshots;
    CRhError error;
};

ShareSnapshots ReadShareSnapshots(CFileServerSnapshots& server, const ScanTarget& target);

// The UUID of the one snapshot named `strName`; empty when there is none or
// more than one (no snapshot of them is known to be the job's).
std::string OnlySnapshotUuid(const std::vector<ServerSnapshot>& listSnapshots, const std::string& strName);

// Why the share of `target` must not be compared against the snapshot named
// `strPreviousName` that the plug-in found as its reference, or empty when
// it may: the previous job must have backed the share up completely, under
// the same scan path, recorded that very snapshot's UUID, and be the last
// job before `llJobId` that backed it up. A snapshot of the same name made by
// another history of the same client and application (a second state
// folder) would otherwise pass for the reference, and the changes made
// between the two snapshots would never be stored.
std::string ReferenceDoubt(const CJobHistory& history, long long llPreviousJobId, long long llJobId,
                           const ScanTarget& target, const ShareSnapshots& now,
                           const std::string& strPreviousName);

// The job id in a snapshot name that is `strPrefix` followed by decimal
// digits only, the only names a job makes; 0 for any other name (one taken
// by hand, "zkop__7_1_keep").
long long JobIdOfSnapshotName(const std::string& strPrefix, const std::string& strName);

// The names among `listSnapshots` made by a job of `strPrefix` that the
// history does not know.
std::vector<std::string> UnknownJobSnapshots(const CJobHistory& history, unsigned int uClientId,
                                             unsigned int uAppId, const std::string& strPrefix,
                                             const std::vector<ServerSnapshot>& listSnapshots);

}  // namespace afs_scan
