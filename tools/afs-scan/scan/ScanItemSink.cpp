#include "tools/afs-scan/scan/ScanItemSink.h"

#include <cstdio>

#include "host/LogWriter.h"
#include "host/Progress.h"
#include "tools/afs-scan/cli/Interrupt.h"

namespace afs_scan {

namespace {
constexpr auto kLogProgressInterval = std::chrono::seconds(10);
}  // namespace

CScanItemSink::CScanItemSink(CScanWriter& writerIn, CItemOutput& outputIn, long long llJobIdIn,
                             bool bProgressIn)
    : writer(writerIn),
      output(outputIn),
      llJobId(llJobIdIn),
      ptrProgress(bProgressIn ? new CProgressLine(llJobIdIn) : nullptr),
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

void CScanItemSink::BeginShare(const std::string& strShareIn) {
    arrShareCounts = {};
    llShareItems = 0;
    repeats.Clear();
    strShare = strShareIn;
    ullPagesBefore = GetProgress(eProgressPagesFetched);
    if (ptrProgress) ptrProgress->BeginShare(strShare);
    timeStart = timeLastProgress = std::chrono::steady_clock::now();
}

CRhError CScanItemSink::Add(const ScanItem& itemIn) {
    // Stops the plug-in's loading at the next item once the user asked to stop.
    if (InterruptSignal() != 0) return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "interrupted");
    CRhError error = writer.Add(itemIn);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    output.Write(llJobId, itemIn);
    repeats.Note(itemIn);
    const int nType = static_cast<int>(itemIn.eChangeType);
    const size_t uIndex = nType >= 0 && nType < static_cast<int>(arrShareCounts.size()) ? nType : 0;
    ++arrShareCounts[uIndex];
    ++arrJobCounts[uIndex];
    // The clock is read every 256 items: a million items would otherwise
    // pay a million clock reads for a few lines of progress.
    ++llShareItems;
    if (ptrProgress) {
        ptrProgress->SetItems(llShareItems);
    } else if ((llShareItems & 255) == 0) {
        ShowProgress();
    }
    return CRhError::Success();
}

void CScanItemSink::SetShareCounts(const ChangeCounts& arrCounts) {
    for (size_t i = 0; i < arrCounts.size(); ++i) arrJobCounts[i] += arrCounts[i] - arrShareCounts[i];
    arrShareCounts = arrCounts;
}

void CScanItemSink::ForgetShareItems() {
    SetShareCounts({});
    repeats.Clear();
}

void CScanItemSink::ShowProgress() {
    const auto now = std::chrono::steady_clock::now();
    if (now - timeLastProgress < kLogProgressInterval) return;
    timeLastProgress = now;
    const double dSeconds = std::chrono::duration<double>(now - timeStart).count();
    const double dRate = dSeconds > 0 ? llShareItems / dSeconds : 0.0;
    HOST_LOG(0, "progress: share %s: %lld items, %.0f items/s, %llu pages, %.1f s", strShare.c_str(),
             llShareItems, dRate, GetProgress(eProgressPagesFetched) - ullPagesBefore, dSeconds);
}

void CScanItemSink::EndProgress(bool bFailed) {
    if (ptrProgress) ptrProgress->Finish(bFailed);
}

}  // namespace afs_scan
