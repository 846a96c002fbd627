#include "tools/afs-scan/scan/SnapshotListing.h"

#include <sys/stat.h>  // lstat: links are listed, not followed

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace afs_scan {

namespace {

CRhError ListDirectory(const std::string& strDirectory, const std::string& strScanDirectory, bool bIsRoot,
                       CScanItemSink& sink, ScanItem& item) {
    std::error_code error;
    std::vector<std::string> listNames;
    for (std::filesystem::directory_iterator it(strDirectory, error), end; !error && it != end;
         it.increment(error)) {
        listNames.push_back(it->path().filename().string());
    }
    if (error) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, error.value(), "cannot list %s: %s",
                                     strDirectory.c_str(), error.message().c_str());
    }
    std::sort(listNames.begin(), listNames.end());
    for (const std::string& strName : listNames) {
        if (bIsRoot && strName == ".snapshot") continue;
        const std::string strPath = strDirectory + "/" + strName;
        struct stat attributes;
        if (lstat(strPath.c_str(), &attributes) != 0) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "cannot read %s: %s", strPath.c_str(),
                                         std::strerror(errno));
        }
        const bool bIsDirectory = S_ISDIR(attributes.st_mode);
        item.strPath = strScanDirectory + "/" + strName;
        item.strOldPath.clear();
        item.eChangeType = eNutanixAFSChangeAdd;
        item.bIsDirectory = bIsDirectory;
        item.llSize = bIsDirectory ? 0 : static_cast<long long>(attributes.st_size);
        item.llInode = static_cast<long long>(attributes.st_ino);
        item.llATime = static_cast<long long>(attributes.st_atim.tv_sec);
        item.llMTime = static_cast<long long>(attributes.st_mtim.tv_sec);
        item.llCTime = static_cast<long long>(attributes.st_ctim.tv_sec);
        CRhError result = sink.Add(item);
        if (result.IsError()) return result.Push(FX_CODE_LOCATION);
        if (bIsDirectory) {
            result = ListDirectory(strPath, strScanDirectory + "/" + strName, false, sink, item);
            if (result.IsError()) return result;
        }
    }
    return CRhError::Success();
}

}  // namespace

CRhError ListSnapshotAsAdds(const std::string& strSnapshotRoot, const std::string& strScanRoot,
                            CScanItemSink& sink) {
    struct stat attributes;
    if (stat(strSnapshotRoot.c_str(), &attributes) != 0) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "snapshot folder %s cannot be read: %s",
                                     strSnapshotRoot.c_str(), std::strerror(errno));
    }
    if (!S_ISDIR(attributes.st_mode)) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "snapshot folder %s is not a folder",
                                     strSnapshotRoot.c_str());
    }
    std::string strScan = strScanRoot;
    while (strScan.size() > 1 && strScan.back() == '/') strScan.pop_back();
    if (strScan == "/") strScan.clear();
    ScanItem item;
    return ListDirectory(strSnapshotRoot, strScan, true, sink, item);
}

}  // namespace afs_scan
