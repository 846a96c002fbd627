#pragma once

#include <cstdint>
#include <vector>

#include "tools/afs-scan/ScanDatabase.h"

// Tells whether an item may have been seen before in the same share: a file
// server that lists one change twice must not get it stored twice. The
// answer "no" is exact; "maybe" is also given for a different item whose
// 64-bit hash happens to match, so a caller that wants exactness settles a
// "maybe" with the rows themselves (CScanDatabase::RemoveRepeatedRows).
// Holds 8 bytes per item in a table of twice the items at most.
class CRepeatFilter {
public:
    // True when an item with the same path, old path, change type and kind
    // may have been noted since the last Clear; notes `item` either way.
    bool Note(const ScanItem& item);
    void Clear();

private:
    void Grow();

    std::vector<uint64_t> listSlots;  // 0: empty
    size_t uUsed = 0;
};
