#include "tools/afs-scan/store/StateLock.h"

#include "host/PrivateFile.h"
#include "host/Sleep.h"

#include <fcntl.h>
#include <sys/file.h>  // flock: released by the kernel when the process dies
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace afs_scan {

CStateLock::~CStateLock() {
    if (nFd >= 0) close(nFd);
}

namespace {

// Often enough that a run waiting for another one starts soon after it.
constexpr long long kPollMilliseconds = 250;

// The process id the holder wrote into the lock file; "unknown" for none.
std::string Holder(int nFd) {
    char buffer[32] = {};
    const ssize_t nRead = pread(nFd, buffer, sizeof(buffer) - 1, 0);
    std::string strHolder(buffer, nRead > 0 ? static_cast<size_t>(nRead) : 0);
    while (!strHolder.empty() && (strHolder.back() == '\n' || strHolder.back() == ' ')) strHolder.pop_back();
    return strHolder.empty() ? "unknown" : strHolder;
}

}  // namespace

CRhError CStateLock::Acquire(const std::string& strStateDir, long long llWaitSeconds,
                             const std::function<void(const std::string& strHolder)>& fnWaiting) {
    const std::string strPath = strStateDir + "/lock";
    // Counted in the sleeps asked for, not on the clock: a test's virtual
    // time waits as long as a real one.
    long long llWaitedMs = 0;
    for (;;) {
        // The holder's id is written into it: a link planted in a shared state
        // folder must not send that write to another file.
        std::string strWhy;
        nFd = afs_private_file::Open(strPath, O_RDWR, strWhy);
        if (nFd < 0) {
            struct stat named {};
            if (lstat(strPath.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
                const char* pszWhat = S_ISDIR(named.st_mode)   ? "a directory"
                                      : S_ISLNK(named.st_mode) ? "a symbolic link"
                                                               : "something else";
                return FXErrorUtil::ErrorInt(
                    FX_CODE_LOCATION, static_cast<int>(kStateLockUnusableCode),
                    "lock file %s is %s, not a regular file: remove it (afs-scan makes the file)",
                    strPath.c_str(), pszWhat);
            }
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "lock file: %s", strWhy.c_str());
        }
        while (flock(nFd, LOCK_EX | LOCK_NB) != 0) {
            const int nError = errno;
            if (nError == EINTR) continue;
            const std::string strHolder = nError == EWOULDBLOCK ? Holder(nFd) : "";
            if (nError != EWOULDBLOCK || llWaitedMs >= llWaitSeconds * 1000) {
                close(nFd);
                nFd = -1;
                if (nError != EWOULDBLOCK) {
                    return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, nError, "cannot lock %s: %s",
                                                 strPath.c_str(), std::strerror(nError));
                }
                return FXErrorUtil::ErrorInt(
                    FX_CODE_LOCATION, static_cast<int>(kStateInUseCode),
                    "state folder %s is in use by another afs-scan run (process %s); "
                    "waited %lld s; wait for it to end or give a longer --lock-wait",
                    strStateDir.c_str(), strHolder.c_str(), llWaitedMs / 1000);
            }
            if (llWaitedMs == 0 && fnWaiting) fnWaiting(strHolder);
            const long long llStep = std::min(kPollMilliseconds, llWaitSeconds * 1000 - llWaitedMs);
            RHSLEEP(static_cast<unsigned int>(llStep));
            llWaitedMs += llStep;
        }
        // A lock file removed or replaced while this run waited (by hand, or
        // by a run that then took the new one) guards nothing: lock the file
        // the path names now.
        struct stat held {};
        struct stat named {};
        if (fstat(nFd, &held) == 0 && lstat(strPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            break;
        close(nFd);
        nFd = -1;
    }
    const std::string strPid = std::to_string(getpid()) + "\n";
    if (ftruncate(nFd, 0) != 0 || pwrite(nFd, strPid.data(), strPid.size(), 0) < 0) {
        // The holder's name is only for the message of a refused run.
    }
    return CRhError::Success();
}

}  // namespace afs_scan
