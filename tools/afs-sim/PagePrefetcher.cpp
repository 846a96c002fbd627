#include "tools/afs-sim/PagePrefetcher.h"

#include <charconv>

namespace afs_sim {
namespace {

std::string PageKey(const std::string& strDiffUuid, const std::string& strToken, uint64_t uPageSize) {
    return strDiffUuid + "\n" + strToken + "\n" + std::to_string(uPageSize);
}

// The token of the page after the one at `strToken`; false for the last page
// or a token that is not an offset.
bool NextToken(const DiffSource& source, const std::string& strToken, uint64_t uPageSize,
               std::string& strNext) {
    const uint64_t uCount = source.uEnd - source.uBegin;
    uint64_t uOffset = 0;
    if (!strToken.empty()) {
        auto result = std::from_chars(strToken.data(), strToken.data() + strToken.size(), uOffset);
        if (result.ec != std::errc() || result.ptr != strToken.data() + strToken.size()) return false;
    }
    if (uPageSize == 0 || uOffset >= uCount || uCount - uOffset <= uPageSize) return false;
    strNext = std::to_string(uOffset + uPageSize);
    return true;
}

}  // namespace

std::string CPagePrefetcher::WritePage(const std::string& strDiffUuid, const DiffSource& source,
                                       const std::string& strToken, uint64_t uPageSize,
                                       std::string& strBody) {
    std::future<WrittenPage> prefetched;
    {
        std::lock_guard<std::mutex> lock(mutexPending);
        uLastPageSize = uPageSize;
        auto it = mapPending.find(PageKey(strDiffUuid, strToken, uPageSize));
        if (it != mapPending.end()) {
            prefetched = std::move(it->second);
            mapPending.erase(it);
        }
    }
    std::string strError;
    if (prefetched.valid()) {
        WrittenPage page = prefetched.get();
        strError = std::move(page.strError);
        strBody = std::move(page.strBody);
    } else {
        strError = WriteDiffPage(source, strToken, uPageSize, strBody);
    }

    std::string strNext;
    if (strError.empty() && NextToken(source, strToken, uPageSize, strNext)) {
        Prefetch(strDiffUuid, source, strNext, uPageSize);
    }
    return strError;
}

void CPagePrefetcher::PrefetchFirstPage(const std::string& strDiffUuid, const DiffSource& source,
                                        uint64_t uDefaultPageSize) {
    uint64_t uPageSize = 0;
    {
        std::lock_guard<std::mutex> lock(mutexPending);
        uPageSize = uLastPageSize != 0 ? uLastPageSize : uDefaultPageSize;
    }
    Prefetch(strDiffUuid, source, std::string(), uPageSize);
}

void CPagePrefetcher::Prefetch(const std::string& strDiffUuid, const DiffSource& source,
                               const std::string& strToken, uint64_t uPageSize) {
    std::future<WrittenPage> next = std::async(std::launch::async, [source, strToken, uPageSize] {
        WrittenPage page;
        page.strError = WriteDiffPage(source, strToken, uPageSize, page.strBody);
        return page;
    });
    std::future<WrittenPage> dropped;
    std::lock_guard<std::mutex> lock(mutexPending);
    if (mapPending.size() >= kMaxPending) {
        dropped = std::move(mapPending.begin()->second);  // waited for after the lock is released
        mapPending.erase(mapPending.begin());
    }
    mapPending[PageKey(strDiffUuid, strToken, uPageSize)] = std::move(next);
}

}  // namespace afs_sim
