#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/RhError.h"
#include "tools/afs-scan/store/TempDatabase.h"
#include "tools/afs-scan/verify/ChangeMatcher.h"

namespace afs_scan {

// The items a job reported for one share, indexed by the path each side
// names, in a temporary database (CTempDatabase): memory stays within a small
// page cache however many items the job holds. Lookups after a failure find
// nothing; the first failure is kept in GetError().
// Not thread-safe.
class CReportedItems {
public:
    CReportedItems();
    ~CReportedItems();
    CReportedItems(const CReportedItems&) = delete;
    CReportedItems& operator=(const CReportedItems&) = delete;

    void Add(const ShareChange& item);
    // Ids of 0 mean "none". New side: an ADD, MODIFY or RENAME at the path.
    long long FindNewSide(const std::string& strPath);
    // Old side: a DELETE of the path, or a RENAME away from it.
    long long FindOldSide(const std::string& strPath);
    // A RENAME away from the path; fills its newer path.
    long long FindRenameFrom(const std::string& strOldPath, std::string& strNewPath);
    void MarkUsed(long long llId);
    // The items never marked used, in the order they were added.
    void ForEachUnused(const std::function<void(const ShareChange&)>& fnItem);

    size_t Count() const { return uCount; }
    const CRhError& GetError() const;

private:
    long long FindId(int nStatement, const std::string& strPath, std::string* ptrNewPath);

    std::unique_ptr<CTempDatabase> ptrDatabase;
    size_t uCount = 0;
};

}  // namespace afs_scan
