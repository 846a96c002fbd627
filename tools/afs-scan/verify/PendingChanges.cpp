#include "tools/afs-scan/verify/PendingChanges.h"

#include "tools/afs-scan/store/SqliteText.h"

namespace afs_scan {

namespace {

const char* const kSchema =
    "CREATE TABLE pending (id INTEGER PRIMARY KEY, newer INTEGER, inode INTEGER, type INTEGER, path TEXT,"
    " size INTEGER, mtime INTEGER, is_dir INTEGER);"
    "CREATE INDEX pending_older_inode ON pending(inode) WHERE newer = 0;";

enum EStatement { eInsert, eNewer, eOlderOfInode, eRemove, eOlderLeft };

const std::vector<const char*> kStatements = {
    "INSERT INTO pending (newer, inode, type, path, size, mtime, is_dir) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    "SELECT inode, type, path, size, mtime, is_dir FROM pending WHERE newer = 1 ORDER BY id",
    "SELECT id, path, size, mtime FROM pending WHERE newer = 0 AND inode = ?1 AND type = ?2 LIMIT 1",
    "DELETE FROM pending WHERE id = ?1", "SELECT path, is_dir FROM pending WHERE newer = 0 ORDER BY path"};

}  // namespace

CPendingChanges::CPendingChanges() : ptrDatabase(new CTempDatabase(kSchema, kStatements)) {}

void CPendingChanges::Note(ETreeChange eChange, const TreeEntry& entry) {
    sqlite3_stmt* ptrInsert = ptrDatabase->Use(eInsert);
    if (ptrInsert == nullptr) return;
    sqlite3_bind_int(ptrInsert, 1, eChange == eTreeOnlyNewer ? 1 : 0);
    sqlite3_bind_int64(ptrInsert, 2, static_cast<sqlite3_int64>(entry.ullInode));
    sqlite3_bind_int(ptrInsert, 3, static_cast<int>(entry.uType));
    BindText(ptrInsert, 4, entry.strPath);
    sqlite3_bind_int64(ptrInsert, 5, entry.llSize);
    sqlite3_bind_int64(ptrInsert, 6, entry.llMTimeNs);
    sqlite3_bind_int(ptrInsert, 7, entry.bIsDirectory ? 1 : 0);
    ptrDatabase->Step(ptrInsert, "cannot note an entry");
}

CRhError CPendingChanges::Resolve(const std::function<void(const ShareChange&)>& fnChange) {
    sqlite3_stmt* ptrNewer = ptrDatabase->Use(eNewer);
    while (ptrDatabase->Step(ptrNewer, "cannot read the new entries") == SQLITE_ROW) {
        ShareChange change{eNutanixAFSChangeAdd, ColumnText(ptrNewer, 2), "",
                           sqlite3_column_int(ptrNewer, 5) != 0, false};
        sqlite3_stmt* ptrOlder = ptrDatabase->Use(eOlderOfInode);
        if (ptrOlder == nullptr) break;
        sqlite3_bind_int64(ptrOlder, 1, sqlite3_column_int64(ptrNewer, 0));
        sqlite3_bind_int(ptrOlder, 2, sqlite3_column_int(ptrNewer, 1));
        if (ptrDatabase->Step(ptrOlder, "cannot pair an entry") == SQLITE_ROW) {
            change.eType = eNutanixAFSChangeRename;
            change.strOldPath = ColumnText(ptrOlder, 1);
            change.bContentChanged = sqlite3_column_int64(ptrOlder, 2) != sqlite3_column_int64(ptrNewer, 3) ||
                                     sqlite3_column_int64(ptrOlder, 3) != sqlite3_column_int64(ptrNewer, 4);
            const sqlite3_int64 llPaired = sqlite3_column_int64(ptrOlder, 0);
            sqlite3_stmt* ptrRemove = ptrDatabase->Use(eRemove);
            if (ptrRemove) sqlite3_bind_int64(ptrRemove, 1, llPaired);
            ptrDatabase->Step(ptrRemove, "cannot pair an entry");
        }
        fnChange(change);
    }
    sqlite3_stmt* ptrLeft = ptrDatabase->Use(eOlderLeft);
    while (ptrDatabase->Step(ptrLeft, "cannot read the gone entries") == SQLITE_ROW)
        fnChange({eNutanixAFSChangeDelete, ColumnText(ptrLeft, 0), "", sqlite3_column_int(ptrLeft, 1) != 0,
                  false});
    return ptrDatabase->GetError();
}

}  // namespace afs_scan
