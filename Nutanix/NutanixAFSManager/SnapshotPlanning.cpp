// Per share: find the previous job's snapshot, delete the plug-in's stale
// snapshots, create this job's snapshot and record where it can be read.
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "host/FXPath.h"
#include "host/FXString.h"
#include "host/LogWriter.h"

namespace {

std::string SnapshotPath(const std::string& mountPath, const std::string& snapName) {
    std::string path = mountPath;
    FXPath::Append(path, ".snapshot", 0);
    FXPath::Append(path, snapName, 0);
    return path;
}

// True when `path` is `mountPath` or lies below it, ignoring letter case but
// comparing whole components: /mnt/share10 is not on the mount /mnt/share.
bool IsOnMount(const std::string& path, std::string mountPath) {
    FXPath::RemoveTrailingDelimiter(mountPath);
    if (mountPath.empty() || FXString::CompareLeftNoCase(path, mountPath) != 0) return false;
    return path.size() == mountPath.size() || path[mountPath.size()] == '/' || mountPath == "/";
}

}  // namespace

CRhError CNutanixAFSManager::ConfigureAFSVolumeSnap() {
    CRhError error = RequireAPIHelper(FX_CODE_LOCATION);
    if (error.IsError()) return error;

    const std::string strFullSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), fulljobid);
    const std::string strIncSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), incjobid);
    const std::string strSynthFullSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), synthfulljobid);
    const std::string strPreviousSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), previousjobid);
    const std::string strCurrentSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), currentjob);

    HOST_LOG(0, " strFullSnapName [%s], strIncSnapName [%s], strPreviousSnapName [%s] ", strFullSnapName.c_str(),
             strIncSnapName.c_str(), strPreviousSnapName.c_str());

    for (NutanixAFSVolumeInfo& info : listVolumeInfo) {
        std::vector<MountedTargetsSnaps> listSnaps;
        std::vector<MountedTargetsSnaps> listToDelete;
        error = ptrAPIHelper->GetListOfSnapsForUUID(info.strVolumeUUID, listSnaps);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);

        for (const MountedTargetsSnaps& snap : listSnaps) {
            if (snap.strSnapName == strCurrentSnapName) {
                HOST_LOG(0, "Snap name [%s] already present", strCurrentSnapName.c_str());
            }
        }

        for (const MountedTargetsSnaps& snap : listSnaps) {
            if (!FXString::MatchLeft(snap.strSnapName, strSnapPrefix)) continue;  // not ours: never touched
            if (snap.strSnapName == strPreviousSnapName) {
                HOST_LOG(0, "Previous refrence snap UUID [%s], snapname [%s", snap.strSnapUUID.c_str(),
                         snap.strSnapName.c_str());
                info.strPreviousSnapName = snap.strSnapName;
                info.strPreviousSnapUUID = snap.strSnapUUID;
                info.strPreviousSnapPath = SnapshotPath(info.strVolumeMountPath, snap.strSnapName);
                info.bPreviousSnapPresent = true;
            } else if (snap.strSnapName == strFullSnapName && synthfulljobid != 0 && synthfulljobid > fulljobid) {
                HOST_LOG(0, "Deleting the full job snapshot since this is after Synthfull job.");
                listToDelete.push_back(snap);
            } else if (snap.strSnapName == strIncSnapName || snap.strSnapName == strSynthFullSnapName) {
                // Kept for the incremental and synthetic full jobs.
            } else {
                HOST_LOG(0, "Snap good to be deleted, UUID [%s], name [%s]", snap.strSnapUUID.c_str(),
                         snap.strSnapName.c_str());
                listToDelete.push_back(snap);
            }
        }

        error = ptrAPIHelper->CleanListOfSnapsForUUID(info.strVolumeUUID, listToDelete);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);

        std::string newUUID;
        error = ptrAPIHelper->CreateSnap(info.strVolumeUUID, strCurrentSnapName, newUUID);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);

        info.strCurrentSnapUUID = newUUID;
        info.strCurrentSnapName = strCurrentSnapName;
        info.strCurrentSnapPath = SnapshotPath(info.strVolumeMountPath, strCurrentSnapName);

        SaveSnapDevInfo(info.strVolumeMountPath, strCurrentSnapName + "@" + info.strSourceVolume,
                        info.strCurrentSnapPath);  // a record-file failure does not fail the job
        HOST_LOG(0, "Mapping SourceVolume[%s] => SnappedPath[%s]", info.strVolumeMountPath.c_str(),
                 info.strCurrentSnapPath.c_str());
        mapSourceToLocal[info.strVolumeMountPath] = info.strCurrentSnapPath;
    }
    return CRhError::Success();
}

bool CNutanixAFSManager::IsPreviousSnapAvailable(const std::string& path) {
    std::string copy = path;
    FXPath::RemoveTrailingDelimiter(copy);
    if (!mapScanToMount.empty()) {
        auto it = mapScanToMount.find(copy);
        if (it == mapScanToMount.end()) return false;
        copy = it->second;
        FXPath::RemoveTrailingDelimiter(copy);
    }
    for (const NutanixAFSVolumeInfo& info : listVolumeInfo) {
        if (IsOnMount(copy, info.strVolumeMountPath) && info.bPreviousSnapPresent) return true;
    }
    return false;
}
