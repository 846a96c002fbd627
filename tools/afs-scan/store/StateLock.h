#pragma once

#include <string>

#include "host/RhError.h"

namespace afs_scan {

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

    // Fails at once, naming the holder, when another process has the lock.
    CRhError Acquire(const std::string& strStateDir);

private:
    int nFd = -1;
};

}  // namespace afs_scan
