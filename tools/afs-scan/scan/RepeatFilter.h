#pragma once

#include <cstdint>
#include <vector>

#include "tools/afs-scan/store/ScanDatabase.h"

namespace afs_scan {

// Tells whether a share's items may hold one item twice: a file server that
// lists a change twice must not get it stored twice. "No" is exact; "maybe"
// also comes for two items whose 64-bit hashes happen to match, so a caller
// settles a "maybe" with the rows themselves (CScanDatabase::
// RemoveRepeatedRows). Holds 8 bytes per item noted since the last Clear.
class CRepeatFilter {
public:
    // Notes an item by its path, old path, change type and kind.
    void Note(const ScanItem& item);
    // True when two of the items noted may be the same; sorts the notes.
    bool MayRepeat();
    void Clear();

private:
    std::vector<uint64_t> listHashes;
};

}  // namespace afs_scan
