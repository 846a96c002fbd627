#include "tools/afs-scan/SnapshotsCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "tools/afs-scan/CommandSupport.h"
#include "tools/afs-scan/FileServerSnapshots.h"
#include "tools/afs-scan/StateLock.h"

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

SnapshotState Classify(const ScanOptions& options, const CJobHistory& history, const ScanTarget& target,
                       const std::string& strName) {
    SnapshotState state;
    const std::string strId = strName.substr(SnapshotPrefix(options.uClientId, options.uAppId).size());
    if (!strId.empty() && strId.size() < 19 && strId.find_first_not_of("0123456789") == std::string::npos)
        state.llJobId = std::stoll(strId);
    const JobRecord* ptrReference = history.LastSuccessful(options.uClientId, options.uAppId);
    const JobRecord* ptrRecord = state.llJobId > 0 ? history.Find(state.llJobId) : nullptr;
    const std::string strFolder = options.strStateDir + "/job-" + strId;
    state.strJob = state.llJobId > 0 ? "job " + strId : "no job";
    state.llNewestTime = std::max(ChangeTime(target.strMountPath + "/.snapshot/" + strName),
                                  state.llJobId > 0 ? ChangeTime(strFolder) : 0);
    if (ptrRecord != nullptr) {
        state.strJob += " (" + ptrRecord->strKind + ", " + ptrRecord->strStatus + ")";
        state.llNewestTime = std::max(state.llNewestTime, std::max(ptrRecord->llStartTime, ptrRecord->llEndTime));
    }
    if (ptrReference != nullptr && ptrReference->llJobId == state.llJobId) {
        state.strState = "reference of the next job";
    } else if (ptrReference != nullptr && ptrReference->llFullJobId == state.llJobId) {
        state.strState = "full job of the cycle";
    } else if (ptrRecord != nullptr && ptrRecord->strStatus == "ok") {
        state.strState = "superseded by job " + std::to_string(ptrReference ? ptrReference->llJobId : 0);
    } else {
        state.bOrphan = true;
        state.strState = ptrRecord != nullptr                     ? "orphan: the job failed"
                         : state.llJobId > 0 && ChangeTime(strFolder) > 0 ? "orphan: the job was killed"
                                                                    : "orphan: unknown to the job history";
    }
    return state;
}

}  // namespace

int RunSnapshotsCommand(const ScanOptions& optionsIn) {
    ScanOptions options = optionsIn;
    if (options.strStateDir.empty()) return UsageError("snapshots needs --state (the scan jobs' state folder)");
    if (options.strServer.empty() || options.strUser.empty()) return UsageError("snapshots needs --server and --user");
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
    if (error.IsSuccess()) error = OpenHistory(options, database, history);
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
        const size_t uOurs = std::count_if(listSnapshots.begin(), listSnapshots.end(), [&](const ServerSnapshot& snapshot) {
            return snapshot.strName.compare(0, strPrefix.size(), strPrefix) == 0;
        });
        if (uOurs == 0) std::printf("share %s: no snapshot named %s...\n", target.strMountPath.c_str(), strPrefix.c_str());
        for (const ServerSnapshot& snapshot : listSnapshots) {
            if (snapshot.strName.compare(0, strPrefix.size(), strPrefix) != 0) continue;  // not ours: never touched
            const SnapshotState state = Classify(options, history, target, snapshot.strName);
            std::printf("share %s: %s: %s: %s\n", target.strMountPath.c_str(), snapshot.strName.c_str(),
                        state.strJob.c_str(), state.strState.c_str());
            if (!options.bPrune || !state.bOrphan) continue;
            const long long llAge = llNow - state.llNewestTime;
            if (options.llMinAgeSeconds > 0 && (state.llNewestTime == 0 || llAge < options.llMinAgeSeconds)) {
                std::printf("  kept: %s than --min-age %lld s\n",
                            state.llNewestTime == 0 ? "age unknown, maybe younger" : "younger", options.llMinAgeSeconds);
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
