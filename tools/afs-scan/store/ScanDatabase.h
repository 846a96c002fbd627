#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"
#include "tools/afs-scan/store/JobHistory.h"

namespace afs_scan {

// One changed item as the scan database stores it.
struct ScanItem {
    std::string strPath;
    std::string strOldPath;
    NutanixAFSChangeType eChangeType = eNutanixAFSChangeOther;
    bool bIsDirectory = false;
    long long llSize = 0;
    long long llInode = 0;
    long long llATime = 0;
    long long llMTime = 0;
    long long llCTime = 0;
};

// "ADD", "MODIFY", "RENAME", "DELETE" or "OTHER" (also for unknown values).
const char* ChangeTypeName(NutanixAFSChangeType eChangeType);
// The change type ChangeTypeName names; OTHER for any other text.
NutanixAFSChangeType ChangeTypeOfName(const std::string& strName);

// The SQLite scan database: table `items` (job_id, path, old_path,
// change_type, is_dir, size, inode, atime, mtime, ctime) with an index on
// job_id, and the job history in table `jobs`, in WAL mode.
//
// A job is one write transaction, from BeginJob to FinishJob: its rows and
// its `jobs` row become visible together, with one fsync, and a job that
// fails (DiscardJob) or is killed leaves no row; SQLite itself drops what a
// killed process left in the write-ahead log. Memory stays bounded whatever
// the job's size, as SQLite spills its page cache into the log.
//
// Closing leaves the log's pages for the next Open, which copies them into
// the file on a thread of its own while the caller goes on.
//
// Owns its connection and statements. Not thread-safe: calls must not
// overlap, but they may come from different threads one after another.
// Every failure is returned as an error chain with SQLite's text.
class CScanDatabase {
public:
    CScanDatabase();
    ~CScanDatabase();
    CScanDatabase(const CScanDatabase&) = delete;
    CScanDatabase& operator=(const CScanDatabase&) = delete;

    // Opens (creates) the file and the schema. A database without `jobs`
    // table takes over the history file `strOldHistory` (when it exists) in
    // the same transaction that creates the table, so it happens once;
    // rows of jobs that file does not list as ok are removed then.
    // bReadOnly: for reading only, without the write lock a job holds (a
    // schema of an older afs-scan is still brought up to date first).
    CRhError Open(const std::string& strFile, const std::string& strOldHistory, bool bReadOnly = false);
    // Every job of the history, by id.
    CRhError LoadJobs(std::vector<JobRecord>& listJobs);
    // Every share record of the history, by job id.
    CRhError LoadShares(std::vector<ShareRecord>& listShares);
    // Names the job the next calls write. Its transaction starts with its
    // first insert (or FinishJob), after the checkpoint Open started, and
    // first deletes the rows a former run of the same job id left.
    CRhError BeginJob(long long llJobId);
    // Inserts rows of the job begun last.
    CRhError Insert(const ScanItem* ptrItems, size_t uCount);
    // Records `record` (status "ok") with its shares and commits: everything
    // becomes visible and durable at once.
    CRhError FinishJob(const JobRecord& record, const std::vector<ShareRecord>& listShares);
    // The rows of the job begun last that come after `llMark` belong to the
    // share begun at the mark (0 before the job's first row). The writer
    // must be idle around all three.
    CRhError MarkRows(long long& llMark);
    // Removes every row after the mark: the share is listed again.
    CRhError WithdrawRows(long long llMark);
    // Keeps one row of each repeated item after the mark and counts what is
    // left by change type.
    CRhError RemoveRepeatedRows(long long llMark, ChangeCounts& arrCounts);
    // Rolls the job back, then records `record` (status "failed") with no
    // rows of its id left.
    CRhError DiscardJob(const JobRecord& record);

    // Every row of the job, in no set order; a failure `fnItem` returns ends
    // the walk and is returned. Rows are read one at a time.
    CRhError ForEachItem(long long llJobId, const std::function<CRhError(const ScanItem&)>& fnItem);
    // Removes the rows and records of the jobs in one transaction; the
    // file's size (pages in use times page size) before.
    CRhError ForgetJobs(const std::vector<long long>& listJobIds, long long& llBytesBefore);
    // Rebuilds the file without its free pages (VACUUM); its size after.
    CRhError Compact(long long& llBytesAfter);

private:
    struct Handles;
    CRhError Connect(bool bReadOnly, int& nVersion);
    CRhError PrepareStatements();
    CRhError FileBytes(long long& llBytes);
    CRhError Execute(const char* pszSql, const FXCodeLocation& location);
    CRhError Fail(const FXCodeLocation& location, const char* pszWhat);
    CRhError Prepare(const char* pszSql, const FXCodeLocation& location, int nHandle);
    CRhError Migrate(const std::string& strOldHistory);
    CRhError WriteJob(const JobRecord& record, const FXCodeLocation& location);
    CRhError WriteShares(long long llJobIdIn, const std::vector<ShareRecord>& listShares,
                         const FXCodeLocation& location);
    CRhError StepWith(int nHandle, long long llFirst, long long llSecond, const FXCodeLocation& location,
                      const char* pszWhat);
    CRhError DeleteRows(long long llJobId, const FXCodeLocation& location);
    CRhError StartJobTransaction();
    // True when the history holds an ok job `llJobId`; `error` set when it cannot be read.
    bool IsTakenMeanwhile(long long llJobId, CRhError& error);
    void WaitForCheckpoint();

    std::unique_ptr<Handles> ptrHandles;
    std::string strFile;
    long long llJobId = 0;
    bool bInTransaction = false;
};

}  // namespace afs_scan
