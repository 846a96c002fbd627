#include "tools/afs-scan/ScanDatabase.h"

namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS items ("
    " job_id INTEGER NOT NULL,"
    " path TEXT NOT NULL,"
    " old_path TEXT NOT NULL DEFAULT '',"
    " change_type TEXT NOT NULL CHECK (change_type IN ('ADD','MODIFY','RENAME','DELETE','OTHER')),"
    " is_dir INTEGER NOT NULL,"
    " size INTEGER NOT NULL,"
    " inode INTEGER NOT NULL,"
    " atime INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL,"
    " ctime INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS items_job_id ON items(job_id);";

const char* const kInsert =
    "INSERT INTO items (job_id, path, old_path, change_type, is_dir, size, inode, atime, mtime, ctime)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";

struct CloseConnection {
    void operator()(sqlite3* ptrDb) const noexcept { sqlite3_close_v2(ptrDb); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* ptrStatement) const noexcept { sqlite3_finalize(ptrStatement); }
};

}  // namespace

// The statement must go before the connection: members die in reverse order.
struct CScanDatabase::Handles {
    std::unique_ptr<sqlite3, CloseConnection> ptrDb;
    std::unique_ptr<sqlite3_stmt, FinalizeStatement> ptrInsert;
    std::unique_ptr<sqlite3_stmt, FinalizeStatement> ptrDeleteJob;
};

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

CScanDatabase::CScanDatabase() : ptrHandles(new Handles) {}

CScanDatabase::~CScanDatabase() {
    // A batch still open here belongs to a job nobody finished: drop it.
    if (bInTransaction && ptrHandles->ptrDb)
        sqlite3_exec(ptrHandles->ptrDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

CRhError CScanDatabase::Fail(const FXCodeLocation& location, const char* pszWhat) {
    const char* pszReason = ptrHandles->ptrDb ? sqlite3_errmsg(ptrHandles->ptrDb.get()) : "out of memory";
    return FXErrorUtil::ErrorInt(location, 1, "scan database %s: %s: %s", strFile.c_str(), pszWhat,
                                 pszReason);
}

CRhError CScanDatabase::Execute(const char* pszSql, const FXCodeLocation& location) {
    if (sqlite3_exec(ptrHandles->ptrDb.get(), pszSql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail(location, pszSql);
    }
    return CRhError::Success();
}

CRhError CScanDatabase::Open(const std::string& strFileIn, int nBatchRowsIn) {
    strFile = strFileIn;
    nBatchRows = nBatchRowsIn > 0 ? nBatchRowsIn : 1;
    sqlite3* ptrDb = nullptr;
    const int nResult =
        sqlite3_open_v2(strFile.c_str(), &ptrDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    ptrHandles->ptrDb.reset(ptrDb);
    if (nResult != SQLITE_OK) return Fail(FX_CODE_LOCATION, "cannot open");
    sqlite3_busy_timeout(ptrDb, 5000);
    CRhError error = Execute(kSchema, FX_CODE_LOCATION);
    if (error.IsError()) return error;
    sqlite3_stmt* ptrStatement = nullptr;
    if (sqlite3_prepare_v2(ptrDb, kInsert, -1, &ptrStatement, nullptr) != SQLITE_OK) {
        return Fail(FX_CODE_LOCATION, "cannot prepare the insert");
    }
    ptrHandles->ptrInsert.reset(ptrStatement);
    if (sqlite3_prepare_v2(ptrDb, "DELETE FROM items WHERE job_id = ?1", -1, &ptrStatement, nullptr) !=
        SQLITE_OK) {
        return Fail(FX_CODE_LOCATION, "cannot prepare the delete");
    }
    ptrHandles->ptrDeleteJob.reset(ptrStatement);
    return CRhError::Success();
}

CRhError CScanDatabase::BeginJob(long long llJobIdIn) {
    llJobId = llJobIdIn;
    CRhError error = Execute("BEGIN", FX_CODE_LOCATION);
    if (error.IsError()) return error;
    bInTransaction = true;
    nRowsInBatch = 0;
    sqlite3_stmt* ptrDelete = ptrHandles->ptrDeleteJob.get();
    sqlite3_reset(ptrDelete);
    sqlite3_bind_int64(ptrDelete, 1, llJobId);
    const int nStep = sqlite3_step(ptrDelete);
    sqlite3_reset(ptrDelete);
    if (nStep != SQLITE_DONE) return Fail(FX_CODE_LOCATION, "cannot delete a former run's rows");
    return CRhError::Success();
}

CRhError CScanDatabase::Insert(const ScanItem& item) {
    if (!bInTransaction) {
        CRhError error = Execute("BEGIN", FX_CODE_LOCATION);
        if (error.IsError()) return error;
        bInTransaction = true;
    }
    sqlite3_stmt* ptrInsert = ptrHandles->ptrInsert.get();
    sqlite3_reset(ptrInsert);
    sqlite3_bind_int64(ptrInsert, 1, llJobId);
    sqlite3_bind_text(ptrInsert, 2, item.strPath.data(), static_cast<int>(item.strPath.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(ptrInsert, 3, item.strOldPath.data(), static_cast<int>(item.strOldPath.size()),
                      SQLITE_TRANSIENT);
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
    if (++nRowsInBatch >= nBatchRows) {
        CRhError error = Execute("COMMIT", FX_CODE_LOCATION);
        if (error.IsError()) return error;
        bInTransaction = false;
        nRowsInBatch = 0;
    }
    return CRhError::Success();
}

CRhError CScanDatabase::FinishJob() {
    if (!bInTransaction) return CRhError::Success();
    CRhError error = Execute("COMMIT", FX_CODE_LOCATION);
    if (error.IsSuccess()) bInTransaction = false;
    nRowsInBatch = 0;
    return error;
}

CRhError CScanDatabase::DiscardJob() {
    if (!ptrHandles->ptrDb) return CRhError::Success();
    if (bInTransaction) {
        Execute("ROLLBACK", FX_CODE_LOCATION);
        bInTransaction = false;
    }
    sqlite3_stmt* ptrDelete = ptrHandles->ptrDeleteJob.get();
    if (ptrDelete == nullptr) return CRhError::Success();
    sqlite3_reset(ptrDelete);
    sqlite3_bind_int64(ptrDelete, 1, llJobId);
    if (sqlite3_step(ptrDelete) != SQLITE_DONE)
        return Fail(FX_CODE_LOCATION, "cannot delete a failed job's rows");
    sqlite3_reset(ptrDelete);
    return CRhError::Success();
}
