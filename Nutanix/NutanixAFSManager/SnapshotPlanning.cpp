// Per share: find the previous job's snapshot, delete the plug-in's stale
// snapshots, create this job's snapshot and record where it can be read.
#include <map>
#include <set>
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

// The length of `mountPath` without its trailing "/" when `path` is that
// mount path or lies below it, ignoring letter case but comparing whole
// components (/mnt/share10 is not on the mount /mnt/share); 0 otherwise.
size_t MountLengthOf(const std::string& path, std::string mountPath) {
    FXPath::RemoveTrailingDelimiter(mountPath);
    if (mountPath.empty() || FXString::CompareLeftNoCase(path, mountPath) != 0) return 0;
    const bool bOn = path.size() == mountPath.size() || path[mountPath.size()] == '/' || mountPath == "/";
    return bOn ? mountPath.size() : 0;
}

}  // namespace

void CNutanixAFSManager::RecordCurrentSnap(NutanixAFSVolumeInfo& info, const std::string& snapName,
                                           const std::string& snapUUID) {
    info.strCurrentSnapUUID = snapUUID;
    info.strCurrentSnapName = snapName;
    info.strCurrentSnapPath = SnapshotPath(info.strVolumeMountPath, snapName);
    SaveSnapDevInfo(info.strVolumeMountPath, snapName + "@" + info.strSourceVolume,
                    info.strCurrentSnapPath);  // a record-file failure does not fail the job
    HOST_LOG(0, "Mapping SourceVolume[%s] => SnappedPath[%s]", info.strVolumeMountPath.c_str(),
             info.strCurrentSnapPath.c_str());
    mapSourceToLocal[info.strVolumeMountPath] = info.strCurrentSnapPath;
}

CRhError CNutanixAFSManager::ConfigureAFSVolumeSnap() {
    CRhError error = RequireAPIHelper(FX_CODE_LOCATION);
    if (error.IsError()) return error;

    const std::string strFullSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), fulljobid);
    const std::string strIncSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), incjobid);
    const std::string strSynthFullSnapName =
        FXString::Format("%s%lld", strSnapPrefix.c_str(), synthfulljobid);
    const std::string strPreviousSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), previousjobid);
    const std::string strCurrentSnapName = FXString::Format("%s%lld", strSnapPrefix.c_str(), currentjob);

    HOST_LOG(0, " strFullSnapName [%s], strIncSnapName [%s], strPreviousSnapName [%s] ",
             strFullSnapName.c_str(), strIncSnapName.c_str(), strPreviousSnapName.c_str());

    // A share may stand in several records (two scan paths on one mount, or
    // one share mounted twice). It is planned once: planning it again would
    // list the snapshot just made, delete it as stale and leave the earlier
    // record comparing against a snapshot that no longer exists.
    std::map<std::string, const NutanixAFSVolumeInfo*> mapPlannedShares;
    std::set<std::string> setCreatedUUIDs;
    for (NutanixAFSVolumeInfo& info : listVolumeInfo) {
        auto itPlanned = mapPlannedShares.find(info.strVolumeUUID);
        if (itPlanned != mapPlannedShares.end()) {
            const NutanixAFSVolumeInfo& planned = *itPlanned->second;
            HOST_LOG(0, "Share UUID [%s] is already planned; [%s] uses its snapshot [%s]",
                     info.strVolumeUUID.c_str(), info.strVolumeMountPath.c_str(),
                     planned.strCurrentSnapUUID.c_str());
            info.bPreviousSnapPresent = planned.bPreviousSnapPresent;
            if (planned.bPreviousSnapPresent) {
                info.strPreviousSnapName = planned.strPreviousSnapName;
                info.strPreviousSnapUUID = planned.strPreviousSnapUUID;
                info.strPreviousSnapPath = SnapshotPath(info.strVolumeMountPath, planned.strPreviousSnapName);
            }
            RecordCurrentSnap(info, strCurrentSnapName, planned.strCurrentSnapUUID);
            continue;
        }

        std::vector<MountedTargetsSnaps> listSnaps;
        std::vector<MountedTargetsSnaps> listToDelete;
        error = ptrAPIHelper->GetListOfSnapsForUUID(info.strVolumeUUID, listSnaps);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);

        for (const MountedTargetsSnaps& snap : listSnaps) {
            if (snap.strSnapName == strCurrentSnapName) {
                HOST_LOG(0, "Snap name [%s] already present", strCurrentSnapName.c_str());
            }
        }

        auto addToDelete = [&](const MountedTargetsSnaps& snap) {
            if (snap.strSnapUUID.empty()) {
                // Deleting by an empty UUID would address the whole collection.
                HOST_LOG(0, "Snap [%s] has no UUID and is not deleted", snap.strSnapName.c_str());
            } else if (setCreatedUUIDs.count(snap.strSnapUUID) == 0) {
                listToDelete.push_back(snap);
            }
        };
        for (const MountedTargetsSnaps& snap : listSnaps) {
            if (!FXString::MatchLeft(snap.strSnapName, strSnapPrefix)) continue;  // not ours: never touched
            if (snap.strSnapName == strPreviousSnapName) {
                HOST_LOG(0, "Previous refrence snap UUID [%s], snapname [%s", snap.strSnapUUID.c_str(),
                         snap.strSnapName.c_str());
                info.strPreviousSnapName = snap.strSnapName;
                info.strPreviousSnapUUID = snap.strSnapUUID;
                info.strPreviousSnapPath = SnapshotPath(info.strVolumeMountPath, snap.strSnapName);
                info.bPreviousSnapPresent = true;
            } else if (snap.strSnapName == strFullSnapName && synthfulljobid != 0 &&
                       synthfulljobid > fulljobid) {
                HOST_LOG(0, "Deleting the full job snapshot since this is after Synthfull job.");
                addToDelete(snap);
            } else if (snap.strSnapName == strIncSnapName || snap.strSnapName == strSynthFullSnapName) {
                // Kept for the incremental and synthetic full jobs.
            } else {
                HOST_LOG(0, "Snap good to be deleted, UUID [%s], name [%s]", snap.strSnapUUID.c_str(),
                         snap.strSnapName.c_str());
                addToDelete(snap);
            }
        }

        error = ptrAPIHelper->CleanListOfSnapsForUUID(info.strVolumeUUID, listToDelete);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);

        std::string newUUID;
        error = ptrAPIHelper->CreateSnap(info.strVolumeUUID, strCurrentSnapName, newUUID, listSnaps);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);
        setCreatedUUIDs.insert(newUUID);
        mapPlannedShares[info.strVolumeUUID] = &info;
        RecordCurrentSnap(info, strCurrentSnapName, newUUID);
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
    // With one share mounted inside another's mount (/mnt/a and /mnt/a/b), a
    // path lies on the innermost mount: only its records answer, as the
    // comparison takes that mount's share.
    size_t uLongest = 0;
    bool bPresent = false;
    for (const NutanixAFSVolumeInfo& info : listVolumeInfo) {
        const size_t uLength = MountLengthOf(copy, info.strVolumeMountPath);
        if (uLength == 0 || uLength < uLongest) continue;
        if (uLength > uLongest) bPresent = false;
        uLongest = uLength;
        bPresent = bPresent || info.bPreviousSnapPresent;
    }
    return bPresent;
}
