#include "tools/afs-scan/verify/ReportedItems.h"

#include "tools/afs-scan/store/SqliteText.h"

namespace afs_scan {

namespace {

// Change types as NutanixAFSChangeType numbers: 1 ADD, 2 MODIFY, 3 RENAME, 4 DELETE.
const char* const kSchema =
    "CREATE TABLE reported (id INTEGER PRIMARY KEY, type INTEGER, path TEXT, old_path TEXT, is_dir INTEGER,"
    " used INTEGER DEFAULT 0);"
    "CREATE INDEX reported_path ON reported(path);"
    "CREATE INDEX reported_old_path ON reported(old_path);";

enum EStatement { eInsert, eNewSide, eDeleted, eRenamedFrom, eMarkUsed, eUnused };

const std::vector<const char*> kStatements = {
    "INSERT INTO reported (type, path, old_path, is_dir) VALUES (?1, ?2, ?3, ?4)",
    "SELECT id, path FROM reported WHERE path = ?1 AND type IN (1, 2, 3) LIMIT 1",
    "SELECT id, path FROM reported WHERE path = ?1 AND type = 4 LIMIT 1",
    "SELECT id, path FROM reported WHERE old_path = ?1 AND type = 3 LIMIT 1",
    "UPDATE reported SET used = 1 WHERE id = ?1",
    "SELECT type, path, old_path, is_dir FROM reported WHERE used = 0 ORDER BY id"};

}  // namespace

CReportedItems::CReportedItems() : ptrDatabase(new CTempDatabase(kSchema, kStatements)) {}

CReportedItems::~CReportedItems() = default;

const CRhError& CReportedItems::GetError() const { return ptrDatabase->GetError(); }

void CReportedItems::Add(const ShareChange& item) {
    sqlite3_stmt* ptrInsert = ptrDatabase->Use(eInsert);
    if (ptrInsert == nullptr) return;
    sqlite3_bind_int(ptrInsert, 1, static_cast<int>(item.eType));
    BindText(ptrInsert, 2, item.strPath);
    if (item.eType == eNutanixAFSChangeRename) BindText(ptrInsert, 3, item.strOldPath);
    sqlite3_bind_int(ptrInsert, 4, item.bIsDirectory ? 1 : 0);
    ptrDatabase->Step(ptrInsert, "cannot insert an item");
    ++uCount;
}

long long CReportedItems::FindId(int nStatement, const std::string& strPath, std::string* ptrNewPath) {
    sqlite3_stmt* ptrSelect = ptrDatabase->Use(static_cast<size_t>(nStatement));
    BindText(ptrSelect, 1, strPath);
    if (ptrDatabase->Step(ptrSelect, "cannot look an item up") != SQLITE_ROW) return 0;
    if (ptrNewPath) *ptrNewPath = ColumnText(ptrSelect, 1);
    return sqlite3_column_int64(ptrSelect, 0);
}

long long CReportedItems::FindNewSide(const std::string& strPath) {
    return FindId(eNewSide, strPath, nullptr);
}

long long CReportedItems::FindOldSide(const std::string& strPath) {
    const long long llId = FindId(eDeleted, strPath, nullptr);
    return llId != 0 ? llId : FindId(eRenamedFrom, strPath, nullptr);
}

long long CReportedItems::FindRenameFrom(const std::string& strOldPath, std::string& strNewPath) {
    return FindId(eRenamedFrom, strOldPath, &strNewPath);
}

void CReportedItems::MarkUsed(long long llId) {
    sqlite3_stmt* ptrUpdate = ptrDatabase->Use(eMarkUsed);
    if (ptrUpdate) sqlite3_bind_int64(ptrUpdate, 1, llId);
    ptrDatabase->Step(ptrUpdate, "cannot mark an item");
}

void CReportedItems::ForEachUnused(const std::function<void(const ShareChange&)>& fnItem) {
    sqlite3_stmt* ptrSelect = ptrDatabase->Use(eUnused);
    while (ptrDatabase->Step(ptrSelect, "cannot read the items") == SQLITE_ROW) {
        ShareChange item;
        item.eType = static_cast<NutanixAFSChangeType>(sqlite3_column_int(ptrSelect, 0));
        item.strPath = ColumnText(ptrSelect, 1);
        item.strOldPath = ColumnText(ptrSelect, 2);
        item.bIsDirectory = sqlite3_column_int(ptrSelect, 3) != 0;
        fnItem(item);
    }
}

}  // namespace afs_scan
