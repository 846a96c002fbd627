#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/RhError.h"

namespace afs_scan {

// One entry of a snapshot tree as lstat shows it.
struct TreeEntry {
    std::string strPath;  // relative to the tree's root, '/'-separated, no leading '/'
    bool bIsDirectory = false;
    unsigned uType = 0;  // S_IFMT bits
    unsigned long long ullInode = 0;
    long long llSize = 0;
    long long llMTimeNs = 0;
    long long llCTimeNs = 0;
};

enum ETreeChange {
    eTreeModified,   // the path is in both trees with the same type, and differs
    eTreeOnlyOlder,  // the path is only in the older tree (or has another type there)
    eTreeOnlyNewer,  // the path is only in the newer tree (or has another type there)
};

// Called once per change, parents before children; `older` or `newer` is
// null when the path is not in that tree. A failure it returns ends the walk.
typedef std::function<CRhError(ETreeChange, const TreeEntry* older, const TreeEntry* newer)> FTreeChange;

// Walks two trees (the older and newer snapshot of one share) side by side in
// byte order of names, holding one directory of each tree per level in memory,
// never the whole listing. Symbolic links are compared, never followed; a
// ".snapshot" folder directly below a root is left out.
//
// Same path, same type: a directory differs when its modification time
// differs (its inode, size and change time belong to the file system's
// bookkeeping of its entries, which are compared one by one); any other entry
// differs when its inode, size, modification or change time differ. A path
// whose type changed is gone from the older tree and new in the newer one.
// The entries below a directory that is in one tree only are reported too.
class CTreeDiff {
public:
    CTreeDiff(std::string strOlderRoot, std::string strNewerRoot, FTreeChange fnChange);

    // Compares the entries below `strRelative` ("" for the roots) in both
    // trees; a folder missing in a tree counts as empty there. Stops at the
    // first entry that cannot be read, with an error naming it.
    CRhError Compare(const std::string& strRelative);
    // Entries looked at so far, both trees counted.
    uint64_t EntriesSeen() const { return uEntriesSeen; }
    // Called every 4096 entries, e.g. to draw progress.
    void SetProgress(std::function<void(uint64_t)> fnProgressIn) { fnProgress = std::move(fnProgressIn); }

private:
    CRhError CompareDirectory(const std::string& strRelative, bool bOlder, bool bNewer);
    void Count();

    std::string strOlderRoot;
    std::string strNewerRoot;
    FTreeChange fnChange;
    std::function<void(uint64_t)> fnProgress;
    uint64_t uEntriesSeen = 0;
};

// The relative paths of the directories directly below `strRelative` of the
// tree at `strRoot`, in byte order (links not followed, ".snapshot" directly
// below the root left out).
CRhError ListSubdirectories(const std::string& strRoot, const std::string& strRelative,
                            std::vector<std::string>& listPaths);

}  // namespace afs_scan
