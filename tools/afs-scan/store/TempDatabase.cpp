#include "tools/afs-scan/store/TempDatabase.h"

#include "tools/afs-scan/store/SqliteText.h"

namespace afs_scan {

CTempDatabase::CTempDatabase(const char* pszSchema, const std::vector<const char*>& listSql) {
    // An empty name is a private database in a temporary file.
    if (OpenConnection("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, ptrDb) != SQLITE_OK ||
        sqlite3_exec(ptrDb.get(),
                     "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -4096",
                     nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(ptrDb.get(), pszSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(FX_CODE_LOCATION, "cannot create");
        return;
    }
    for (const char* pszSql : listSql) {
        listStatements.emplace_back();
        if (PrepareStatement(ptrDb.get(), pszSql, 0, listStatements.back()) != SQLITE_OK) {
            Fail(FX_CODE_LOCATION, pszSql);
            return;
        }
    }
}

void CTempDatabase::Fail(const FXCodeLocation& location, const char* pszWhat) {
    if (error.IsError()) return;
    error = FXErrorUtil::ErrorInt(location, 1, "temporary database: %s: %s", pszWhat,
                                  ErrorText(ptrDb.get()).c_str());
}

sqlite3_stmt* CTempDatabase::Use(size_t uStatement) {
    if (error.IsError() || uStatement >= listStatements.size()) return nullptr;
    sqlite3_stmt* ptrStatement = listStatements[uStatement].get();
    sqlite3_reset(ptrStatement);
    sqlite3_clear_bindings(ptrStatement);
    return ptrStatement;
}

int CTempDatabase::Step(sqlite3_stmt* ptrStatement, const char* pszWhat) {
    if (ptrStatement == nullptr) return SQLITE_DONE;
    const int nStep = sqlite3_step(ptrStatement);
    if (nStep == SQLITE_ROW || nStep == SQLITE_DONE) return nStep;
    Fail(FX_CODE_LOCATION, pszWhat);
    return SQLITE_DONE;
}

}  // namespace afs_scan
