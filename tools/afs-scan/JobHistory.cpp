#include "tools/afs-scan/JobHistory.h"

#include <fcntl.h>
#include <unistd.h>  // write, fsync: one write per line keeps lines whole

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/PrivateFile.h"

namespace {

const char* const kHistoryFile = "/jobs.txt";

bool ParseRecord(const std::string& line, JobRecord& record) {
    std::istringstream in(line);
    std::string strExtra;
    if (!(in >> record.llJobId >> record.strStatus >> record.strKind >> record.uClientId >> record.uAppId >>
          record.llPreviousJobId >> record.llFullJobId)) {
        return false;
    }
    if (in >> strExtra) return false;
    const bool bStatusKnown =
        record.strStatus == "running" || record.strStatus == "ok" || record.strStatus == "failed";
    return bStatusKnown && record.llJobId > 0 &&
           (record.strKind == "full" || record.strKind == "incremental");
}

// Closes the descriptor on every path out of Append.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int nFd) : nFd(nFd) {}
    ~CFileDescriptor() {
        if (nFd >= 0) close(nFd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return nFd; }

private:
    int nFd;
};

}  // namespace

CJobHistory::CJobHistory(std::string strStateDir) : strPath(std::move(strStateDir) + kHistoryFile) {}

CRhError CJobHistory::Load() {
    listJobs.clear();
    std::ifstream in(strPath);
    if (!in) return CRhError::Success();
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        JobRecord record;
        if (!ParseRecord(line, record)) continue;
        bool bKnown = false;
        for (JobRecord& existing : listJobs) {
            if (existing.llJobId == record.llJobId) {
                existing = record;
                bKnown = true;
            }
        }
        if (!bKnown) listJobs.push_back(record);
    }
    if (in.bad()) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot read job history %s", strPath.c_str());
    }
    return CRhError::Success();
}

CRhError CJobHistory::Append(const JobRecord& record) {
    std::ostringstream line;
    line << record.llJobId << ' ' << record.strStatus << ' ' << record.strKind << ' ' << record.uClientId
         << ' ' << record.uAppId << ' ' << record.llPreviousJobId << ' ' << record.llFullJobId << '\n';
    const std::string text = line.str();
    std::string why;
    CFileDescriptor file(afs_private_file::Open(strPath, O_APPEND, why));
    if (file.Get() < 0) return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "job history: %s", why.c_str());
    const ssize_t nWritten = write(file.Get(), text.data(), text.size());
    if (nWritten != static_cast<ssize_t>(text.size()) || fsync(file.Get()) != 0) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "cannot write job history %s: %s",
                                     strPath.c_str(), std::strerror(errno));
    }
    for (JobRecord& existing : listJobs) {
        if (existing.llJobId == record.llJobId) {
            existing = record;
            return CRhError::Success();
        }
    }
    listJobs.push_back(record);
    return CRhError::Success();
}

long long CJobHistory::HighestJobId() const {
    long long llHighest = 0;
    for (const JobRecord& record : listJobs) llHighest = std::max(llHighest, record.llJobId);
    return llHighest;
}

const JobRecord* CJobHistory::LastSuccessful(unsigned int uClientId, unsigned int uAppId) const {
    const JobRecord* ptrBest = nullptr;
    for (const JobRecord& record : listJobs) {
        if (record.strStatus != "ok" || record.uClientId != uClientId || record.uAppId != uAppId) continue;
        if (ptrBest == nullptr || record.llJobId > ptrBest->llJobId) ptrBest = &record;
    }
    return ptrBest;
}

const JobRecord* CJobHistory::Find(long long llJobId) const {
    for (const JobRecord& record : listJobs) {
        if (record.llJobId == llJobId) return &record;
    }
    return nullptr;
}

JobIdentity CJobHistory::Resolve(long long llJobId, long long llPreviousJobId, long long llFullJobId,
                                 bool bForceFull, unsigned int uClientId, unsigned int uAppId) const {
    JobIdentity identity;
    identity.llJobId = llJobId > 0 ? llJobId : HighestJobId() + 1;
    const JobRecord* ptrLast = LastSuccessful(uClientId, uAppId);
    if (bForceFull) {
        identity.llPreviousJobId = 0;
    } else if (llPreviousJobId >= 0) {
        identity.llPreviousJobId = llPreviousJobId;
    } else {
        identity.llPreviousJobId = ptrLast != nullptr ? ptrLast->llJobId : 0;
    }
    if (identity.IsFull()) {
        identity.llFullJobId = identity.llJobId;
    } else if (llFullJobId >= 0) {
        identity.llFullJobId = llFullJobId;
    } else {
        const JobRecord* ptrPrevious = Find(identity.llPreviousJobId);
        identity.llFullJobId = ptrPrevious != nullptr ? ptrPrevious->llFullJobId : identity.llPreviousJobId;
    }
    return identity;
}
