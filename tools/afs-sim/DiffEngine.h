#pragma once

// Compares two manifests of one share the way the file server reports an
// incremental difference.

#include <string>
#include <vector>

#include "tools/afs-sim/Manifest.h"

namespace afs_sim {

enum class EOperation { eAdd, eModify, eRename, eDelete };

struct DiffObject {
    EOperation eOperation = EOperation::eAdd;
    // Attributes of the newer entry; of the older one for eDelete.
    ManifestEntry entry;
    std::string strOldPath;  // relative path in the older snapshot, eRename only
};

struct DiffFilter {
    std::string strPathPrefix;  // "/docs" keeps "docs" and what is below it; empty keeps all
    bool bOnlyType = false;
    EObjectType eType = EObjectType::eFile;
};

// Rules, in this order:
//  - a path in both manifests with the same type is eModify when the inode,
//    size, modification or change time differ (a file replaced by another at
//    the same path is a change of that path), else unchanged;
//  - an entry left over in the newer manifest whose inode is left over in the
//    older one with the same type (and the same birth time, where known: an
//    inode number freed by a deletion is often reused) is eRename;
//  - what is left over is eAdd (newer) or eDelete (older).
// The result lists deletions first (in older path order), then the rest in
// newer path order, so that a consumer never sees a path added before the
// old entry at that path went away.
std::vector<DiffObject> ComputeDifference(const Manifest& older, const Manifest& newer,
                                          const DiffFilter& filter);

// What a faulty file server would do to a computed difference: leave out
// object number uDropObject (counted from 1; 0 leaves all), report renames
// without their old path, and leave out the additions whose parent
// directory is added by the same difference.
void LeaveOutChanges(std::vector<DiffObject>& listObjects, uint64_t uDropObject, bool bRenameWithoutOldPath,
                     bool bOmitNewChildren);

// What a server that names items oddly adds to a computed difference:
// uOddPaths 4 a MODIFY of the share root (a directory with the empty path)
// right after the deletions, 5 every object twice in a row, 6 two ADDs at the
// end whose names no file system holds (kLoneSurrogateMark, which the page
// writer replaces, and an 86-character CJK name); else nothing.
void AddOddObjects(std::vector<DiffObject>& listObjects, uint64_t uOddPaths);
constexpr const char* kLoneSurrogateMark = "odd-lone-surrogate";

}  // namespace afs_sim
