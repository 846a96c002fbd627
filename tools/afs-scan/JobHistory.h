#pragma once

#include <string>
#include <vector>

#include "host/RhError.h"

// One line of the job history.
struct JobRecord {
    long long llJobId = 0;
    std::string strStatus;  // "running", "ok" or "failed"
    std::string strKind;    // "full" or "incremental"
    unsigned int uClientId = 0;
    unsigned int uAppId = 0;
    long long llPreviousJobId = 0;
    long long llFullJobId = 0;
};

// The ids one job runs with.
struct JobIdentity {
    long long llJobId = 0;
    long long llPreviousJobId = 0;  // 0: full job
    long long llFullJobId = 0;      // the cycle's full job (this job when full)
    bool IsFull() const { return llPreviousJobId == 0; }
};

// The job history of a state folder: a text file "jobs.txt", one line per
// event "JOB STATUS KIND CLIENT APP PREVIOUS FULL", appended with one write
// each. The newest line of a job wins; a job whose newest line is "running"
// ended without saying how (killed) and counts as failed. A line that does
// not parse (a torn last line) is ignored. Not safe against two afs-scan runs
// on one state folder at the same time.
class CJobHistory {
public:
    explicit CJobHistory(std::string strStateDir);

    // Reads the file; a missing file is an empty history.
    CRhError Load();
    // Appends `record` and flushes it to disk.
    CRhError Append(const JobRecord& record);

    // The newest state of every job, in the order jobs first appeared.
    const std::vector<JobRecord>& GetJobs() const { return listJobs; }
    long long HighestJobId() const;
    // The newest successful job of the client and application; null if none.
    const JobRecord* LastSuccessful(unsigned int uClientId, unsigned int uAppId) const;
    const JobRecord* Find(long long llJobId) const;

    // Fills in what the caller left at -1: the job id (highest + 1), the
    // previous job (last successful one, 0 when there is none or bForceFull)
    // and the full job (the previous job's cycle, or this job when full).
    JobIdentity Resolve(long long llJobId, long long llPreviousJobId, long long llFullJobId, bool bForceFull,
                        unsigned int uClientId, unsigned int uAppId) const;

    const std::string& GetPath() const { return strPath; }

private:
    std::string strPath;
    std::vector<JobRecord> listJobs;
};
