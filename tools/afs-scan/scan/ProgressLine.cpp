#include "tools/afs-scan/scan/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host/Progress.h"
#include "tools/common/Cli.h"

namespace afs_scan {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
const char kColumnsSeam[] = "AFS_SCAN_PROGRESS_COLUMNS";

// The line shown now; Say() writes above it.
std::mutex g_mutexShown;
CProgressLine* g_ptrShown = nullptr;

size_t NumberOf(const char* pszText) {
    if (pszText == nullptr || *pszText == '\0') return 0;
    char* pszEnd = nullptr;
    const unsigned long ulValue = std::strtoul(pszText, &pszEnd, 10);
    return *pszEnd == '\0' ? ulValue : 0;
}

size_t TerminalColumns() {
    if (const size_t uSeam = NumberOf(std::getenv(kColumnsSeam))) return uSeam;
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const size_t uColumns = NumberOf(std::getenv("COLUMNS"))) return uColumns;
    return 80;
}

std::string Format(const char* pszFormat, double dFirst, double dSecond = 0) {
    char szBuffer[64];
    std::snprintf(szBuffer, sizeof(szBuffer), pszFormat, dFirst, dSecond);
    return szBuffer;
}

// The first `uColumns` characters of UTF-8 `strText`: a continuation byte
// takes no column of its own.
std::string Cut(const std::string& strText, size_t uColumns, size_t& uUsed) {
    uUsed = 0;
    size_t uAt = 0;
    for (; uAt < strText.size(); ++uAt) {
        if ((static_cast<unsigned char>(strText[uAt]) & 0xC0) == 0x80) continue;
        if (uUsed == uColumns) break;
        ++uUsed;
    }
    return strText.substr(0, uAt);
}

}  // namespace

bool CProgressLine::Wanted(bool bQuiet) {
    return !bQuiet && (isatty(STDERR_FILENO) == 1 || NumberOf(std::getenv(kColumnsSeam)) != 0);
}

CProgressLine::CProgressLine(long long llJobIdIn) : CProgressLine(llJobIdIn, {}) {}

CProgressLine::CProgressLine(std::function<std::string()> fnTextIn) : CProgressLine(0, std::move(fnTextIn)) {}

CProgressLine::CProgressLine(long long llJobIdIn, std::function<std::string()> fnTextIn)
    : llJobId(llJobIdIn),
      fnText(std::move(fnTextIn)),
      uColumns(TerminalColumns()),
      timeStart(std::chrono::steady_clock::now()) {
    {
        std::lock_guard<std::mutex> lockShown(g_mutexShown);
        g_ptrShown = this;
        std::lock_guard<std::mutex> lock(mutexLine);
        Draw(Text(false));
    }
    thread = std::thread([this] { Run(); });
}

CProgressLine::~CProgressLine() { Finish(false); }

void CProgressLine::BeginShare(const std::string& strShareIn) {
    std::lock_guard<std::mutex> lock(mutexLine);
    strShare = strShareIn;
    llShareItems = 0;
    ullPagesBefore = GetProgress(eProgressPagesFetched);
    timeStart = std::chrono::steady_clock::now();
}

void CProgressLine::Finish(bool bFailed) {
    {
        std::lock_guard<std::mutex> lock(mutexLine);
        if (bFinished) return;
        bFinished = bStop = true;
    }
    condStop.notify_all();
    thread.join();
    std::lock_guard<std::mutex> lockShown(g_mutexShown);
    g_ptrShown = nullptr;
    std::lock_guard<std::mutex> lock(mutexLine);
    Draw(Text(bFailed));
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void CProgressLine::Say(const std::string& strText) {
    std::lock_guard<std::mutex> lockShown(g_mutexShown);
    if (g_ptrShown == nullptr) return afs_cli::Say(strText);
    std::lock_guard<std::mutex> lock(g_ptrShown->mutexLine);
    g_ptrShown->Erase();
    afs_cli::Say(strText);
    g_ptrShown->Draw(g_ptrShown->Text(false));
}

std::string CProgressLine::Text(bool bFailed) const {
    if (fnText) return fnText();
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - timeStart).count();
    const long long llItems = llShareItems.load(std::memory_order_relaxed);
    std::string strText;
    if (strShare.empty()) {
        strText = "job " + std::to_string(llJobId) + ": " + Format("%.1f s", dSeconds);
    } else if (bFailed) {
        strText =
            "share " + strShare + ": failed after " + std::to_string(llItems) + " items (nothing stored)";
    } else {
        strText = "share " + strShare + ": " + std::to_string(llItems) + " items, " +
                  Format("%.0f items/s, ", dSeconds > 0 ? llItems / dSeconds : 0.0) +
                  std::to_string(GetProgress(eProgressPagesFetched) - ullPagesBefore) + " pages, " +
                  Format("%.1f s", dSeconds);
    }
    if (bFailed) return strText;
    if (const unsigned long long ullPage = GetProgress(eProgressPageWaited)) {
        strText += ", waiting for page " + std::to_string(ullPage) + ", re-request " +
                   std::to_string(GetProgress(eProgressPageRequests));
    }
    if (const unsigned long long ullLimitMs = GetProgress(eProgressHaLimitMs)) {
        strText += Format(", server unavailable: retrying, %.0f s of %.0f s",
                          GetProgress(eProgressHaWaitedMs) / 1000.0, ullLimitMs / 1000.0);
    }
    return strText;
}

void CProgressLine::Draw(const std::string& strText) {
    // One column stays free: a terminal that wraps at the last one would
    // leave a carriage return on the next line.
    size_t uUsed = 0;
    std::string strLine = "\r" + Cut(strText, uColumns > 1 ? uColumns - 1 : 1, uUsed);
    if (uUsed < uDrawn) strLine.append(uDrawn - uUsed, ' ');
    uDrawn = uUsed;
    std::fputs(strLine.c_str(), stderr);
    std::fflush(stderr);
}

void CProgressLine::Erase() {
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(uDrawn), "");
    uDrawn = 0;
}

void CProgressLine::Run() {
    std::unique_lock<std::mutex> lock(mutexLine);
    while (!condStop.wait_for(lock, kRedrawInterval, [this] { return bStop; })) Draw(Text(false));
}

}  // namespace afs_scan
