#include "tools/afs-scan/commands/CommandTable.h"

#include <cstdio>

#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/scan/ItemOutput.h"

namespace afs_scan {

namespace {

std::string DurationText(const JobRecord& record) {
    if (record.llStartTime == 0 || record.llEndTime < record.llStartTime) return "-";
    return std::to_string(record.llEndTime - record.llStartTime);
}

// Seconds since 1970, as the items' times; null when unknown.
std::string JsonTime(long long llTime) { return llTime == 0 ? "null" : std::to_string(llTime); }

// Every field of the record; the counts by change type only here.
void PrintJson(const JobRecord& record) {
    std::string strChanges;
    for (NutanixAFSChangeType eType : {eNutanixAFSChangeAdd, eNutanixAFSChangeModify, eNutanixAFSChangeRename,
                                       eNutanixAFSChangeDelete, eNutanixAFSChangeOther}) {
        strChanges += std::string(strChanges.empty() ? "" : ",") + "\"" + ChangeTypeName(eType) +
                      "\":" + std::to_string(record.arrCounts[eType]);
    }
    std::printf(
        "{\"id\":%lld,\"client_id\":%u,\"app_id\":%u,\"kind\":\"%s\",\"status\":\"%s\","
        "\"previous_job_id\":%lld,\"full_job_id\":%lld,\"start_time\":%s,\"end_time\":%s,"
        "\"items\":%lld,\"changes\":{%s}}\n",
        record.llJobId, record.uClientId, record.uAppId, CItemOutput::JsonEscape(record.strKind).c_str(),
        CItemOutput::JsonEscape(record.strStatus).c_str(), record.llPreviousJobId, record.llFullJobId,
        JsonTime(record.llStartTime).c_str(), JsonTime(record.llEndTime).c_str(), ItemCount(record),
        strChanges.c_str());
}

}  // namespace

int RunJobsCommand(ScanOptions& options) {
    CScanDatabase database;
    CJobHistory history;
    const int nExit = OpenJobHistory(options, database, history);
    if (nExit != kExitOk) return nExit;
    // 80 columns: what tells the jobs apart at a glance.
    const char* const pszRow = "%4s %6s %4s %-11s %4s %4s %-6s %-20s %5s %7s\n";
    if (!options.bJson)
        std::printf(pszRow, "id", "client", "app", "kind", "prev", "full", "status", "start", "secs",
                    "items");
    for (const JobRecord& record : history.GetJobs()) {
        if (options.bJson) {
            PrintJson(record);
            continue;
        }
        std::printf(pszRow, std::to_string(record.llJobId).c_str(), std::to_string(record.uClientId).c_str(),
                    std::to_string(record.uAppId).c_str(), record.strKind.c_str(),
                    std::to_string(record.llPreviousJobId).c_str(),
                    std::to_string(record.llFullJobId).c_str(), record.strStatus.c_str(),
                    TimeText(record.llStartTime).c_str(), DurationText(record).c_str(),
                    std::to_string(ItemCount(record)).c_str());
    }
    return kExitOk;
}

}  // namespace afs_scan
