#include "tools/afs-scan/RepeatFilter.h"

#include <functional>
#include <string_view>

namespace {

constexpr size_t kFirstSlots = 1024;

uint64_t HashOf(const ScanItem& item) {
    const std::hash<std::string_view> hashText;
    uint64_t ullHash = hashText(item.strPath);
    ullHash = ullHash * 0x9E3779B97F4A7C15ULL ^ hashText(item.strOldPath);
    ullHash =
        ullHash * 0x9E3779B97F4A7C15ULL ^ (static_cast<uint64_t>(item.eChangeType) << 1 | item.bIsDirectory);
    return ullHash == 0 ? 1 : ullHash;
}

// Open addressing with linear probing; true when `ullHash` was there.
bool Insert(std::vector<uint64_t>& listSlots, uint64_t ullHash) {
    const size_t uMask = listSlots.size() - 1;
    for (size_t uAt = static_cast<size_t>(ullHash) & uMask;; uAt = (uAt + 1) & uMask) {
        if (listSlots[uAt] == ullHash) return true;
        if (listSlots[uAt] == 0) {
            listSlots[uAt] = ullHash;
            return false;
        }
    }
}

}  // namespace

bool CRepeatFilter::Note(const ScanItem& item) {
    if ((uUsed + 1) * 2 > listSlots.size()) Grow();
    const bool bSeen = Insert(listSlots, HashOf(item));
    if (!bSeen) ++uUsed;
    return bSeen;
}

void CRepeatFilter::Clear() {
    listSlots.clear();
    listSlots.shrink_to_fit();
    uUsed = 0;
}

void CRepeatFilter::Grow() {
    std::vector<uint64_t> listOld;
    listOld.swap(listSlots);
    listSlots.assign(listOld.empty() ? kFirstSlots : listOld.size() * 2, 0);
    for (uint64_t ullHash : listOld) {
        if (ullHash != 0) Insert(listSlots, ullHash);
    }
}
