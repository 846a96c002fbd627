#pragma once

#include <array>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "host/RhError.h"

namespace afs_scan {

// Item counts by change type, indexed by NutanixAFSChangeType.
typedef std::array<long long, 5> ChangeCounts;

// One finished job of the history (a row of the scan database's `jobs` table).
struct JobRecord {
    long long llJobId = 0;
    std::string strStatus;  // "ok" or "failed"
    std::string strKind;    // "full" or "incremental"
    unsigned int uClientId = 0;
    unsigned int uAppId = 0;
    long long llPreviousJobId = 0;
    long long llFullJobId = 0;
    long long llStartTime = 0;  // seconds since 1970; 0: unknown (taken over from jobs.txt)
    long long llEndTime = 0;
    ChangeCounts arrCounts{};
};

// How one share fared in one job (a row of the scan database's
// `job_shares` table). Only a share that is "ok" in a job may be compared
// against that job's snapshot: the snapshot UUID tells the snapshot the job
// took from a later one of the same name (another state folder using the
// same client and application ids, say).
struct ShareRecord {
    long long llJobId = 0;
    std::string strMountPath;
    std::string strScanPath;  // the share root as the job named its items
    std::string strShareUuid;
    std::string strSnapshotName;
    std::string strSnapshotUuid;  // empty: unknown, never a reference
    std::string strMode;          // a ShareModeName
    std::string strStatus;        // "ok" or "partial"
    std::string strReason;        // why partial
};

// The ids one job runs with.
struct JobIdentity {
    long long llJobId = 0;
    long long llPreviousJobId = 0;  // 0: full job
    long long llFullJobId = 0;      // the cycle's full job (this job when full)
    bool IsFull() const { return llPreviousJobId == 0; }
};

// The job history of a state folder as read from the scan database, and the
// rules that give the next job its ids. Only finished jobs are in it: a job
// that was killed left no record, only its job folder, which still counts
// for the next job id so that no id (and no snapshot name) is used twice.
// The last job id there is: one below the largest, so that the id after
// the history's highest always fits.
constexpr long long kMaxJobId = LLONG_MAX - 1;

class CJobHistory {
public:
    void Assign(std::vector<JobRecord> listJobsIn, std::vector<ShareRecord> listSharesIn = {}) {
        listJobs = std::move(listJobsIn);
        listShares = std::move(listSharesIn);
    }
    // The highest N of the state folder's "job-N" folders counts as a job id.
    void NoteJobFolders(const std::string& strStateDir);

    const std::vector<JobRecord>& GetJobs() const { return listJobs; }
    long long HighestJobId() const;
    // Why no next job id follows the highest (a job-N folder or a job beyond
    // kMaxJobId), naming it and the fix; "" when one does.
    std::string NextIdRefusal() const;
    // The newest successful job of the client and application; null if none.
    const JobRecord* LastSuccessful(unsigned int uClientId, unsigned int uAppId) const;
    const JobRecord* Find(long long llJobId) const;
    // The record of the share mounted at `strMountPath` in job `llJobId`; null if none.
    const ShareRecord* FindShare(long long llJobId, const std::string& strMountPath) const;
    // The share record, ok and of a job that ended ok, of a job after
    // `llAfter` and before `llBefore` for the share mounted at `strMountPath`;
    // null if none.
    const ShareRecord* NewerGoodShare(long long llAfter, long long llBefore,
                                      const std::string& strMountPath) const;
    // True when job `llJobId` is in the history as a job of the client and
    // application, or left a STATE/job-N folder.
    bool Knows(long long llJobId, unsigned int uClientId, unsigned int uAppId) const;

    // Fills in what the caller left at -1: the job id (highest + 1), the
    // previous job (last successful one, 0 when there is none or bForceFull)
    // and the full job (the previous job's cycle, or this job when full).
    JobIdentity Resolve(long long llJobId, long long llPreviousJobId, long long llFullJobId, bool bForceFull,
                        unsigned int uClientId, unsigned int uAppId) const;

private:
    std::vector<JobRecord> listJobs;
    std::vector<ShareRecord> listShares;
    std::set<long long> setFolders;  // the N of every STATE/job-N folder
    long long llHighestFolder = 0;
    std::string strHighestFolder;  // its path
};

// Reads a history file of the former format, one event per line
// "JOB STATUS KIND CLIENT APP PREVIOUS FULL": the newest line of a job wins,
// a job left "running" (killed) is "failed", a line that does not parse is
// skipped. A missing file is an empty history.
CRhError ReadHistoryFile(const std::string& strPath, std::vector<JobRecord>& listJobs);

}  // namespace afs_scan
