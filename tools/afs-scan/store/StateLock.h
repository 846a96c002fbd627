#pragma once

#include <functional>
#include <string>

#include "host/RhError.h"

namespace afs_scan {

// The code of the error of a state folder another run holds: a later run
// may succeed as it is.
constexpr unsigned int kStateInUseCode = 423;
// The code of the error of a lock file that is no regular file (a folder, a
// link): a mistake of whoever set the state folder up; no job starts.
constexpr unsigned int kStateLockUnusableCode = 1423;

// An exclusive lock on a state folder (the file "lock" in it), held from
// Acquire until the object goes or the process ends, however it ends: two
// afs-scan runs on one state folder would otherwise give two jobs the same
// id and interleave their history. The lock file names the holder's process.
class CStateLock {
public:
    CStateLock() = default;
    ~CStateLock();
    CStateLock(const CStateLock&) = delete;
    CStateLock& operator=(const CStateLock&) = delete;

    // Waits up to llWaitSeconds while another process has the lock (polling,
    // through the host's sleep, so that tests wait in virtual time), calling
    // fnWaiting with the holder's process id once when the wait starts; then
    // fails, naming the holder, with code kStateInUseCode.
    CRhError Acquire(const std::string& strStateDir, long long llWaitSeconds = 0,
                     const std::function<void(const std::string& strHolder)>& fnWaiting = {});

private:
    int nFd = -1;
};

}  // namespace afs_scan
