#pragma once

// Writes the difference page after the one just served on another thread, so
// that a client reading pages in order finds it ready and the simulator's work
// overlaps the client's. A real file server prepares pages ahead as well
// (should_retry_page exists for when it has not finished). Thread-safe.

#include <cstdint>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include "tools/afs-sim/DiffStore.h"

namespace afs_sim {

class CPagePrefetcher {
public:
    CPagePrefetcher() = default;
    // Waits for pages still being written.
    ~CPagePrefetcher() = default;
    CPagePrefetcher(const CPagePrefetcher&) = delete;
    CPagePrefetcher& operator=(const CPagePrefetcher&) = delete;

    // Same contract as WriteDiffPage; the page comes from a prefetch when one
    // was made for exactly this difference, token and size.
    std::string WritePage(const std::string& strDiffUuid, const DiffSource& source,
                          const std::string& strToken, uint64_t uPageSize, std::string& strBody);
    // Starts writing the first page of a new difference, in the page size the
    // last page request asked for (`uDefaultPageSize` before any).
    void PrefetchFirstPage(const std::string& strDiffUuid, const DiffSource& source,
                           uint64_t uDefaultPageSize);

private:
    struct WrittenPage {
        std::string strError;
        std::string strBody;
    };
    static constexpr size_t kMaxPending = 8;  // pages nobody asked for are dropped

    void Prefetch(const std::string& strDiffUuid, const DiffSource& source, const std::string& strToken,
                  uint64_t uPageSize);

    std::mutex mutexPending;
    uint64_t uLastPageSize = 0;
    std::map<std::string, std::future<WrittenPage>> mapPending;  // uuid, token, size -> page
};

}  // namespace afs_sim
