#pragma once

#include <sqlite3.h>

#include <cstring>
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

// SQLite's message for the last failure on `ptrDb`; an I/O error also gets
// the system's: "disk I/O error" alone names no cause (a file size limit, a
// failing device, a share gone away).
inline std::string ErrorText(sqlite3* ptrDb) {
    if (ptrDb == nullptr) return "out of memory";
    std::string strText = sqlite3_errmsg(ptrDb);
    const int nErrno = sqlite3_system_errno(ptrDb);
    if ((sqlite3_errcode(ptrDb) & 0xFF) == SQLITE_IOERR && nErrno != 0)
        strText += std::string(" (") + std::strerror(nErrno) + ")";
    return strText;
}

}  // namespace afs_scan
