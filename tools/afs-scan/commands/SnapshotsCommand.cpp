#include "tools/afs-scan/commands/CommandTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/fileserver/FileServerSnapshots.h"
#include "tools/afs-scan/scan/ItemOutput.h"
#include "tools/afs-scan/scan/ShareReference.h"
#include "tools/afs-scan/store/StateLock.h"

namespace afs_scan {

namespace {

struct SnapshotState {
    long long llJobId = 0;  // 0: the name holds no job id
    std::string strJob;     // "job 2 (incremental, ok)"
    std::string strKind;    // of its job's record; empty: none
    std::string strStatus;
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
        state.strKind = ptrRecord->strKind;
        state.strStatus = ptrRecord->strStatus;
        state.strJob += " (" + state.strKind + ", " + state.strStatus + ")";
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

// A JSON string, null for an empty text.
std::string JsonTextOrNull(const std::string& strText) {
    return strText.empty() ? "null" : "\"" + CItemOutput::JsonEscape(strText) + "\"";
}

// The facts of a line of the table as one JSON object; "action" only when
// pruning decided on the snapshot.
void PrintJson(const ScanTarget& target, const ServerSnapshot& snapshot, const SnapshotState& state,
               const std::string& strAction) {
    std::printf(
        "{\"share\":\"%s\",\"snapshot\":\"%s\",\"job_id\":%lld,\"kind\":%s,\"status\":%s,"
        "\"state\":\"%s\",\"orphan\":%s%s%s%s}\n",
        CItemOutput::JsonEscape(target.strMountPath).c_str(),
        CItemOutput::JsonEscape(snapshot.strName).c_str(), state.llJobId,
        JsonTextOrNull(state.strKind).c_str(), JsonTextOrNull(state.strStatus).c_str(),
        CItemOutput::JsonEscape(state.strState).c_str(), state.bOrphan ? "true" : "false",
        strAction.empty() ? "" : (",\"action\":" + JsonTextOrNull(strAction)).c_str(),
        CItemOutput::ExactBytes("share", target.strMountPath).c_str(),
        CItemOutput::ExactBytes("snapshot", snapshot.strName).c_str());
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
    CRhError error = options.bPrune ? AcquireStateLock(options, stateLock) : CRhError::Success();
    CScanDatabase database;
    CJobHistory history;
    std::vector<ScanTarget> listTargets;
    if (error.IsSuccess()) error = SetUpHostServices(options);
    if (error.IsSuccess()) error = OpenHistory(options, database, history, true);
    if (error.IsError()) return ReportError(error, options);
    if (!ResolveTargets(options, listTargets)) return kExitUsage;
    WarnOfPlainHttp(options);

    CFileServerSnapshots server(options);
    const std::string strPrefix = SnapshotPrefix(options.uClientId, options.uAppId);
    const long long llNow = std::time(nullptr);
    int nExit = kExitOk;
    // What pruning does with an orphan: the line under it in the table
    // (the error of a failed deletion goes to stderr).
    auto prune = [&](const ServerSnapshot& snapshot, const SnapshotState& state) -> std::string {
        // Without a job of its own this history cannot tell its orphans
        // from another state folder's snapshots.
        if (history.LastSuccessful(options.uClientId, options.uAppId) == nullptr) {
            return "kept: the job history holds no ok job of client " + std::to_string(options.uClientId) +
                   " and application " + std::to_string(options.uAppId);
        }
        const long long llAge = llNow - state.llNewestTime;
        if (options.llMinAgeSeconds > 0 && (state.llNewestTime == 0 || llAge < options.llMinAgeSeconds)) {
            return std::string("kept: ") +
                   (state.llNewestTime == 0 ? "age unknown, maybe younger" : "younger") + " than --min-age " +
                   std::to_string(options.llMinAgeSeconds) + " s";
        }
        if (options.bDryRun) return "would delete (--dry-run)";
        error = server.Delete(snapshot);
        if (error.IsSuccess()) return "deleted";
        nExit = CombinedExit(nExit, ReportError(error, options));
        return "delete failed";
    };
    for (const ScanTarget& target : listTargets) {
        std::string strShareUuid;
        std::vector<ServerSnapshot> listSnapshots;
        error = server.FindShare(target, strShareUuid);
        if (error.IsSuccess()) error = server.List(strShareUuid, listSnapshots);
        if (error.IsError()) {
            nExit = CombinedExit(
                nExit,
                ReportError(error.Push(FX_CODE_LOCATION, "share %s", target.strMountPath.c_str()), options));
            continue;
        }
        const size_t uOurs = std::count_if(
            listSnapshots.begin(), listSnapshots.end(),
            [&](const ServerSnapshot& snapshot) { return JobIdOfName(options, snapshot.strName) > 0; });
        if (uOurs == 0 && !options.bJson)
            std::printf("share %s: no snapshot named %s...\n", target.strMountPath.c_str(),
                        strPrefix.c_str());
        for (const ServerSnapshot& snapshot : listSnapshots) {
            if (JobIdOfName(options, snapshot.strName) == 0) continue;  // no job's: never touched
            const SnapshotState state = Classify(options, history, target, snapshot.strName);
            if (!options.bJson) {
                std::printf("share %s: %s: %s: %s\n", target.strMountPath.c_str(), snapshot.strName.c_str(),
                            state.strJob.c_str(), state.strState.c_str());
                std::fflush(stdout);  // before a failed deletion's line on stderr
            }
            const std::string strAction = options.bPrune && state.bOrphan ? prune(snapshot, state) : "";
            if (options.bJson)
                PrintJson(target, snapshot, state, strAction);
            else if (!strAction.empty())
                std::printf("  %s\n", strAction.c_str());
        }
    }
    std::fflush(stdout);
    return nExit;
}

}  // namespace afs_scan
