#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/afs-scan/scan/ScanItemSink.h"
#include "tools/afs-scan/store/JobHistory.h"

namespace afs_scan {

// How a share was handled in the job.
enum EShareMode {
    eShareDifference,    // items from the snapshot difference
    eShareFullListing,   // no reference snapshot: every entry of the snapshot as ADD
    eShareSnapshotOnly,  // full job: snapshot taken, nothing listed
    eShareNotBackedUp,   // the file server does not offer the share for backup
};

struct ShareSummary {
    std::string strMountPath;
    std::string strScanPath;
    std::string strSnapshotPath;
    EShareMode eMode = eShareSnapshotOnly;
    ChangeCounts arrCounts{};
    double dSeconds = 0;
    // Partial: the share's items may miss a change, so the job is no
    // reference for it (the next job lists it in full).
    bool bPartial = false;
    std::string strReason;  // why partial
    bool bFailed = false;   // the job failed while on this share
    std::string strShareUuid;
    std::string strSnapshotUuid;  // this job's snapshot; empty when unknown
};

struct JobSummary {
    JobIdentity identity;
    bool bOk = false;
    std::string strError;
    std::string strHeadline;    // what the job knows better than its error chain; may be empty
    bool bConfigError = false;  // the job did not start: nothing recorded, no job id used
    std::vector<ShareSummary> listShares;
};

const char* ShareModeName(EShareMode eMode);

// One line per share: "share MOUNT: MODE: ADD n, MODIFY n, RENAME n, DELETE n,
// OTHER n; S s, R items/s"; for a share of a full job "share MOUNT: snapshot
// only: took NAME at PATH"; a partial share adds "share MOUNT: partial: WHY;
// the next job lists it in full". In a failed job nothing is stored, so no
// counts are shown: "share MOUNT: MODE: failed after N items (nothing
// stored)" for the share the job failed on, "N items, nothing stored: the
// job failed" for the others.
void PrintShareSummaries(const JobSummary& summary, std::FILE* ptrStream);

// Writes the summary as one JSON object to `strFile` ("-": stdout); false
// when it cannot be written.
bool WriteSummaryJson(const JobSummary& summary, const std::string& strFile);

}  // namespace afs_scan
