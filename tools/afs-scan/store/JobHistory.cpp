#include "tools/afs-scan/store/JobHistory.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace afs_scan {

namespace {

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
    if (record.strStatus == "running") record.strStatus = "failed";
    return bStatusKnown && record.llJobId > 0 &&
           (record.strKind == "full" || record.strKind == "incremental");
}

}  // namespace

CRhError ReadHistoryFile(const std::string& strPath, std::vector<JobRecord>& listJobs) {
    listJobs.clear();
    std::ifstream in(strPath);
    if (!in) return CRhError::Success();
    std::string line;
    while (std::getline(in, line)) {
        JobRecord record;
        if (line.empty() || line[0] == '#' || !ParseRecord(line, record)) continue;
        auto it = std::find_if(listJobs.begin(), listJobs.end(),
                               [&](const JobRecord& existing) { return existing.llJobId == record.llJobId; });
        if (it != listJobs.end()) {
            *it = record;
        } else {
            listJobs.push_back(record);
        }
    }
    if (in.bad()) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot read job history %s", strPath.c_str());
    }
    return CRhError::Success();
}

void CJobHistory::NoteJobFolders(const std::string& strStateDir) {
    std::error_code fsError;
    for (const auto& entry : std::filesystem::directory_iterator(strStateDir, fsError)) {
        const std::string strName = entry.path().filename().string();
        if (strName.compare(0, 4, "job-") != 0 || strName.size() == 4 ||
            strName.find_first_not_of("0123456789", 4) != std::string::npos) {
            continue;
        }
        // Digits beyond the range count as the largest id: no id follows them.
        long long llFolder = LLONG_MAX;
        std::from_chars(strName.data() + 4, strName.data() + strName.size(), llFolder);
        setFolders.insert(llFolder);
        if (llFolder > llHighestFolder) {
            llHighestFolder = llFolder;
            strHighestFolder = entry.path().string();
        }
    }
}

long long CJobHistory::HighestJobId() const {
    long long llHighest = llHighestFolder;
    for (const JobRecord& record : listJobs) llHighest = std::max(llHighest, record.llJobId);
    return llHighest;
}

std::string CJobHistory::NextIdRefusal() const {
    const std::string strFix = ": no next id follows it; ";
    const std::string strLast = " is beyond the last job id, " + std::to_string(kMaxJobId);
    if (llHighestFolder > kMaxJobId)
        return "job folder " + strHighestFolder + strLast + strFix + "remove it, or give --job-id";
    if (HighestJobId() < kMaxJobId) return {};
    return "job " + std::to_string(HighestJobId()) + " of the history" +
           (HighestJobId() > kMaxJobId ? strLast : std::string(" is the last job id")) + strFix +
           "give --job-id";
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

const ShareRecord* CJobHistory::FindShare(long long llJobId, const std::string& strMountPath) const {
    for (const ShareRecord& share : listShares) {
        if (share.llJobId == llJobId && share.strMountPath == strMountPath) return &share;
    }
    return nullptr;
}

const ShareRecord* CJobHistory::NewerGoodShare(long long llAfter, long long llBefore,
                                               const std::string& strMountPath) const {
    const JobRecord* ptrAfter = Find(llAfter);
    for (const ShareRecord& share : listShares) {
        const JobRecord* ptrJob = Find(share.llJobId);
        if (share.llJobId > llAfter && share.llJobId < llBefore && share.strMountPath == strMountPath &&
            share.strStatus == "ok" && share.strMode != "not backed up" && ptrJob != nullptr &&
            ptrJob->strStatus == "ok" && ptrAfter != nullptr && ptrJob->uClientId == ptrAfter->uClientId &&
            ptrJob->uAppId == ptrAfter->uAppId)
            return &share;
    }
    return nullptr;
}

bool CJobHistory::Knows(long long llJobId, unsigned int uClientId, unsigned int uAppId) const {
    const JobRecord* ptrJob = Find(llJobId);
    if (ptrJob != nullptr) return ptrJob->uClientId == uClientId && ptrJob->uAppId == uAppId;
    return setFolders.count(llJobId) != 0;
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

}  // namespace afs_scan
