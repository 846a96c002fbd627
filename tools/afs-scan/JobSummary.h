#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/afs-scan/JobHistory.h"
#include "tools/afs-scan/ScanItemSink.h"

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
};

struct JobSummary {
    JobIdentity identity;
    bool bOk = false;
    std::string strError;
    std::string strHeadline;  // what the job knows better than its error chain; may be empty
    std::vector<ShareSummary> listShares;
};

const char* ShareModeName(EShareMode eMode);

// One line per share: "share MOUNT: MODE: ADD n, MODIFY n, RENAME n, DELETE n,
// OTHER n; S s, R items/s"; for a share of a full job "share MOUNT: snapshot
// only: took NAME at PATH".
void PrintShareSummaries(const JobSummary& summary, std::FILE* ptrStream);

// Writes the summary as one JSON object to `strFile` ("-": stdout); false
// when it cannot be written.
bool WriteSummaryJson(const JobSummary& summary, const std::string& strFile);
