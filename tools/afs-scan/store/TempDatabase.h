#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "host/RhError.h"
#include "tools/afs-scan/store/SqliteHandles.h"

namespace afs_scan {

// A private SQLite database in a temporary file, gone when the object goes,
// with a small page cache and no journal: for data of a run that may outgrow
// memory. Made with its schema and prepared statements; the first failure is
// kept in GetError() and later calls through Step() do nothing. Not
// thread-safe.
class CTempDatabase {
public:
    CTempDatabase(const char* pszSchema, const std::vector<const char*>& listStatements);
    CTempDatabase(const CTempDatabase&) = delete;
    CTempDatabase& operator=(const CTempDatabase&) = delete;

    // The prepared statement number nStatement, reset and with its bindings
    // cleared; null after a failure.
    sqlite3_stmt* Use(size_t uStatement);
    // Steps the statement: SQLITE_ROW or SQLITE_DONE; anything else is kept
    // as the failure `pszWhat` and returned as SQLITE_DONE.
    int Step(sqlite3_stmt* ptrStatement, const char* pszWhat);
    const CRhError& GetError() const { return error; }

private:
    void Fail(const FXCodeLocation& location, const char* pszWhat);

    // The statements must go before the connection: members die in reverse order.
    SqliteConnection ptrDb;
    std::vector<SqliteStatement> listStatements;
    CRhError error;
};

}  // namespace afs_scan
