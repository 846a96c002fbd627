#pragma once

#include <sqlite3.h>

#include <memory>

namespace afs_scan {

// The owners of SQLite's handles: a connection is closed and a statement
// finalized on every way out.
struct CloseConnection {
    void operator()(sqlite3* ptrDb) const noexcept { sqlite3_close_v2(ptrDb); }
};
using SqliteConnection = std::unique_ptr<sqlite3, CloseConnection>;

struct FinalizeStatement {
    void operator()(sqlite3_stmt* ptrStatement) const noexcept { sqlite3_finalize(ptrStatement); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// sqlite3_open_v2 into an owner: the handle SQLite returns on a failed open
// still needs closing, and holds the failure's message.
inline int OpenConnection(const char* pszFile, int nFlags, SqliteConnection& ptrDb) {
    sqlite3* ptrRaw = nullptr;
    const int nResult = sqlite3_open_v2(pszFile, &ptrRaw, nFlags, nullptr);
    ptrDb.reset(ptrRaw);
    return nResult;
}

// sqlite3_prepare_v3 into an owner.
inline int PrepareStatement(sqlite3* ptrDb, const char* pszSql, unsigned int uFlags,
                            SqliteStatement& ptrStatement) {
    sqlite3_stmt* ptrRaw = nullptr;
    const int nResult = sqlite3_prepare_v3(ptrDb, pszSql, -1, uFlags, &ptrRaw, nullptr);
    ptrStatement.reset(ptrRaw);
    return nResult;
}

}  // namespace afs_scan
