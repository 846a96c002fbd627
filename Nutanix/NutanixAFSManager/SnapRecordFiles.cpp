// The snapshot info and snapshot map files through which the host learns
// where each share's snapshot can be read. Their line formats are read by
// the host and must not change.
#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "Nutanix/NutanixAFSManager/RecordFile.h"
#include "host/FXString.h"
#include "host/LogWriter.h"

CRhError CNutanixAFSManager::SaveSnapDevInfo(const std::string& mountPath, const std::string& deviceText,
                                             const std::string& snapPath) {
    if (strSnapInfoFile.empty()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE, "SnapInfo file not set");
    }
    {
        // A file that cannot be opened loses its line as surely as a full
        // disk does, so it is logged the same way.
        CRecordFileAppender infoFile(strSnapInfoFile);
        infoFile.Append(
            FXString::Format("%s:%s:%s\n", mountPath.c_str(), deviceText.c_str(), snapPath.c_str()));
        std::string reason;
        if (infoFile.Commit(reason)) {
            HOST_LOG(3, "Added %s:%s:%s to %s", mountPath.c_str(), deviceText.c_str(), snapPath.c_str(),
                     strSnapInfoFile.c_str());
        } else {
            HOST_LOG(0, "Failed to write [%s] file: %s", strSnapInfoFile.c_str(), reason.c_str());
        }
    }
    if (strSnapMapFile.empty()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "SnapMapInfo file not set");
    }
    CRecordFileAppender mapFile(strSnapMapFile);
    mapFile.Append(FXString::Format("m:%s:%s:\n", mountPath.c_str(), snapPath.c_str()));
    std::string reason;
    if (!mapFile.Commit(reason)) {
        HOST_LOG(0, "Failed to write [%s] file: %s", strSnapMapFile.c_str(), reason.c_str());
    }
    return CRhError::Success();
}

CRhError CNutanixAFSManager::OverWriteSnapDevInfo(ContentMapperAPI::Map contentMap,
                                                  std::map<std::string, std::string> scanMap) {
    if (strSnapMapFile.empty()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "SnapMapInfo file not set");
    }
    CRecordFileAppender mapFile(strSnapMapFile);
    if (!mapFile.IsOpen()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       " Failed to open [%s] file: %s", strSnapMapFile.c_str(),
                                       mapFile.GetOpenReason().c_str());
    }
    for (const auto& entry : contentMap) {
        mapFile.Append(FXString::Format("m:%s:%s:\n", entry.first.c_str(), entry.second.c_str()));
    }
    std::string reason;
    if (!mapFile.Commit(reason)) {
        // The host would read a map without these lines; say so instead of
        // letting the job go on as if they were there.
        HOST_LOG(0, "Failed to write [%s] file: %s", strSnapMapFile.c_str(), reason.c_str());
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       " Failed to write [%s] file: %s", strSnapMapFile.c_str(),
                                       reason.c_str());
    }
    for (auto& entry : scanMap) mapScanToMount[entry.first] = entry.second;
    return CRhError::Success();
}
