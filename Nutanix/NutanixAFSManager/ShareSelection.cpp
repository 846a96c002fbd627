// Which of the file server's shares this job backs up, and how their local
// mounts, server identities and scan-form paths relate.
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "host/FXPath.h"
#include "host/FXString.h"
#include "host/LogWriter.h"
#include "host/MntTab.h"

namespace {
const char* const kAfsSnapshotSuffix = "/.afs/snapshot";

// The mounted directory below the share's root, from the exported path of a
// mount of that share: "/share1/sub" of share1 gives "/sub", "/share1" and
// "/share1/" give "". Empty and "." components are dropped, so the result
// compares with the server's item paths ("/share1//a/./b" gives "/a/b").
std::string ShareSubPath(const std::string& exportedPath, const std::string& shareRoot) {
    std::string subPath;
    size_t uStart = shareRoot.size();
    while (uStart < exportedPath.size()) {
        const size_t uSlash = exportedPath.find('/', uStart);
        const size_t uEnd = uSlash == std::string::npos ? exportedPath.size() : uSlash;
        const size_t uLength = uEnd - uStart;
        if (uLength != 0 && !(uLength == 1 && exportedPath[uStart] == '.')) {
            subPath += '/';
            subPath.append(exportedPath, uStart, uLength);
        }
        uStart = uEnd + 1;
    }
    return subPath;
}
}  // namespace

CRhError CNutanixAFSManager::CreateAndMountSnap(std::list<std::string>& scanPaths) {
    CRhError error = RequireAPIHelper(FX_CODE_LOCATION);
    if (error.IsError()) return error;

    std::vector<MountedTargets> shares;
    error = ptrAPIHelper->GetMountedTargets(shares);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);

    HOST_LOG(0, "Available mounted targets");
    for (const MountedTargets& share : shares) {
        HOST_LOG(0, " Share name [%s], Share uuid [%s], sharetype [%s]", share.strShareName.c_str(),
                 share.strShareUUID.c_str(), share.strShareType.c_str());
    }

    error = ConfigureAFSVolumeInfo(scanPaths, shares);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);

    error = ConfigureAFSVolumeSnap();
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    return CRhError::Success();
}

CRhError CNutanixAFSManager::ConfigureAFSVolumeInfo(const std::list<std::string>& scanPaths,
                                                    const std::vector<MountedTargets>& shares) {
    ZkMntTab mountTable;
    std::vector<ZkMntTab::Entry> listMounts;
    CRhError error = mountTable.getAll(listMounts);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);

    for (const std::string& scanPath : scanPaths) {
        const ZkMntTab::Entry* ptrMount = mountTable.find(listMounts, scanPath);
        if (ptrMount == nullptr || ptrMount->strDirectory.empty()) continue;
        HOST_LOG(3, "directory[%s], device [%s]", ptrMount->strDirectory.c_str(),
                 ptrMount->strDevice.c_str());
        mapSourceToLocal[ptrMount->strDirectory] = ptrMount->strDirectory + kAfsSnapshotSuffix;

        for (const MountedTargets& share : shares) {
            if (!share.bCFTBackup) {
                HOST_LOG(0, "The [%s] share will not be backed up since it is not CFT_BACKUP marked",
                         share.strShareName.c_str());
                continue;
            }
            const size_t uSeparator = ptrMount->strDevice.find(':');
            if (uSeparator == std::string::npos) continue;
            std::string hostPart = ptrMount->strDevice.substr(0, uSeparator);
            const std::string exportedPath = ptrMount->strDevice.substr(uSeparator + 1);
            const std::string shareRoot = "/" + share.strShareName;

            if (ptrContentMapper) {
                std::string mapped;
                ptrContentMapper->GetMappedPath(scanPath + "/", mapped);  // only the filled text counts
                std::string part;
                error = convertScanToMountFormat(mapped, part);
                if (error.IsError()) {
                    error.Push(FX_CODE_LOCATION, "convertScanToMountFormat failed");
                    HOST_LOG(-1, "%s: %s", error.AsString(static_cast<EErrorOutputFormat>(2)).c_str(),
                             error.AsString().c_str());
                    return error;
                }
                hostPart = part;
            }

            if (FXPath::IsDescendantOf(exportedPath, shareRoot, true)) {
                NutanixAFSVolumeInfo info;
                info.strSourceVolume = ptrMount->strDevice;
                info.strVolumeMountPath = ptrMount->strDirectory;
                info.strVolumeUUID = share.strShareUUID;
                info.bPreviousSnapPresent = false;
                info.strScanVolumePath = "/" + hostPart + shareRoot;
                info.strShareSubPath = ShareSubPath(exportedPath, shareRoot);
                listVolumeInfo.push_back(info);
            }
        }
    }

    if (listVolumeInfo.empty()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "Nothing to be back-up since all volumes are not CFT_BACKUP marked");
    }
    return CRhError::Success();
}

CRhError CNutanixAFSManager::convertScanToMountFormat(const std::string& scanPath, std::string& hostPart) {
    hostPart.clear();
    std::string path = scanPath;
    FXString::RemoveLeft(path, "/");
    if (path.empty()) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "Invalid scan format received [%s]",
                                     scanPath.c_str());
    }
    const size_t uDelimiter = path.find('/');
    hostPart = uDelimiter == std::string::npos ? path : path.substr(0, uDelimiter);
    return CRhError::Success();
}
