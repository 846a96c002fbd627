#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"

#include <boost/make_shared.hpp>

#include "host/FXString.h"
#include "host/LogWriter.h"

// The library's only exported symbol; see the linker version script.
extern "C" __attribute__((visibility("default"))) CNutanixAFSManagerBase* GetNutanixAFSManager() {
    return new CNutanixAFSManager();
}

CNutanixAFSManager::CNutanixAFSManager() = default;

// Members go in reverse order of declaration; nothing touches the file server
// or the record files here.
CNutanixAFSManager::~CNutanixAFSManager() = default;

CRhError CNutanixAFSManager::RequireAPIHelper(const FXCodeLocation& location) const {
    if (ptrAPIHelper) return CRhError::Success();
    return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                   "Initialize has not run: no connection to the file server");
}

CRhError CNutanixAFSManager::Initialize(const std::string& jobResultsFolder, const std::string& snapInfoFile,
                                        const std::string& snapMapFile, const std::string& connection1,
                                        const std::string& connection2, const std::string& connection3,
                                        LONGLONG currentJob, LONGLONG previousJobId, LONGLONG fullJobId,
                                        LONGLONG incJobId, LONGLONG synthFullJobId, ULONG clientId,
                                        ULONG appId, const ContentMapperAPIPtr& contentMapper) {
    strJobResultsFolder = jobResultsFolder;
    strSnapInfoFile = snapInfoFile;
    strSnapMapFile = snapMapFile;
    strConnection1 = connection1;
    strConnection2 = connection2;
    strConnection3 = connection3;
    currentjob = currentJob;
    previousjobid = previousJobId;
    fulljobid = fullJobId;
    incjobid = incJobId;
    synthfulljobid = synthFullJobId;
    clientid = clientId;
    appid = appId;
    ptrContentMapper = contentMapper;

    HOST_LOG(0,
             " clientid [%u], appid [%u], currentjob [%lld], previousjobid[ %lld], strJobResultsFolder [%s], "
             "strSnapInfoFile[%s], strSnapMapFile[%s]",
             clientid, appid, currentjob, previousjobid, strJobResultsFolder.c_str(), strSnapInfoFile.c_str(),
             strSnapMapFile.c_str());

    // An exception from building the helper (or its REST client) leaves
    // Initialize to the host, with the previous helper released.
    ptrAPIHelper.reset();
    ptrAPIHelper = boost::make_shared<CNutanixAFSManagerAPIHelper>(strConnection1, strConnection2,
                                                                   strConnection3, currentjob);

    strSnapPrefix = FXString::Format("%s_%u_%u_", "zkop_", clientid, appid);
    return CRhError::Success();
}

std::map<std::string, std::string> CNutanixAFSManager::GetSourceToLocalMap() { return mapSourceToLocal; }

void CNutanixAFSManager::PrintInfo() {
    // Which build wrote the records matters when a support case compares logs;
    // nothing at all is written while there are no records.
    if (!listVolumeInfo.empty()) HOST_LOG(0, "NutanixAFSManager %s", AFS_VERSION);
    for (const NutanixAFSVolumeInfo& info : listVolumeInfo) {
        HOST_LOG(0, " strSourceVolume [%s], strVolumeMountPath [%s], strVolumeUUID [%s]",
                 info.strSourceVolume.c_str(), info.strVolumeMountPath.c_str(), info.strVolumeUUID.c_str());
        HOST_LOG(0, " strCurrentSnapName [%s], strCurrentSnapPath [%s] strCurrentSnapUUID [%s]",
                 info.strCurrentSnapName.c_str(), info.strCurrentSnapPath.c_str(),
                 info.strCurrentSnapUUID.c_str());
        HOST_LOG(0,
                 "strPreviousSnapName [%s] strPreviousSnapUUID [%s] bPreviousSnapPresent [%d], "
                 "strPreviousSnapPath [%s]",
                 info.strPreviousSnapName.c_str(), info.strPreviousSnapUUID.c_str(),
                 info.bPreviousSnapPresent ? 1 : 0, info.strPreviousSnapPath.c_str());
    }
}

std::string CNutanixAFSManager::GetVolumeName(const std::string& mountPath) {
    std::string result;
    // No early exit: the last matching record wins.
    for (const NutanixAFSVolumeInfo& info : listVolumeInfo) {
        if (info.strVolumeMountPath == mountPath && info.bPreviousSnapPresent)
            result = info.strCurrentSnapPath;
    }
    return result;
}

CRhError CNutanixAFSManager::CreatePartnerServer(std::list<std::string> entries) {
    HOST_LOG(0, "Create partner server");
    CRhError error = RequireAPIHelper(FX_CODE_LOCATION);
    if (error.IsError()) return error;
    error = ptrAPIHelper->CreatePartnerServer(entries);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    return CRhError::Success();
}
