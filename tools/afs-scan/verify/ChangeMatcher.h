#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"

namespace afs_scan {

class CReportedItems;

// A change of a share between two snapshots, or an item a job reported;
// paths relative to the share root ('/'-separated, no leading '/').
struct ShareChange {
    NutanixAFSChangeType eType = eNutanixAFSChangeOther;
    std::string strPath;     // the newer path; the older one for a DELETE; "." is the share root
    std::string strOldPath;  // RENAME only
    bool bIsDirectory = false;
    bool bContentChanged = false;  // true changes, RENAME only: size or modification time differ too
};

enum EFindingKind {
    eFindingMissing,  // a change the job did not report
    eFindingWrong,    // a reported item the newer snapshot contradicts (e.g. DELETE of a path that is there)
    eFindingExtra,    // a reported change that is not one
};

struct Finding {
    EFindingKind eKind = eFindingMissing;
    ShareChange change;  // the true change (missing) or the reported item (wrong, extra)
};

const char* FindingKindName(EFindingKind eKind);

// What one snapshot tree holds at a share-relative path, as lstat shows it.
struct PathState {
    bool bExists = false;
    bool bIsDirectory = false;
    unsigned long long ullInode = 0;
};

// Looks a share-relative path up in the older (bNewer false) or the newer tree.
typedef std::function<PathState(const std::string& strPath, bool bNewer)> FLookUpPath;

// Tells which true changes the reported items cover. The rules (also in the
// afs-scan documentation):
//  - ADD or MODIFY of X: covered by an ADD, MODIFY or RENAME reported at X
//    (any of them makes the host read X); the entries of a new directory are
//    true changes of their own;
//  - DELETE of Y: covered by a DELETE of Y, a RENAME away from Y, or a
//    DELETE or RENAME away from a directory above Y;
//  - RENAME of Y to X: covered by that RENAME, or by X covered as added and Y
//    as deleted (ADD + DELETE is equivalent); when only the name changed, X
//    is also covered by a RENAME of a directory above it that carries Y along
//    (a directory rename reported once for the directory, or once per entry).
// A reported item the trees contradict (`fnLookUp`) is wrong and covers
// nothing: one naming the share root, its .snapshot folder or a path with an
// empty, "." or ".." part; an ADD, MODIFY or RENAME whose path the newer tree
// lacks or has as another kind; a DELETE or RENAME away from a path the older
// tree has as another kind, or that the newer tree still has and that was not
// replaced (the older tree lacks it, or has it with the same inode and kind).
// Reported items no true change used are extras, except a DELETE of a
// replaced path: it is the half of the replacement the host needs. The
// reported items wait in a temporary database on disk (CReportedItems), not
// in memory; the contradicted ones (findings already) in memory.
class CChangeMatcher {
public:
    explicit CChangeMatcher(FLookUpPath fnLookUp);
    ~CChangeMatcher();

    void AddReported(const ShareChange& item);
    // Returns false (and records the miss) when the change is not covered.
    bool AddTrue(const ShareChange& change);
    // Appends the contradicted items, then the others no true change used;
    // `fnInScope` picks the ones that belong to what was compared.
    void FinishUnused(const std::function<bool(const ShareChange&)>& fnInScope);

    const std::vector<Finding>& GetFindings() const { return listFindings; }
    // Every item AddReported was given, the contradicted ones included.
    size_t ReportedCount() const { return uReported; }
    // The first failure of the item index; the findings are incomplete then.
    const CRhError& GetError() const;

private:
    bool CoverNewSide(const std::string& strPath);
    bool CoverOldSide(const std::string& strPath);
    bool RenamedAlongWithParent(const std::string& strPath, const std::string& strOldPath);
    bool Contradicted(const ShareChange& item) const;

    FLookUpPath fnLookUp;
    std::unique_ptr<CReportedItems> ptrReported;
    std::vector<Finding> listFindings;
    std::vector<ShareChange> listContradicted;
    size_t uReported = 0;
};

}  // namespace afs_scan
