#include "tools/afs-scan/commands/CommandTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/fileserver/FileServerSnapshots.h"
#include "tools/afs-scan/scan/ShareReference.h"
#include "tools/afs-scan/store/StateLock.h"

namespace afs_scan {

namespace {

struct SnapshotState {
    long long llJobId = 0;  // 0: the name holds no job id
    std::string strJob;     // "job 2 (incremental, ok)"
    std::string strState;
    bool bOrphan = false;
    long long llNewestTime = 0;  // the youngest sign of the snapshot's creation; 0: none
};

long long ChangeTime(const std::string& strPath) {
    struct stat attributes;
    return stat(strPath.c_str(), &attributes) == 0 ? std::max(attributes.st_mtime, attributes.st_ctime) : 0;
}

long long JobIdOfName(const ScanOptions& options, const std::string& strName) {
    return JobIdOfSnapshotName(SnapshotPrefix(options.uClientId, options.uAppId), strName);
}

SnapshotState Classify(const ScanOptions& options, const CJobHistory& history, const ScanTarget& target,
                       const std::string& strName) {
    SnapshotState state;
    state.llJobId = JobIdOfName(options, strName);
    const std::string strId = std::to_string(state.llJobId);
    const JobRecord* ptrReference = history.LastSuccessful(options.uClientId, options.uAppId);
    // A record of another client or application names another snapshot.
    const JobRecord* ptrAny = history.Find(state.llJobId);
    const JobRecord* ptrRecord =
        ptrAny != nullptr && ptrAny->uClientId == options.uClientId && ptrAny->uAppId == options.uAppId
            ? ptrAny
            : nullptr;
    const std::string strFolder = options.strStateDir + "/job-" + strId;
    state.strJob = "job " + strId;
    state.llNewestTime =
        std::max(ChangeTime(target.strMountPath + "/.snapshot/" + strName), ChangeTime(strFolder));
    if (ptrRecord != nullptr) {
        state.strJob += " (" + ptrRecord->strKind + ", " + ptrRecord->strStatus + ")";
        state.llNewestTime =
            std::max(state.llNewestTime, std::max(ptrRecord->llStartTime, ptrRecord->llEndTime));
    }
    if (ptrReference != nullptr && ptrReference->llJobId == state.llJobId) {
        state.strState = "reference of the next job";
    } else if (ptrReference != nullptr && ptrReference->llFullJobId == state.llJobId) {
        state.strState = "full job of the cycle";
    } else if (ptrRecord != nullptr && ptrRecord->strStatus == "ok") {
        state.strState = "superseded by job " + std::to_string(ptrReference ? ptrReference->llJobId : 0);
    } else {
        state.bOrphan = true;
        // The job folder of an id another client's job has is that job's.
        state.strState = ptrRecord != nullptr ? "orphan: the job failed"
                         : ptrAny == nullptr && ChangeTime(strFolder) > 0
                             ? "orphan: the job was killed"
                             : "orphan: unknown to the job history";
    }
    return state;
}

}  // namespace

int RunSnapshotsCommand(ScanOptions& optionsIn) {
    ScanOptions options = optionsIn;
    if (options.strStateDir.empty())
        return UsageError("snapshots needs --state (the scan jobs' state folder)");
    if (options.strServer.empty() || options.strUser.empty())
        return UsageError("snapshots needs --server and --user");
    if (options.listScanPaths.empty()) return UsageError("snapshots needs the jobs' --scan-path");
    if (options.bDryRun && !options.bPrune) return UsageError("--dry-run goes with --prune");
    const std::string strPasswordError = ReadPassword(options);
    if (!strPasswordError.empty()) return UsageError(strPasswordError);
    // While pruning no job may run on the state folder: its new snapshot
    // would look like a killed job's.
    CStateLock stateLock;
    CRhError error = options.bPrune ? stateLock.Acquire(options.strStateDir) : CRhError::Success();
    CScanDatabase database;
    CJobHistory history;
    std::vector<ScanTarget> listTargets;
    if (error.IsSuccess()) error = SetUpHostServices(options);
    if (error.IsSuccess()) error = OpenHistory(options, database, history, true);
    if (error.IsError()) return ReportError(error, options);
    if (!ResolveTargets(options, listTargets)) return kExitUsage;

    CFileServerSnapshots server(options);
    const std::string strPrefix = SnapshotPrefix(options.uClientId, options.uAppId);
    const long long llNow = std::time(nullptr);
    bool bFailed = false;
    for (const ScanTarget& target : listTargets) {
        std::string strShareUuid;
        std::vector<ServerSnapshot> listSnapshots;
        error = server.FindShare(target, strShareUuid);
        if (error.IsSuccess()) error = server.List(strShareUuid, listSnapshots);
        if (error.IsError()) {
            bFailed = true;
            ReportError(error.Push(FX_CODE_LOCATION, "share %s", target.strMountPath.c_str()), options);
            continue;
        }
        const size_t uOurs = std::count_if(
            listSnapshots.begin(), listSnapshots.end(),
            [&](const ServerSnapshot& snapshot) { return JobIdOfName(options, snapshot.strName) > 0; });
        if (uOurs == 0)
            std::printf("share %s: no snapshot named %s...\n", target.strMountPath.c_str(),
                        strPrefix.c_str());
        for (const ServerSnapshot& snapshot : listSnapshots) {
            if (JobIdOfName(options, snapshot.strName) == 0) continue;  // no job's: never touched
            const SnapshotState state = Classify(options, history, target, snapshot.strName);
            std::printf("share %s: %s: %s: %s\n", target.strMountPath.c_str(), snapshot.strName.c_str(),
                        state.strJob.c_str(), state.strState.c_str());
            if (!options.bPrune || !state.bOrphan) continue;
            // Without a job of its own this history cannot tell its orphans
            // from another state folder's snapshots.
            if (history.LastSuccessful(options.uClientId, options.uAppId) == nullptr) {
                std::printf("  kept: the job history holds no ok job of client %u and application %u\n",
                            options.uClientId, options.uAppId);
                continue;
            }
            const long long llAge = llNow - state.llNewestTime;
            if (options.llMinAgeSeconds > 0 && (state.llNewestTime == 0 || llAge < options.llMinAgeSeconds)) {
                std::printf("  kept: %s than --min-age %lld s\n",
                            state.llNewestTime == 0 ? "age unknown, maybe younger" : "younger",
                            options.llMinAgeSeconds);
                continue;
            }
            if (options.bDryRun) {
                std::printf("  would delete (--dry-run)\n");
                continue;
            }
            error = server.Delete(snapshot);
            if (error.IsError()) {
                bFailed = true;
                ReportError(error, options);
                continue;
            }
            std::printf("  deleted\n");
        }
    }
    std::fflush(stdout);
    return bFailed ? kExitError : kExitOk;
}

}  // namespace afs_scan
