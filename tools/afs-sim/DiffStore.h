#pragma once

// Differences computed by incremental_diff requests, kept in memory so that
// their pages can be fetched by difference UUID. Thread-safe.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/afs-sim/DiffEngine.h"

namespace afs_sim {

// What one difference UUID serves: objects [uBegin, uEnd) of a computed
// difference, or of the synthetic sequence when ptrObjects is null.
struct DiffSource {
    std::shared_ptr<const std::vector<DiffObject>> ptrObjects;
    std::string strNewerName;
    std::string strOlderName;
    uint64_t uBegin = 0;
    uint64_t uEnd = 0;
};

class CDiffStore {
public:
    // Spreads `uCount` objects over UUIDs of at most `uObjectsPerDiff` objects
    // each (one UUID when there are none) and returns the UUIDs in order.
    // `ptrObjects` null means a synthetic difference of `uCount` objects.
    std::vector<std::string> Add(std::shared_ptr<const std::vector<DiffObject>> ptrObjects, uint64_t uCount,
                                 const std::string& strNewerName, const std::string& strOlderName,
                                 uint64_t uObjectsPerDiff);

    bool Find(const std::string& strUuid, DiffSource& source) const;
    void Clear();

private:
    mutable std::mutex mutex;
    std::map<std::string, DiffSource> mapSources;
};

// Writes the page of `source` that starts at `strToken` (empty: the first
// page) with at most `uPageSize` objects. Tokens are the decimal offset of the
// page within the difference. Returns an empty text on success, else why the
// token is not valid.
std::string WriteDiffPage(const DiffSource& source, const std::string& strToken, uint64_t uPageSize,
                          std::string& strBody);

// A page that is not ready yet: no objects, same token again.
std::string RetryPageBody(const std::string& strToken);

}  // namespace afs_sim
