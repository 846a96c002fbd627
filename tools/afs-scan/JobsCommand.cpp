#include "tools/afs-scan/JobsCommand.h"

#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numeric>
#include <set>

#include "tools/afs-scan/CommandSupport.h"
#include "tools/afs-scan/StateLock.h"

namespace {

std::string StartText(long long llTime) {
    if (llTime == 0) return "-";
    const std::time_t time = static_cast<std::time_t>(llTime);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::string DurationText(const JobRecord& record) {
    if (record.llStartTime == 0 || record.llEndTime < record.llStartTime) return "-";
    return std::to_string(record.llEndTime - record.llStartTime) + " s";
}

long long ItemCount(const JobRecord& record) {
    return std::accumulate(record.arrCounts.begin(), record.arrCounts.end(), 0LL);
}

int Open(const ScanOptions& options, const char* pszCommand, CScanDatabase& database, CJobHistory& history) {
    if (options.strStateDir.empty() && options.strDb.empty())
        return UsageError(std::string(pszCommand) + " needs --state or --db (the scan jobs' database)");
    const CRhError error =
        OpenHistory(options, database, history, options.strCommand != "forget" || options.bDryRun);
    return error.IsError() ? ReportError(error, options) : kExitOk;
}

}  // namespace

int RunJobsCommand(const ScanOptions& options) {
    CScanDatabase database;
    CJobHistory history;
    const int nExit = Open(options, "jobs", database, history);
    if (nExit != kExitOk) return nExit;
    std::printf("%6s %-11s %8s %6s %-6s %-20s %9s %8s %8s %8s %8s %8s\n", "id", "kind", "previous", "full",
                "status", "start", "duration", "ADD", "MODIFY", "RENAME", "DELETE", "OTHER");
    for (const JobRecord& record : history.GetJobs()) {
        const ChangeCounts& counts = record.arrCounts;
        std::printf("%6lld %-11s %8lld %6lld %-6s %-20s %9s %8lld %8lld %8lld %8lld %8lld\n", record.llJobId,
                    record.strKind.c_str(), record.llPreviousJobId, record.llFullJobId,
                    record.strStatus.c_str(), StartText(record.llStartTime).c_str(),
                    DurationText(record).c_str(), counts[eNutanixAFSChangeAdd],
                    counts[eNutanixAFSChangeModify], counts[eNutanixAFSChangeRename],
                    counts[eNutanixAFSChangeDelete], counts[eNutanixAFSChangeOther]);
    }
    return kExitOk;
}

int RunForgetCommand(const ScanOptions& options) {
    if (options.llKeepLast < 1) return UsageError("forget needs --keep-last N");
    // No job may write the history while rows go; a dry run only reads it.
    CStateLock stateLock;
    if (!options.strStateDir.empty() && !options.bDryRun) {
        const CRhError error = stateLock.Acquire(options.strStateDir);
        if (error.IsError()) return ReportError(error, options);
    }
    CScanDatabase database;
    CJobHistory history;
    const int nExit = Open(options, "forget", database, history);
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
                        StartText(record.llStartTime).c_str(), ItemCount(record));
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
