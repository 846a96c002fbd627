#include "tools/afs-scan/scan/ScanTargets.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/ContentMapper.h"
#include "host/MntTab.h"
#include "host/PlatformInfo.h"
#include "tools/common/Handles.h"

namespace afs_scan {

namespace {

// "SERVER:/SHARE": how a file-server share appears in the mount table.
bool IsShareDevice(const std::string& strDevice) {
    const size_t uColon = strDevice.find(":/");
    return uColon != std::string::npos && uColon > 0;
}

}  // namespace

std::string ResolveScanTargets(const ScanOptions& options, const std::string& strMountTable,
                               std::vector<ScanTarget>& listTargets) {
    // ZkMntTab's error would not say why; the user needs the file and the reason.
    if (!afs_cli::UniqueStream(std::fopen(strMountTable.c_str(), "r")))
        return "cannot read mount table " + strMountTable + ": " + std::strerror(errno);
    ZkMntTab mountTable(strMountTable);
    std::vector<ZkMntTab::Entry> listMounts;
    CRhError error = mountTable.getAll(listMounts);
    if (error.IsError()) return "cannot read mount table " + strMountTable + ": " + error.GetMessage();
    CPrefixContentMapper mapper(options.mapContent);
    for (const std::string& strGiven : options.listScanPaths) {
        struct stat attributes {};
        if (stat(strGiven.c_str(), &attributes) != 0) {
            return errno == ENOENT ? "scan path " + strGiven + " does not exist"
                                   : "cannot look at scan path " + strGiven + ": " + std::strerror(errno);
        }
        ScanTarget target;
        target.strScanPath = strGiven;
        const ZkMntTab::Entry* ptrMount = mountTable.find(listMounts, target.strScanPath);
        if (ptrMount == nullptr)
            return "scan path " + strGiven + " is on no mount of the mount table " + strMountTable;
        target.strMountPath = ptrMount->strDirectory;
        while (target.strMountPath.size() > 1 && target.strMountPath.back() == '/')
            target.strMountPath.pop_back();
        target.strDevice = ptrMount->strDevice;
        if (!IsShareDevice(target.strDevice)) {
            return strGiven + " is on mount '" + target.strDevice + "' (" + target.strMountPath +
                   "), not on a file-server share";
        }
        for (const ScanTarget& other : listTargets) {
            if (other.strMountPath == target.strMountPath) {
                return "scan paths " + other.strScanPath + " and " + target.strScanPath +
                       " are on the same share " + target.strMountPath + ": give one of them";
            }
        }
        target.strScanForm = target.strMountPath;
        if (!options.mapContent.empty() &&
            mapper.GetMappedPath(target.strMountPath, target.strScanForm).IsError())
            return "no --map covers share " + target.strMountPath + ": add --map " + target.strMountPath +
                   "=SCAN";
        listTargets.push_back(target);
    }
    return {};
}

std::string MountTableInForce() {
    std::string strFile;
    if (!ZKPlatformInfo().getString("Host", "MountTableFile", strFile)) strFile = "/proc/self/mounts";
    return strFile;
}

std::string ShareNameOf(const std::string& strDevice) {
    const size_t uColon = strDevice.find(':');
    if (uColon == std::string::npos) return {};
    const size_t uStart = strDevice.find_first_not_of('/', uColon + 1);
    if (uStart == std::string::npos) return {};
    return strDevice.substr(uStart, strDevice.find('/', uStart) - uStart);
}

}  // namespace afs_scan
