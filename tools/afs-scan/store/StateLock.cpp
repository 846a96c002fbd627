#include "tools/afs-scan/store/StateLock.h"

#include "host/PrivateFile.h"

#include <fcntl.h>
#include <sys/file.h>  // flock: released by the kernel when the process dies
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace afs_scan {

CStateLock::~CStateLock() {
    if (nFd >= 0) close(nFd);
}

CRhError CStateLock::Acquire(const std::string& strStateDir) {
    const std::string strPath = strStateDir + "/lock";
    // The holder's id is written into it: a link planted in a shared state
    // folder must not send that write to another file.
    std::string strWhy;
    nFd = afs_private_file::Open(strPath, O_RDWR, strWhy);
    if (nFd < 0) return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "lock file: %s", strWhy.c_str());
    if (flock(nFd, LOCK_EX | LOCK_NB) != 0) {
        const int nError = errno;
        char buffer[32] = {};
        const ssize_t nRead = pread(nFd, buffer, sizeof(buffer) - 1, 0);
        std::string strHolder(buffer, nRead > 0 ? static_cast<size_t>(nRead) : 0);
        while (!strHolder.empty() && (strHolder.back() == '\n' || strHolder.back() == ' '))
            strHolder.pop_back();
        close(nFd);
        nFd = -1;
        if (nError != EWOULDBLOCK) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, nError, "cannot lock %s: %s", strPath.c_str(),
                                         std::strerror(nError));
        }
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                     "state folder %s is in use by another afs-scan run (process %s); "
                                     "wait for it to end",
                                     strStateDir.c_str(), strHolder.empty() ? "unknown" : strHolder.c_str());
    }
    const std::string strPid = std::to_string(getpid()) + "\n";
    if (ftruncate(nFd, 0) != 0 || pwrite(nFd, strPid.data(), strPid.size(), 0) < 0) {
        // The holder's name is only for the message of a refused run.
    }
    return CRhError::Success();
}

}  // namespace afs_scan
