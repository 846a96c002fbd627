#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace afs_scan {

// The one line on stderr that shows a running job, as restic, borg and
// rclone draw theirs: redrawn every 250 ms by a thread of its own, so the
// elapsed time moves even while no item arrives (the server makes a page,
// or the high-availability wait runs), cut to the terminal's width, and
// left standing with a line end when the job ends. Its figures come from
// the host's progress counters (host/Progress.h) and from the items counted
// here. Lines printed while it stands go through Say(), above it.
class CProgressLine {
public:
    // Whether a job shows the line: not with `bQuiet`, else only when stderr
    // is a terminal or AFS_SCAN_PROGRESS_COLUMNS names a width (a seam for
    // tests, which read stderr from a pipe).
    static bool Wanted(bool bQuiet);
    // Starts drawing at once, "job N: S s" until a share begins.
    explicit CProgressLine(long long llJobId);
    // A line of another command (verify's walk): `fnText` gives its text at
    // every redraw and at the end, failed or not; called under the line's
    // lock, so it only reads counters.
    explicit CProgressLine(std::function<std::string()> fnText);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    void BeginShare(const std::string& strShare);
    // The items of the current share so far; cheap enough for every item.
    void SetItems(long long llItems) { llShareItems.store(llItems, std::memory_order_relaxed); }
    // Stops the timer and leaves the last state standing, then a line end;
    // after a failure the current share's figures are no result, so it says
    // "failed after N items (nothing stored)". Later calls do nothing.
    void Finish(bool bFailed);

    // Prints "afs-scan: TEXT" on stderr above the line standing, if any.
    static void Say(const std::string& strText);

private:
    CProgressLine(long long llJobId, std::function<std::string()> fnText);
    std::string Text(bool bFailed) const;
    // Draws `strText` cut to the width over the line drawn last. Holds mutexLine.
    void Draw(const std::string& strText);
    // Blanks the line drawn last. Holds mutexLine.
    void Erase();
    void Run();

    long long llJobId;
    std::function<std::string()> fnText;  // empty for a scan job's line
    size_t uColumns;
    std::atomic<long long> llShareItems{0};
    std::mutex mutexLine;  // the terminal line and the fields below
    std::condition_variable condStop;
    bool bStop = false;
    bool bFinished = false;
    std::string strShare;
    unsigned long long ullPagesBefore = 0;
    std::chrono::steady_clock::time_point timeStart;
    size_t uDrawn = 0;  // columns of the line drawn last
    std::thread thread;
};

}  // namespace afs_scan
