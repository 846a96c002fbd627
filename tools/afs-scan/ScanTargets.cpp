#include "tools/afs-scan/ScanTargets.h"

#include "host/MntTab.h"

std::string WithoutTrailingSlash(std::string strPath) {
    while (strPath.size() > 1 && strPath.back() == '/') strPath.pop_back();
    return strPath;
}

CRhError ResolveScanTargets(const std::vector<std::string>& listScanPaths, const ContentMapperAPIPtr& ptrMapper,
                            std::vector<ScanTarget>& listTargets) {
    ZkMntTab mountTable;
    std::vector<ZkMntTab::Entry> listMounts;
    CRhError error = mountTable.getAll(listMounts);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION, "cannot read the mount table");
    for (const std::string& strGiven : listScanPaths) {
        ScanTarget target;
        target.strScanPath = WithoutTrailingSlash(strGiven);
        const ZkMntTab::Entry* ptrMount = mountTable.find(listMounts, target.strScanPath);
        if (ptrMount == nullptr) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                         "scan path %s is on no share of the mount table", strGiven.c_str());
        }
        target.strMountPath = WithoutTrailingSlash(ptrMount->strDirectory);
        target.strDevice = ptrMount->strDevice;
        for (const ScanTarget& other : listTargets) {
            if (other.strMountPath == target.strMountPath) {
                return FXErrorUtil::ErrorInt(
                    FX_CODE_LOCATION, 1, "scan paths %s and %s are on the same share %s",
                    other.strScanPath.c_str(), target.strScanPath.c_str(), target.strMountPath.c_str());
            }
        }
        target.strScanForm = target.strMountPath;
        if (ptrMapper) {
            error = ptrMapper->GetMappedPath(target.strMountPath, target.strScanForm);
            if (error.IsError()) return error.Push(FX_CODE_LOCATION, "no --map covers the share");
        }
        listTargets.push_back(target);
    }
    return CRhError::Success();
}
