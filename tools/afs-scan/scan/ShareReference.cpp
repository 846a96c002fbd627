#include "tools/afs-scan/scan/ShareReference.h"

#include <cstdlib>

namespace afs_scan {

ShareSnapshots ReadShareSnapshots(CFileServerSnapshots& server, const ScanTarget& target) {
    ShareSnapshots now;
    now.error = server.FindShare(target, now.strShareUuid);
    if (now.error.IsSuccess()) now.error = server.List(now.strShareUuid, now.listSnapshots);
    if (now.error.IsError()) now.listSnapshots.clear();
    return now;
}

std::string OnlySnapshotUuid(const std::vector<ServerSnapshot>& listSnapshots, const std::string& strName) {
    std::string strUuid;
    int nFound = 0;
    for (const ServerSnapshot& snapshot : listSnapshots) {
        if (snapshot.strName != strName) continue;
        strUuid = snapshot.strUuid;
        ++nFound;
    }
    return nFound == 1 ? strUuid : std::string();
}

std::string ReferenceDoubt(const CJobHistory& history, long long llPreviousJobId, long long llJobId,
                           const ScanTarget& target, const ShareSnapshots& now,
                           const std::string& strPreviousName) {
    const std::string strJob = "job " + std::to_string(llPreviousJobId);
    const ShareRecord* ptrRecord = history.FindShare(llPreviousJobId, target.strMountPath);
    if (ptrRecord == nullptr) return strJob + " has no record of this share";
    if (ptrRecord->strStatus != "ok")
        return strJob + " backed it up only in part (" + ptrRecord->strReason + ")";
    if (ptrRecord->strSnapshotUuid.empty()) return strJob + " did not learn the UUID of its snapshot";
    // Items named otherwise than the host holds them would never meet their
    // earlier names (--map given to one job and not to the other).
    if (ptrRecord->strScanPath != target.strScanForm)
        return strJob + " named its items below " + ptrRecord->strScanPath + ", this job below " +
               target.strScanForm;
    const ShareRecord* ptrNewer = history.NewerGoodShare(llPreviousJobId, llJobId, target.strMountPath);
    if (ptrNewer != nullptr) {
        // Its changes are stored already; a difference from an older job
        // would not undo those that were undone since.
        return "job " + std::to_string(ptrNewer->llJobId) + " backed it up after " + strJob;
    }
    if (now.error.IsError())
        return "its snapshots cannot be listed to check the reference (" + now.error.GetMessage() + ")";
    if (ptrRecord->strShareUuid != now.strShareUuid)
        return "the share's UUID is " + now.strShareUuid + ", not " + ptrRecord->strShareUuid + " as in " +
               strJob;
    const std::string strUuid = OnlySnapshotUuid(now.listSnapshots, strPreviousName);
    if (strUuid != ptrRecord->strSnapshotUuid) {
        return "the file server's snapshot " + strPreviousName + " (UUID " +
               (strUuid.empty() ? "none or several" : strUuid) + ") is not the one " + strJob +
               " took (UUID " + ptrRecord->strSnapshotUuid +
               "); another state folder may use the same --client-id and --app-id";
    }
    return std::string();
}

long long JobIdOfSnapshotName(const std::string& strPrefix, const std::string& strName) {
    if (strName.compare(0, strPrefix.size(), strPrefix) != 0 || strName.size() == strPrefix.size() ||
        strName.size() > strPrefix.size() + 18 ||
        strName.find_first_not_of("0123456789", strPrefix.size()) != std::string::npos) {
        return 0;
    }
    return std::atoll(strName.c_str() + strPrefix.size());
}

std::vector<std::string> UnknownJobSnapshots(const CJobHistory& history, unsigned int uClientId,
                                             unsigned int uAppId, const std::string& strPrefix,
                                             const std::vector<ServerSnapshot>& listSnapshots) {
    std::vector<std::string> listUnknown;
    for (const ServerSnapshot& snapshot : listSnapshots) {
        const long long llJobId = JobIdOfSnapshotName(strPrefix, snapshot.strName);
        if (llJobId > 0 && !history.Knows(llJobId, uClientId, uAppId))
            listUnknown.push_back(snapshot.strName);
    }
    return listUnknown;
}

}  // namespace afs_scan
