#include "tools/afs-scan/store/ScanDatabase.h"

#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "host/LogWriter.h"
#include "tools/afs-scan/store/SqliteHandles.h"
#include "tools/afs-scan/store/SqliteText.h"

namespace afs_scan {

namespace {

// The check is a chain of comparisons: an IN list would make SQLite build a
// lookup table for every row inserted, which tripled the insert time.
const char* const kItemsSchema =
    "CREATE TABLE IF NOT EXISTS items ("
    " job_id INTEGER NOT NULL,"
    " path TEXT NOT NULL,"
    " old_path TEXT NOT NULL DEFAULT '',"
    " change_type TEXT NOT NULL CHECK (change_type = 'ADD' OR change_type = 'MODIFY' OR"
    "  change_type = 'RENAME' OR change_type = 'DELETE' OR change_type = 'OTHER'),"
    " is_dir INTEGER NOT NULL,"
    " size INTEGER NOT NULL,"
    " inode INTEGER NOT NULL,"
    " atime INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL,"
    " ctime INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS items_job_id ON items(job_id);";

// One row per share of every finished job.
const char* const kSharesSchema =
    "CREATE TABLE IF NOT EXISTS job_shares ("
    " job_id INTEGER NOT NULL,"
    " mount_path TEXT NOT NULL,"
    " scan_path TEXT NOT NULL,"
    " share_uuid TEXT NOT NULL,"
    " snapshot_name TEXT NOT NULL,"
    " snapshot_uuid TEXT NOT NULL,"
    " mode TEXT NOT NULL,"
    " status TEXT NOT NULL CHECK (status IN ('ok','partial')),"
    " reason TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY (job_id, mount_path));";

// Times are NULL for jobs taken over from the former history file.
const char* const kJobsSchema =
    "CREATE TABLE jobs ("
    " id INTEGER PRIMARY KEY,"
    " client INTEGER NOT NULL,"
    " app INTEGER NOT NULL,"
    " kind TEXT NOT NULL CHECK (kind IN ('full','incremental')),"
    " previous INTEGER NOT NULL,"
    " full INTEGER NOT NULL,"
    " status TEXT NOT NULL CHECK (status IN ('ok','failed')),"
    " start_time INTEGER,"
    " end_time INTEGER,"
    " adds INTEGER NOT NULL DEFAULT 0,"
    " modifies INTEGER NOT NULL DEFAULT 0,"
    " renames INTEGER NOT NULL DEFAULT 0,"
    " deletes INTEGER NOT NULL DEFAULT 0,"
    " others INTEGER NOT NULL DEFAULT 0)";

// After a take-over: only ok jobs keep rows, and counts come from the rows.
const char* const kAfterMigration =
    "DELETE FROM items WHERE job_id IN (SELECT id FROM jobs WHERE status <> 'ok');"
    "UPDATE jobs SET"
    " adds = (SELECT COUNT(*) FROM items WHERE job_id = jobs.id AND change_type = 'ADD'),"
    " modifies = (SELECT COUNT(*) FROM items WHERE job_id = jobs.id AND change_type = 'MODIFY'),"
    " renames = (SELECT COUNT(*) FROM items WHERE job_id = jobs.id AND change_type = 'RENAME'),"
    " deletes = (SELECT COUNT(*) FROM items WHERE job_id = jobs.id AND change_type = 'DELETE'),"
    " others = (SELECT COUNT(*) FROM items WHERE job_id = jobs.id AND change_type = 'OTHER');";

enum EStatement {
    eInsert,
    eDeleteJob,
    eWriteJob,
    eLoadJobs,
    eWriteShare,
    eDeleteShares,
    eLoadShares,
    eLastRow,
    eDeleteSince,
    eDeleteRepeats,
    eCountSince,
    eJobStatus,
    eStatementCount
};

const char* const kStatements[eStatementCount] = {
    "INSERT INTO items (job_id, path, old_path, change_type, is_dir, size, inode, atime, mtime, ctime)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
    "DELETE FROM items WHERE job_id = ?1",
    "INSERT OR REPLACE INTO jobs (id, client, app, kind, previous, full, status, start_time, end_time,"
    " adds, modifies, renames, deletes, others) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
    "?13, ?14)",
    "SELECT id, client, app, kind, previous, full, status, start_time, end_time,"
    " adds, modifies, renames, deletes, others FROM jobs ORDER BY id",
    "INSERT OR REPLACE INTO job_shares (job_id, mount_path, scan_path, share_uuid, snapshot_name, "
    "snapshot_uuid,"
    " mode, status, reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
    "DELETE FROM job_shares WHERE job_id = ?1",
    "SELECT job_id, mount_path, scan_path, share_uuid, snapshot_name, snapshot_uuid, mode, status, reason"
    " FROM job_shares ORDER BY job_id",
    "SELECT COALESCE(MAX(rowid), 0) FROM items",
    "DELETE FROM items WHERE job_id = ?1 AND rowid > ?2",
    "DELETE FROM items WHERE job_id = ?1 AND rowid > ?2 AND rowid NOT IN (SELECT MIN(rowid) FROM items"
    " WHERE job_id = ?1 AND rowid > ?2 GROUP BY path, old_path, change_type, is_dir)",
    "SELECT change_type, COUNT(*) FROM items WHERE job_id = ?1 AND rowid > ?2 GROUP BY change_type",
    "SELECT status = 'ok' FROM jobs WHERE id = ?1"};

// Columns adds..others in NutanixAFSChangeType order (0 is OTHER).
const int kCountColumns[] = {13, 9, 10, 11, 12};

// A statement reset on every way out, so that it never holds a read open.
class CStatementUse {
public:
    explicit CStatementUse(sqlite3_stmt* ptrStatement) : ptrStatement(ptrStatement) {}
    ~CStatementUse() { sqlite3_reset(ptrStatement); }
    CStatementUse(const CStatementUse&) = delete;
    CStatementUse& operator=(const CStatementUse&) = delete;

private:
    sqlite3_stmt* ptrStatement;
};

void BindTimeOrNull(sqlite3_stmt* ptrStatement, int nParameter, long long llTime) {
    if (llTime == 0) {
        sqlite3_bind_null(ptrStatement, nParameter);
    } else {
        sqlite3_bind_int64(ptrStatement, nParameter, llTime);
    }
}

}  // namespace

// The statements must go before the connection: members die in reverse order.
struct CScanDatabase::Handles {
    SqliteConnection ptrDb;
    SqliteStatement arrStatements[eStatementCount];
    std::thread checkpoint;
    std::string strCheckpointFailure;  // set by the checkpoint's thread, read after it is joined
};

namespace {

// Copies what the last job committed from the write-ahead log into the
// database file, on a connection of its own. The closing connection leaves
// that to the next run, which does it while the plug-in takes its snapshots:
// the job that committed is durable with its commit, and it ends without
// copying every page once more and syncing the file. Empty when every page
// of the log is in the file, else why not.
std::string CheckpointPreviousJobs(const std::string& strFile) {
    SqliteConnection ptrOwner;
    int nResult = OpenConnection(
        strFile.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, ptrOwner);
    sqlite3* ptrDb = ptrOwner.get();
    int nLog = -1;
    int nCopied = -1;
    if (nResult == SQLITE_OK) {
        sqlite3_db_config(ptrDb, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_busy_timeout(ptrDb, 5000);
        // A connection finds the log only once it has read the database:
        // before that a checkpoint has nothing to copy and says it is done.
        nResult = sqlite3_exec(ptrDb, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    if (nResult == SQLITE_OK)
        nResult = sqlite3_wal_checkpoint_v2(ptrDb, nullptr, SQLITE_CHECKPOINT_PASSIVE, &nLog, &nCopied);
    std::string strWhy;
    if (nResult != SQLITE_OK) {
        strWhy = ErrorText(ptrDb);
    } else if (nCopied < nLog) {
        // A reader still uses the older pages.
        strWhy = std::to_string(nCopied) + " of " + std::to_string(nLog) + " pages of the log copied";
    }
    return strWhy;
}

// The schema this afs-scan writes, as PRAGMA user_version. 0 is the schema
// of the versions before it was counted (job_shares may be missing).
constexpr int kSchemaVersion = 1;

// A file SQLite made before afs-scan kept them private; the log and the
// shared-memory file take the database file's mode when SQLite makes them.
void MakePrivate(const std::string& strFile) {
    for (const char* pszSuffix : {"", "-wal", "-shm"}) {
        struct stat status {};
        const std::string strPath = strFile + pszSuffix;
        if (lstat(strPath.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 077) != 0)
            chmod(strPath.c_str(), status.st_mode & 0700);
    }
}

}  // namespace

const char* ChangeTypeName(NutanixAFSChangeType eChangeType) {
    switch (eChangeType) {
        case eNutanixAFSChangeAdd:
            return "ADD";
        case eNutanixAFSChangeModify:
            return "MODIFY";
        case eNutanixAFSChangeRename:
            return "RENAME";
        case eNutanixAFSChangeDelete:
            return "DELETE";
        case eNutanixAFSChangeOther:
            break;
    }
    return "OTHER";
}

NutanixAFSChangeType ChangeTypeOfName(const std::string& strName) {
    for (NutanixAFSChangeType eType :
         {eNutanixAFSChangeAdd, eNutanixAFSChangeModify, eNutanixAFSChangeRename, eNutanixAFSChangeDelete}) {
        if (strName == ChangeTypeName(eType)) return eType;
    }
    return eNutanixAFSChangeOther;
}

CScanDatabase::CScanDatabase() : ptrHandles(new Handles) {}

CScanDatabase::~CScanDatabase() {
    WaitForCheckpoint();
    // A transaction still open here belongs to a job nobody finished: drop it.
    if (bInTransaction && ptrHandles->ptrDb)
        sqlite3_exec(ptrHandles->ptrDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

CRhError CScanDatabase::Fail(const FXCodeLocation& location, const char* pszWhat) {
    return FXErrorUtil::ErrorInt(location, 1, "scan database %s: %s: %s", strFile.c_str(), pszWhat,
                                 ErrorText(ptrHandles->ptrDb.get()).c_str());
}

CRhError CScanDatabase::Execute(const char* pszSql, const FXCodeLocation& location) {
    if (sqlite3_exec(ptrHandles->ptrDb.get(), pszSql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail(location, pszSql);
    }
    return CRhError::Success();
}

CRhError CScanDatabase::Prepare(const char* pszSql, const FXCodeLocation& location, int nHandle) {
    if (PrepareStatement(ptrHandles->ptrDb.get(), pszSql, SQLITE_PREPARE_PERSISTENT,
                         ptrHandles->arrStatements[nHandle]) != SQLITE_OK) {
        return Fail(location, pszSql);
    }
    return CRhError::Success();
}

CRhError CScanDatabase::Connect(bool bReadOnly, int& nVersion) {
    const int nFlags = (bReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                       SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    ptrHandles->ptrDb.reset();
    const int nResult = OpenConnection(strFile.c_str(), nFlags, ptrHandles->ptrDb);
    sqlite3* ptrDb = ptrHandles->ptrDb.get();
    if (nResult != SQLITE_OK) return Fail(FX_CODE_LOCATION, "cannot open");
    MakePrivate(strFile);
    sqlite3_busy_timeout(ptrDb, 5000);
    sqlite3_db_config(ptrDb, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // Before anything is written: a newer afs-scan's schema is not ours to change.
    nVersion = 0;
    auto readVersion = [](void* ptrVersion, int, char** ppszValues, char**) {
        *static_cast<int*>(ptrVersion) = ppszValues[0] ? std::atoi(ppszValues[0]) : 0;
        return 0;
    };
    if (sqlite3_exec(ptrDb, "PRAGMA user_version", readVersion, &nVersion, nullptr) != SQLITE_OK)
        return Fail(FX_CODE_LOCATION, "cannot read the schema version");
    if (nVersion > kSchemaVersion) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                     "scan database %s has schema version %d, newer than this afs-scan's %d: "
                                     "run a newer afs-scan on it, or give another --db or --state",
                                     strFile.c_str(), nVersion, kSchemaVersion);
    }
    return CRhError::Success();
}

CRhError CScanDatabase::PrepareStatements() {
    CRhError error;
    for (int nHandle = 0; nHandle < eStatementCount && error.IsSuccess(); ++nHandle)
        error = Prepare(kStatements[nHandle], FX_CODE_LOCATION, nHandle);
    return error;
}

CRhError CScanDatabase::Open(const std::string& strFileIn, const std::string& strOldHistory, bool bReadOnly) {
    strFile = strFileIn;
    // No statistics and no mutex per call: calls on the connection never
    // overlap. Refused, harmlessly, once SQLite is initialized.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    int nVersion = 0;
    CRhError error = Connect(bReadOnly, nVersion);
    // A reader takes no write lock, which a job holds from its first row to
    // its commit, and changes nothing; only a schema of an older afs-scan
    // must be brought up to date first, once.
    if (error.IsSuccess() && bReadOnly && nVersion == kSchemaVersion) return PrepareStatements();
    if (error.IsSuccess() && bReadOnly) error = Connect(false, nVersion);
    if (error.IsError()) return error;
    // WAL: readers keep seeing the last finished job while a job writes.
    // FULL: the one commit of a job is on disk when it returns. Large pages
    // (for a new file) and a larger cache than the default make fewer, larger
    // writes into the log, which is cut back to 64 MiB when it starts over.
    // Rows are only appended, so a few pages are hot: 8 MiB of cache keep a
    // job of a million items within its memory budget.
    error = Execute(
        "PRAGMA page_size = 65536; PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
        " PRAGMA cache_size = -8192; PRAGMA journal_size_limit = 67108864; PRAGMA wal_autocheckpoint = 0",
        FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Execute("BEGIN IMMEDIATE", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = true;
    error = Execute(kItemsSchema, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Execute(kSharesSchema, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Migrate(strOldHistory);
    // Written only when it changes: a write here would land in the log
    // before the checkpoint has copied the last job's pages.
    if (error.IsSuccess() && nVersion != kSchemaVersion)
        error =
            Execute(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str(), FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Execute("COMMIT", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = false;
    error = PrepareStatements();
    if (error.IsSuccess()) {
        ptrHandles->checkpoint =
            std::thread([this] { ptrHandles->strCheckpointFailure = CheckpointPreviousJobs(strFile); });
    }
    return error;
}

void CScanDatabase::WaitForCheckpoint() {
    if (!ptrHandles->checkpoint.joinable()) return;
    ptrHandles->checkpoint.join();
    // Only the log stays longer: this job's first write cannot start it
    // over, and the next run tries again.
    if (!ptrHandles->strCheckpointFailure.empty()) {
        HOST_LOG(0, "scan database %s: the checkpoint could not complete: %s", strFile.c_str(),
                 ptrHandles->strCheckpointFailure.c_str());
    }
}

CRhError CScanDatabase::Migrate(const std::string& strOldHistory) {
    bool bHasJobs = false;
    auto noteRow = [](void* ptrFlag, int, char**, char**) {
        *static_cast<bool*>(ptrFlag) = true;
        return 0;
    };
    if (sqlite3_exec(ptrHandles->ptrDb.get(),
                     "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'jobs'", noteRow, &bHasJobs,
                     nullptr) != SQLITE_OK) {
        return Fail(FX_CODE_LOCATION, "cannot read the schema");
    }
    if (bHasJobs) return CRhError::Success();
    CRhError error = Execute(kJobsSchema, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Prepare(kStatements[eWriteJob], FX_CODE_LOCATION, eWriteJob);
    std::vector<JobRecord> listOld;
    if (error.IsSuccess()) error = ReadHistoryFile(strOldHistory, listOld);
    for (size_t i = 0; i < listOld.size() && error.IsSuccess(); ++i)
        error = WriteJob(listOld[i], FX_CODE_LOCATION);
    if (error.IsSuccess() && !listOld.empty()) error = Execute(kAfterMigration, FX_CODE_LOCATION);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION, "cannot take over %s", strOldHistory.c_str());
    return CRhError::Success();
}

CRhError CScanDatabase::LoadJobs(std::vector<JobRecord>& listJobs) {
    listJobs.clear();
    sqlite3_stmt* ptrLoad = ptrHandles->arrStatements[eLoadJobs].get();
    CStatementUse use(ptrLoad);
    int nStep = SQLITE_ROW;
    while ((nStep = sqlite3_step(ptrLoad)) == SQLITE_ROW) {
        JobRecord record;
        record.llJobId = sqlite3_column_int64(ptrLoad, 0);
        record.uClientId = static_cast<unsigned int>(sqlite3_column_int64(ptrLoad, 1));
        record.uAppId = static_cast<unsigned int>(sqlite3_column_int64(ptrLoad, 2));
        record.strKind = ColumnText(ptrLoad, 3);
        record.llPreviousJobId = sqlite3_column_int64(ptrLoad, 4);
        record.llFullJobId = sqlite3_column_int64(ptrLoad, 5);
        record.strStatus = ColumnText(ptrLoad, 6);
        record.llStartTime = sqlite3_column_int64(ptrLoad, 7);
        record.llEndTime = sqlite3_column_int64(ptrLoad, 8);
        for (size_t i = 0; i < record.arrCounts.size(); ++i)
            record.arrCounts[i] = sqlite3_column_int64(ptrLoad, kCountColumns[i]);
        listJobs.push_back(record);
    }
    if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot read the job history");
    return CRhError::Success();
}

CRhError CScanDatabase::LoadShares(std::vector<ShareRecord>& listShares) {
    listShares.clear();
    sqlite3_stmt* ptrLoad = ptrHandles->arrStatements[eLoadShares].get();
    CStatementUse use(ptrLoad);
    int nStep = SQLITE_ROW;
    while ((nStep = sqlite3_step(ptrLoad)) == SQLITE_ROW) {
        ShareRecord share;
        share.llJobId = sqlite3_column_int64(ptrLoad, 0);
        share.strMountPath = ColumnText(ptrLoad, 1);
        share.strScanPath = ColumnText(ptrLoad, 2);
        share.strShareUuid = ColumnText(ptrLoad, 3);
        share.strSnapshotName = ColumnText(ptrLoad, 4);
        share.strSnapshotUuid = ColumnText(ptrLoad, 5);
        share.strMode = ColumnText(ptrLoad, 6);
        share.strStatus = ColumnText(ptrLoad, 7);
        share.strReason = ColumnText(ptrLoad, 8);
        listShares.push_back(std::move(share));
    }
    if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot read the share records");
    return CRhError::Success();
}

CRhError CScanDatabase::WriteShares(long long llJobIdIn, const std::vector<ShareRecord>& listShares,
                                    const FXCodeLocation& location) {
    CRhError error = StepWith(eDeleteShares, llJobIdIn, 0, location, "cannot replace the share records");
    sqlite3_stmt* ptrWrite = ptrHandles->arrStatements[eWriteShare].get();
    for (size_t i = 0; i < listShares.size() && error.IsSuccess(); ++i) {
        const ShareRecord& share = listShares[i];
        CStatementUse use(ptrWrite);
        sqlite3_bind_int64(ptrWrite, 1, llJobIdIn);
        const std::string* arrTexts[] = {&share.strMountPath,    &share.strScanPath,     &share.strShareUuid,
                                         &share.strSnapshotName, &share.strSnapshotUuid, &share.strMode,
                                         &share.strStatus,       &share.strReason};
        for (int nText = 0; nText < 8; ++nText)
            sqlite3_bind_text(ptrWrite, nText + 2, arrTexts[nText]->c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(ptrWrite) != SQLITE_DONE) error = Fail(location, "cannot record a share");
    }
    return error;
}

CRhError CScanDatabase::StepWith(int nHandle, long long llFirst, long long llSecond,
                                 const FXCodeLocation& location, const char* pszWhat) {
    sqlite3_stmt* ptrStatement = ptrHandles->arrStatements[nHandle].get();
    CStatementUse use(ptrStatement);
    sqlite3_bind_int64(ptrStatement, 1, llFirst);
    sqlite3_bind_int64(ptrStatement, 2, llSecond);
    if (sqlite3_step(ptrStatement) != SQLITE_DONE) return Fail(location, pszWhat);
    return CRhError::Success();
}

CRhError CScanDatabase::MarkRows(long long& llMark) {
    // Before the job's first row its transaction has not started, and when it
    // starts it drops every row of the job id: all of them will be this
    // share's and later ones'. Not starting it here keeps the plug-in loading
    // while the checkpoint finishes, instead of waiting for it.
    if (!bInTransaction) {
        llMark = 0;
        return CRhError::Success();
    }
    sqlite3_stmt* ptrLast = ptrHandles->arrStatements[eLastRow].get();
    CStatementUse use(ptrLast);
    if (sqlite3_step(ptrLast) != SQLITE_ROW) return Fail(FX_CODE_LOCATION, "cannot read the last row");
    llMark = sqlite3_column_int64(ptrLast, 0);
    return CRhError::Success();
}

CRhError CScanDatabase::WithdrawRows(long long llMark) {
    if (!bInTransaction) return CRhError::Success();  // no row of the job yet
    return StepWith(eDeleteSince, llJobId, llMark, FX_CODE_LOCATION, "cannot withdraw a share's rows");
}

CRhError CScanDatabase::RemoveRepeatedRows(long long llMark, ChangeCounts& arrCounts) {
    arrCounts = {};
    if (!bInTransaction) return CRhError::Success();  // no row of the job yet
    CRhError error =
        StepWith(eDeleteRepeats, llJobId, llMark, FX_CODE_LOCATION, "cannot remove repeated rows");
    if (error.IsError()) return error;
    sqlite3_stmt* ptrCount = ptrHandles->arrStatements[eCountSince].get();
    CStatementUse use(ptrCount);
    sqlite3_bind_int64(ptrCount, 1, llJobId);
    sqlite3_bind_int64(ptrCount, 2, llMark);
    int nStep = SQLITE_ROW;
    while ((nStep = sqlite3_step(ptrCount)) == SQLITE_ROW) {
        arrCounts[static_cast<size_t>(ChangeTypeOfName(ColumnText(ptrCount, 0)))] +=
            sqlite3_column_int64(ptrCount, 1);
    }
    if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot count a share's rows");
    return CRhError::Success();
}

CRhError CScanDatabase::WriteJob(const JobRecord& record, const FXCodeLocation& location) {
    sqlite3_stmt* ptrWrite = ptrHandles->arrStatements[eWriteJob].get();
    CStatementUse use(ptrWrite);
    sqlite3_bind_int64(ptrWrite, 1, record.llJobId);
    sqlite3_bind_int64(ptrWrite, 2, record.uClientId);
    sqlite3_bind_int64(ptrWrite, 3, record.uAppId);
    sqlite3_bind_text(ptrWrite, 4, record.strKind.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ptrWrite, 5, record.llPreviousJobId);
    sqlite3_bind_int64(ptrWrite, 6, record.llFullJobId);
    sqlite3_bind_text(ptrWrite, 7, record.strStatus.c_str(), -1, SQLITE_TRANSIENT);
    BindTimeOrNull(ptrWrite, 8, record.llStartTime);
    BindTimeOrNull(ptrWrite, 9, record.llEndTime);
    for (size_t i = 0; i < record.arrCounts.size(); ++i)
        sqlite3_bind_int64(ptrWrite, kCountColumns[i] + 1, record.arrCounts[i]);
    if (sqlite3_step(ptrWrite) != SQLITE_DONE) return Fail(location, "cannot record the job");
    return CRhError::Success();
}

CRhError CScanDatabase::DeleteRows(long long llJobIdIn, const FXCodeLocation& location) {
    sqlite3_stmt* ptrDelete = ptrHandles->arrStatements[eDeleteJob].get();
    CStatementUse use(ptrDelete);
    sqlite3_bind_int64(ptrDelete, 1, llJobIdIn);
    if (sqlite3_step(ptrDelete) != SQLITE_DONE) return Fail(location, "cannot delete a former run's rows");
    return CRhError::Success();
}

bool CScanDatabase::IsTakenMeanwhile(long long llJobIdIn, CRhError& error) {
    sqlite3_stmt* ptrStatus = ptrHandles->arrStatements[eJobStatus].get();
    CStatementUse use(ptrStatus);
    sqlite3_bind_int64(ptrStatus, 1, llJobIdIn);
    const int nStep = sqlite3_step(ptrStatus);
    if (nStep != SQLITE_ROW && nStep != SQLITE_DONE)
        error = Fail(FX_CODE_LOCATION, "cannot read the job history");
    return nStep == SQLITE_ROW && sqlite3_column_int(ptrStatus, 0) != 0;
}

CRhError CScanDatabase::BeginJob(long long llJobIdIn) {
    llJobId = llJobIdIn;
    return CRhError::Success();
}

CRhError CScanDatabase::StartJobTransaction() {
    // The log starts over at the job's first write only when the checkpoint
    // has copied all of it; a write beside it would make the log grow by
    // every job.
    WaitForCheckpoint();
    CRhError error = Execute("BEGIN IMMEDIATE", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = true;
    // The history was read before the snapshots: a run of another state
    // folder on this database may have finished a job of this id since.
    if (IsTakenMeanwhile(llJobId, error)) {
        return FXErrorUtil::ErrorInt(
            FX_CODE_LOCATION, 1,
            "job %lld was recorded by another afs-scan run on scan database %s while "
            "this one ran (a state folder that shares this --db): nothing of this "
            "job is stored; run it again",
            llJobId, strFile.c_str());
    }
    if (error.IsError()) return error;
    return DeleteRows(llJobId, FX_CODE_LOCATION);
}

CRhError CScanDatabase::Insert(const ScanItem* ptrItems, size_t uCount) {
    if (!bInTransaction) {
        CRhError error = StartJobTransaction();
        if (error.IsError()) return error;
    }
    sqlite3_stmt* ptrInsert = ptrHandles->arrStatements[eInsert].get();
    // The batch outlives each step, so SQLite need not copy the texts.
    for (size_t i = 0; i < uCount; ++i) {
        const ScanItem& item = ptrItems[i];
        sqlite3_bind_int64(ptrInsert, 1, llJobId);
        sqlite3_bind_text(ptrInsert, 2, item.strPath.data(), static_cast<int>(item.strPath.size()),
                          SQLITE_STATIC);
        sqlite3_bind_text(ptrInsert, 3, item.strOldPath.data(), static_cast<int>(item.strOldPath.size()),
                          SQLITE_STATIC);
        sqlite3_bind_text(ptrInsert, 4, ChangeTypeName(item.eChangeType), -1, SQLITE_STATIC);
        sqlite3_bind_int(ptrInsert, 5, item.bIsDirectory ? 1 : 0);
        sqlite3_bind_int64(ptrInsert, 6, item.llSize);
        sqlite3_bind_int64(ptrInsert, 7, item.llInode);
        sqlite3_bind_int64(ptrInsert, 8, item.llATime);
        sqlite3_bind_int64(ptrInsert, 9, item.llMTime);
        sqlite3_bind_int64(ptrInsert, 10, item.llCTime);
        const int nStep = sqlite3_step(ptrInsert);
        sqlite3_reset(ptrInsert);
        if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot insert an item");
    }
    return CRhError::Success();
}

CRhError CScanDatabase::FinishJob(const JobRecord& record, const std::vector<ShareRecord>& listShares) {
    CRhError error = bInTransaction ? CRhError::Success() : StartJobTransaction();
    if (error.IsSuccess()) error = WriteJob(record, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = WriteShares(record.llJobId, listShares, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Execute("COMMIT", FX_CODE_LOCATION);
    if (error.IsSuccess()) bInTransaction = false;
    return error;
}

CRhError CScanDatabase::DiscardJob(const JobRecord& record) {
    if (!ptrHandles->ptrDb) return CRhError::Success();
    if (bInTransaction) {
        Execute("ROLLBACK", FX_CODE_LOCATION);
        bInTransaction = false;
    }
    WaitForCheckpoint();
    CRhError error = Execute("BEGIN IMMEDIATE", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = true;
    // That job's record and rows are another run's, not this failure's to replace.
    const bool bTaken = IsTakenMeanwhile(record.llJobId, error);
    if (bTaken || error.IsError()) {
        Execute("ROLLBACK", FX_CODE_LOCATION);
        bInTransaction = false;
        if (bTaken) HOST_LOG(0, "job %lld: not recorded as failed: another run recorded it", record.llJobId);
        return error;
    }
    error = DeleteRows(record.llJobId, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = WriteShares(record.llJobId, {}, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = WriteJob(record, FX_CODE_LOCATION);
    if (error.IsSuccess()) error = Execute("COMMIT", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = false;
    return CRhError::Success();
}

CRhError CScanDatabase::ForEachItem(long long llJobIdIn,
                                    const std::function<CRhError(const ScanItem&)>& fnItem) {
    SqliteStatement ptrSelect;
    if (PrepareStatement(ptrHandles->ptrDb.get(),
                         "SELECT path, old_path, change_type, is_dir, size, inode, atime, mtime, ctime"
                         " FROM items WHERE job_id = ?1",
                         0, ptrSelect) != SQLITE_OK) {
        return Fail(FX_CODE_LOCATION, "cannot read the items");
    }
    sqlite3_stmt* ptrRaw = ptrSelect.get();
    sqlite3_bind_int64(ptrRaw, 1, llJobIdIn);
    ScanItem item;
    int nStep = SQLITE_ROW;
    while ((nStep = sqlite3_step(ptrRaw)) == SQLITE_ROW) {
        item.strPath = ColumnText(ptrRaw, 0);
        item.strOldPath = ColumnText(ptrRaw, 1);
        item.eChangeType = ChangeTypeOfName(ColumnText(ptrRaw, 2));
        item.bIsDirectory = sqlite3_column_int(ptrRaw, 3) != 0;
        item.llSize = sqlite3_column_int64(ptrRaw, 4);
        item.llInode = sqlite3_column_int64(ptrRaw, 5);
        item.llATime = sqlite3_column_int64(ptrRaw, 6);
        item.llMTime = sqlite3_column_int64(ptrRaw, 7);
        item.llCTime = sqlite3_column_int64(ptrRaw, 8);
        CRhError error = fnItem(item);
        if (error.IsError()) return error;
    }
    if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot read the items");
    return CRhError::Success();
}

CRhError CScanDatabase::FileBytes(long long& llBytes) {
    llBytes = 1;
    for (const char* pszPragma : {"PRAGMA page_count", "PRAGMA page_size"}) {
        long long llValue = 0;
        auto readValue = [](void* ptrValue, int, char** ppszValues, char**) {
            *static_cast<long long*>(ptrValue) = ppszValues[0] ? std::atoll(ppszValues[0]) : 0;
            return 0;
        };
        if (sqlite3_exec(ptrHandles->ptrDb.get(), pszPragma, readValue, &llValue, nullptr) != SQLITE_OK)
            return Fail(FX_CODE_LOCATION, pszPragma);
        llBytes *= llValue;
    }
    return CRhError::Success();
}

CRhError CScanDatabase::ForgetJobs(const std::vector<long long>& listJobIds, long long& llBytesBefore) {
    CRhError error = FileBytes(llBytesBefore);
    if (error.IsSuccess()) error = Execute("BEGIN IMMEDIATE", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = true;
    for (size_t i = 0; i < listJobIds.size() && error.IsSuccess(); ++i) {
        error = DeleteRows(listJobIds[i], FX_CODE_LOCATION);
        if (error.IsSuccess()) error = WriteShares(listJobIds[i], {}, FX_CODE_LOCATION);
        if (error.IsSuccess())
            error = Execute(("DELETE FROM jobs WHERE id = " + std::to_string(listJobIds[i])).c_str(),
                            FX_CODE_LOCATION);
    }
    if (error.IsSuccess()) error = Execute("COMMIT", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = false;
    return CRhError::Success();
}

CRhError CScanDatabase::Compact(long long& llBytesAfter) {
    // Freed pages stay in the file until it is rebuilt.
    CRhError error = Execute("VACUUM", FX_CODE_LOCATION);
    if (error.IsSuccess()) error = FileBytes(llBytesAfter);
    return error;
}

}  // namespace afs_scan
