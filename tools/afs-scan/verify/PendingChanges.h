#pragma once

#include <functional>
#include <memory>

#include "host/RhError.h"
#include "tools/afs-scan/store/TempDatabase.h"
#include "tools/afs-scan/verify/ChangeMatcher.h"
#include "tools/afs-scan/verify/TreeDiff.h"

namespace afs_scan {

// The entries only one snapshot tree has, kept until both trees are walked:
// a snapshot keeps a file's inode, so an entry gone from one place and one
// new at another with the same inode and type are one renamed entry. They
// wait in a temporary database (CTempDatabase), so that a rename of a large
// directory does not fill memory. Not thread-safe.
class CPendingChanges {
public:
    CPendingChanges();

    // Notes an eTreeOnlyOlder or eTreeOnlyNewer entry.
    void Note(ETreeChange eChange, const TreeEntry& entry);
    // Hands over each newer entry, in the order noted, as a RENAME (paired
    // with an older entry of its inode and type) or an ADD, then each older
    // entry left as a DELETE, in path order.
    CRhError Resolve(const std::function<void(const ShareChange&)>& fnChange);

private:
    std::unique_ptr<CTempDatabase> ptrDatabase;
};

}  // namespace afs_scan
