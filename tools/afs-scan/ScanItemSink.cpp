#include "tools/afs-scan/ScanItemSink.h"

#include <cstdio>

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
}  // namespace

CScanItemSink::CScanItemSink(CScanWriter& writerIn, CItemOutput& outputIn, long long llJobIdIn,
                             bool bProgressIn)
    : writer(writerIn),
      output(outputIn),
      llJobId(llJobIdIn),
      bProgress(bProgressIn),
      timeStart(std::chrono::steady_clock::now()),
      timeLastProgress(timeStart) {}

CRhError CScanItemSink::ItemCallBack(std::string& path, const std::string& oldPath,
                                     NutanixAFSChangeType changeType, const struct stat& attributes,
                                     bool bIsDirectory) {
    item.strPath = path;
    item.strOldPath = oldPath;
    item.eChangeType = changeType;
    item.bIsDirectory = bIsDirectory;
    item.llSize = static_cast<long long>(attributes.st_size);
    item.llInode = static_cast<long long>(attributes.st_ino);
    item.llATime = static_cast<long long>(attributes.st_atim.tv_sec);
    item.llMTime = static_cast<long long>(attributes.st_mtim.tv_sec);
    item.llCTime = static_cast<long long>(attributes.st_ctim.tv_sec);
    return Add(item);
}

CRhError CScanItemSink::Add(const ScanItem& itemIn) {
    CRhError error = writer.Add(itemIn);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    output.Write(llJobId, itemIn);
    const int nType = static_cast<int>(itemIn.eChangeType);
    const size_t uIndex = nType >= 0 && nType < static_cast<int>(arrShareCounts.size()) ? nType : 0;
    ++arrShareCounts[uIndex];
    ++arrJobCounts[uIndex];
    ++llJobItems;
    if (bProgress) ShowProgress();
    return CRhError::Success();
}

void CScanItemSink::ShowProgress() {
    const auto now = std::chrono::steady_clock::now();
    if (now - timeLastProgress < kProgressInterval) return;
    timeLastProgress = now;
    const double dSeconds = std::chrono::duration<double>(now - timeStart).count();
    std::fprintf(stderr, "\r%lld items, %.0f items/s   ", llJobItems,
                 dSeconds > 0 ? llJobItems / dSeconds : 0.0);
    std::fflush(stderr);
    bProgressShown = true;
}

void CScanItemSink::EndProgress() {
    if (!bProgressShown) return;
    std::fputc('\n', stderr);
    bProgressShown = false;
}
