#pragma once

#include <sqlite3.h>

#include <string>

namespace afs_scan {

// A text column byte for byte; NULL reads as an empty text.
inline std::string ColumnText(sqlite3_stmt* ptrStatement, int nColumn) {
    const unsigned char* pszText = sqlite3_column_text(ptrStatement, nColumn);
    return pszText ? std::string(reinterpret_cast<const char*>(pszText),
                                 static_cast<size_t>(sqlite3_column_bytes(ptrStatement, nColumn)))
                   : std::string();
}

// Binds `strText` without a copy: it must outlive the statement's next step.
// A null statement (one that could not be made) is left alone.
inline void BindText(sqlite3_stmt* ptrStatement, int nParameter, const std::string& strText) {
    if (ptrStatement)
        sqlite3_bind_text(ptrStatement, nParameter, strText.data(), static_cast<int>(strText.size()),
                          SQLITE_STATIC);
}

}  // namespace afs_scan
