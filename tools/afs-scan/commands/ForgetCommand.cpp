#include <climits>
#include <cstdio>
#include <filesystem>
#include <set>

#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/commands/CommandTable.h"
#include "tools/afs-scan/store/StateLock.h"

namespace afs_scan {

int RunForgetCommand(ScanOptions& options) {
    if (options.llKeepLast < 1) return UsageError("forget needs --keep-last N");
    // No job may write the history while rows go; a dry run only reads it.
    CStateLock stateLock;
    if (!options.strStateDir.empty() && !options.bDryRun) {
        const CRhError error = AcquireStateLock(options, stateLock);
        if (error.IsError()) return ReportError(error, options);
    }
    CScanDatabase database;
    CJobHistory history;
    const int nExit = OpenJobHistory(options, database, history);
    if (nExit != kExitOk) return nExit;
    const std::vector<JobRecord>& listJobs = history.GetJobs();
    // The newest N ok jobs count; a failed job after the oldest of them
    // stays too, so that its snapshot is still known as a failed job's.
    long long llOldestKept = LLONG_MAX;
    long long llOk = 0;
    for (auto it = listJobs.rbegin(); it != listJobs.rend() && llOk < options.llKeepLast; ++it) {
        if (it->strStatus != "ok") continue;
        ++llOk;
        llOldestKept = it->llJobId;
    }
    // The newest job also keeps the next job id above every snapshot's.
    std::set<long long> setKept;
    if (!listJobs.empty()) setKept.insert(listJobs.back().llJobId);
    for (const JobRecord& record : listJobs) {
        if (record.llJobId >= llOldestKept) setKept.insert(record.llJobId);
        const JobRecord* ptrReference = history.LastSuccessful(record.uClientId, record.uAppId);
        if (ptrReference != nullptr) setKept.insert({ptrReference->llJobId, ptrReference->llFullJobId});
    }
    const char* pszVerb = options.bDryRun ? "would forget" : "forgot";
    std::vector<long long> listForgotten;
    long long llItems = 0;
    // Printed once it is true: a removal that fails forgets nothing.
    auto printForgotten = [&] {
        for (const JobRecord& record : listJobs) {
            if (setKept.count(record.llJobId) > 0) continue;
            std::printf("%s job %lld (%s, %s, started %s): %lld items\n", pszVerb, record.llJobId,
                        record.strKind.c_str(), record.strStatus.c_str(),
                        TimeText(record.llStartTime).c_str(), ItemCount(record));
        }
    };
    for (const JobRecord& record : listJobs) {
        if (setKept.count(record.llJobId) > 0) continue;
        listForgotten.push_back(record.llJobId);
        llItems += ItemCount(record);
    }
    const size_t uKept = listJobs.size() - listForgotten.size();
    if (options.bDryRun) {
        printForgotten();
        std::printf("would forget %zu jobs, %lld items; would keep %zu jobs; nothing changed (--dry-run)\n",
                    listForgotten.size(), llItems, uKept);
        return kExitOk;
    }
    long long llBefore = 0;
    long long llAfter = 0;
    CRhError error = database.ForgetJobs(listForgotten, llBefore);
    if (error.IsError()) return ReportError(error, options);
    printForgotten();
    // The records go with their rows; a folder left by a failed removal
    // only keeps counting for the next job id.
    for (long long llJobId : listForgotten) {
        if (options.strStateDir.empty()) break;
        const std::filesystem::path folder = options.strStateDir + "/job-" + std::to_string(llJobId);
        std::error_code fsError;
        if (std::filesystem::symlink_status(folder, fsError).type() != std::filesystem::file_type::directory)
            continue;
        std::filesystem::remove_all(folder, fsError);
        if (fsError) afs_cli::Say("warning: cannot remove " + folder.string() + ": " + fsError.message());
    }
    // The jobs are forgotten whether or not the file shrinks.
    error = database.Compact(llAfter);
    if (error.IsError()) return ReportError(error, options);
    std::printf(
        "forgot %zu jobs, %lld items; kept %zu jobs; scan database %lld -> %lld bytes (%lld reclaimed)\n",
        listForgotten.size(), llItems, uKept, llBefore, llAfter, llBefore - llAfter);
    return kExitOk;
}

}  // namespace afs_scan
