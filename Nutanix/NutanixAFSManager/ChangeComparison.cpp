// Resolves a host scan path to one of the job's shares and loads that
// share's changes into the host's scan database.
#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "host/FXPath.h"

CRhError CNutanixAFSManager::CompareSnapAndLoadItem(std::string sourcePath, std::string passThrough,
                                                    CNutanixDBHelperPtr& dbHelper) {
    CRhError error = RequireAPIHelper(FX_CODE_LOCATION);
    if (error.IsError()) return error;

    std::string volumeName;
    if (mapScanToMount.empty()) {
        error = FXPath::ZKGetVolumeNameForVolumeMountPoint(sourcePath, volumeName);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    } else {
        volumeName = sourcePath;
        FXPath::RemoveTrailingDelimiter(volumeName);
        auto it = mapScanToMount.find(volumeName);
        if (it == mapScanToMount.end()) {
            return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                           "Source volume name %s not present in the Scan Path to Mount path",
                                           volumeName.c_str());
        }
        volumeName = it->second;
    }
    FXPath::RemoveTrailingDelimiter(volumeName);

    for (NutanixAFSVolumeInfo& info : listVolumeInfo) {
        if (info.strVolumeMountPath != volumeName) continue;
        // Without a scan-path map the host scans the mount itself, so the
        // items are reported under the mount path.
        if (mapScanToMount.empty()) info.strScanVolumePath = info.strVolumeMountPath;
        error = ptrAPIHelper->CompareSnapAndLoadItem(info, passThrough, dbHelper);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION);
        return CRhError::Success();
    }
    // IsPreviousSnapAvailable answers for the share mounted around a path
    // (letter case aside); loading nothing here would tell the host that
    // such a share did not change at all.
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                   "No share of this job is mounted at %s", volumeName.c_str());
}
