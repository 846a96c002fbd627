#include "tools/afs-scan/commands/CommandTable.h"

#include <cstdio>

#include "tools/afs-scan/commands/CommandSupport.h"

namespace afs_scan {

namespace {

std::string DurationText(const JobRecord& record) {
    if (record.llStartTime == 0 || record.llEndTime < record.llStartTime) return "-";
    return std::to_string(record.llEndTime - record.llStartTime) + " s";
}

}  // namespace

int RunJobsCommand(ScanOptions& options) {
    CScanDatabase database;
    CJobHistory history;
    const int nExit = OpenJobHistory(options, database, history);
    if (nExit != kExitOk) return nExit;
    std::printf("%6s %-11s %8s %6s %-6s %-20s %9s %8s %8s %8s %8s %8s\n", "id", "kind", "previous", "full",
                "status", "start", "duration", "ADD", "MODIFY", "RENAME", "DELETE", "OTHER");
    for (const JobRecord& record : history.GetJobs()) {
        const ChangeCounts& counts = record.arrCounts;
        std::printf("%6lld %-11s %8lld %6lld %-6s %-20s %9s %8lld %8lld %8lld %8lld %8lld\n", record.llJobId,
                    record.strKind.c_str(), record.llPreviousJobId, record.llFullJobId,
                    record.strStatus.c_str(), TimeText(record.llStartTime).c_str(),
                    DurationText(record).c_str(), counts[eNutanixAFSChangeAdd],
                    counts[eNutanixAFSChangeModify], counts[eNutanixAFSChangeRename],
                    counts[eNutanixAFSChangeDelete], counts[eNutanixAFSChangeOther]);
    }
    return kExitOk;
}

}  // namespace afs_scan
