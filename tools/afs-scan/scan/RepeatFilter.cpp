#include "tools/afs-scan/scan/RepeatFilter.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace afs_scan {

namespace {

uint64_t HashOf(const ScanItem& item) {
    constexpr uint64_t kMix = 0x9E3779B97F4A7C15ULL;
    const std::hash<std::string_view> hashText;
    uint64_t ullHash = hashText(item.strPath);
    ullHash = ullHash * kMix ^ hashText(item.strOldPath);
    return ullHash * kMix ^ (static_cast<uint64_t>(item.eChangeType) << 1 | (item.bIsDirectory ? 1 : 0));
}

}  // namespace

// A set would cost five times the memory; sorting once at the end of a
// share is cheap beside storing its rows.
void CRepeatFilter::Note(const ScanItem& item) { listHashes.push_back(HashOf(item)); }

bool CRepeatFilter::MayRepeat() {
    std::sort(listHashes.begin(), listHashes.end());
    return std::adjacent_find(listHashes.begin(), listHashes.end()) != listHashes.end();
}

void CRepeatFilter::Clear() {
    listHashes.clear();
    listHashes.shrink_to_fit();
}

}  // namespace afs_scan
