#pragma once

#include <chrono>
#include <memory>

#include "host/NutanixAFSManagerBase.h"
#include "tools/afs-scan/scan/ItemOutput.h"
#include "tools/afs-scan/scan/ProgressLine.h"
#include "tools/afs-scan/scan/RepeatFilter.h"
#include "tools/afs-scan/store/ScanWriter.h"

namespace afs_scan {

// The host's scan database as the plug-in sees it: every item goes to the
// writer of the job's SQLite database and, when asked, to the item output.
// Keeps the counts of the current share (ResetShareCounts) and of the whole
// job. The writer and output must outlive the sink. When bProgress, a
// progress line on stderr (CProgressLine: share, items, items/s, difference
// pages, elapsed time, what the server keeps the job waiting for) is redrawn
// from the start; otherwise the same goes to the log every ten seconds.
class CScanItemSink : public CNutanixDBHelper {
public:
    CScanItemSink(CScanWriter& writer, CItemOutput& output, long long llJobId, bool bProgress);

    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat& attributes, bool bIsDirectory) override;
    // The same, for items the host produces itself (full listings).
    CRhError Add(const ScanItem& item);

    // Starts the counts of the share `strShare` (as the progress names it).
    void BeginShare(const std::string& strShare);
    const ChangeCounts& GetShareCounts() const { return arrShareCounts; }
    // Replaces the current share's counts (after its rows were withdrawn or
    // its repeats removed), and the job's with them.
    void SetShareCounts(const ChangeCounts& arrCounts);
    // The current share's items were withdrawn: its counts go, and its
    // repeats are looked for afresh.
    void ForgetShareItems();
    // True when the current share may have repeated an item (see CRepeatFilter).
    bool MayHaveRepeats() { return repeats.MayRepeat(); }
    const ChangeCounts& GetJobCounts() const { return arrJobCounts; }
    // Ends the progress line, if one is drawn; `bFailed`: the job failed,
    // so the current share's figures are no result.
    void EndProgress(bool bFailed);

private:
    void ShowProgress();

    CScanWriter& writer;
    CItemOutput& output;
    long long llJobId;
    std::unique_ptr<CProgressLine> ptrProgress;  // null: the progress goes to the log
    CRepeatFilter repeats;
    ChangeCounts arrShareCounts{};
    ChangeCounts arrJobCounts{};
    long long llShareItems = 0;
    std::string strShare;
    unsigned long long ullPagesBefore = 0;  // difference pages fetched before this share
    std::chrono::steady_clock::time_point timeStart;
    std::chrono::steady_clock::time_point timeLastProgress;
    ScanItem item;  // reused: spares an allocation per item
};

}  // namespace afs_scan
