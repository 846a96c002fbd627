#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"

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

// The SQLite scan database: table `items` (job_id, path, old_path,
// change_type, is_dir, size, inode, atime, mtime, ctime) with an index on
// job_id. Rows of one job are written in transactions of `nBatchRows` rows
// with one prepared statement. Owns its connection and statement; not
// thread-safe; every failure is returned as an error chain with SQLite's text.
class CScanDatabase {
public:
    CScanDatabase();
    ~CScanDatabase();
    CScanDatabase(const CScanDatabase&) = delete;
    CScanDatabase& operator=(const CScanDatabase&) = delete;

    // Opens (creates) the file and the schema.
    CRhError Open(const std::string& strFile, int nBatchRows);
    // Deletes the rows a former run of `llJobId` left, then starts the job.
    CRhError BeginJob(long long llJobId);
    // Queues one row; commits when the batch is full.
    CRhError Insert(const ScanItem& item);
    // Commits the open batch: the job's rows are all visible afterwards.
    CRhError FinishJob();
    // Rolls the open batch back and deletes every row of the job, so that a
    // failed job leaves nothing a reader could mistake for its result.
    CRhError DiscardJob();

private:
    struct Handles;
    CRhError Execute(const char* pszSql, const FXCodeLocation& location);
    CRhError Fail(const FXCodeLocation& location, const char* pszWhat);

    std::unique_ptr<Handles> ptrHandles;
    std::string strFile;
    long long llJobId = 0;
    int nBatchRows = 10000;
    int nRowsInBatch = 0;
    bool bInTransaction = false;
};
