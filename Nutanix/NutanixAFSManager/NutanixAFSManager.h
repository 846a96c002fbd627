#pragma once

#include <boost/shared_ptr.hpp>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "Nutanix/NutanixAFSManager/NutanixAFSVolumeInfo.h"
#include "host/NutanixAFSManagerBase.h"

// The job manager the host drives for one backup job. Created by
// GetNutanixAFSManager(), owned and deleted by the host. Initialize() must run
// before any operation that reaches the file server (those return error 1627
// otherwise). Not thread-safe: one job manager, one thread at a time.
class CNutanixAFSManager : public CNutanixAFSManagerBase {
public:
    CNutanixAFSManager();
    ~CNutanixAFSManager() override;

    // The virtual operations, in the plug-in ABI's order.
    CRhError CreateAndMountSnap(std::list<std::string>& scanPaths) override;
    CRhError Initialize(const std::string& jobResultsFolder, const std::string& snapInfoFile,
                        const std::string& snapMapFile, const std::string& connection1,
                        const std::string& connection2, const std::string& connection3, LONGLONG currentJob,
                        LONGLONG previousJobId, LONGLONG fullJobId, LONGLONG incJobId,
                        LONGLONG synthFullJobId, ULONG clientId, ULONG appId,
                        const ContentMapperAPIPtr& contentMapper) override;
    std::map<std::string, std::string> GetSourceToLocalMap() override;
    CRhError OverWriteSnapDevInfo(ContentMapperAPI::Map contentMap,
                                  std::map<std::string, std::string> scanMap) override;
    bool IsPreviousSnapAvailable(const std::string& path) override;
    CRhError CompareSnapAndLoadItem(std::string sourcePath, std::string passThrough,
                                    CNutanixDBHelperPtr& dbHelper) override;
    CRhError CreatePartnerServer(std::list<std::string> entries) override;
    void PrintInfo() override;
    std::string GetVolumeName(const std::string& mountPath) override;
    virtual CRhError ConfigureAFSVolumeSnap();
    virtual CRhError ConfigureAFSVolumeInfo(const std::list<std::string>& scanPaths,
                                            const std::vector<MountedTargets>& shares);

    // Appends one line to each record file for a created snapshot.
    CRhError SaveSnapDevInfo(const std::string& mountPath, const std::string& deviceText,
                             const std::string& snapPath);
    // The first component of a scan-form path ("/fs1/share1/dir" gives "fs1").
    CRhError convertScanToMountFormat(const std::string& scanPath, std::string& hostPart);

    // Read access for tests and diagnostics.
    const std::list<NutanixAFSVolumeInfo>& GetVolumeInfoList() const { return listVolumeInfo; }
    const std::string& GetSnapPrefix() const { return strSnapPrefix; }
    const std::map<std::string, std::string>& GetScanToMountMap() const { return mapScanToMount; }
    const boost::shared_ptr<CNutanixAFSManagerAPIHelper>& GetAPIHelper() const { return ptrAPIHelper; }

protected:
    // Fills the record's current snapshot fields, appends them to the record
    // files and maps the mount path to the snapshot path.
    void RecordCurrentSnap(NutanixAFSVolumeInfo& info, const std::string& snapName,
                           const std::string& snapUUID);
    // Error 1627 when Initialize has not built the API helper yet.
    CRhError RequireAPIHelper(const FXCodeLocation& location) const;

    std::string strSnapInfoFile;
    std::string strSnapMapFile;
    std::string strJobResultsFolder;
    std::string strSnapPrefix;
    LONGLONG fulljobid = 0;
    LONGLONG incjobid = 0;
    LONGLONG synthfulljobid = 0;
    LONGLONG previousjobid = 0;
    LONGLONG currentjob = 0;
    std::string strConnection1;
    std::string strConnection2;
    std::string strConnection3;
    ULONG clientid = 0;
    ULONG appid = 0;
    std::list<NutanixAFSVolumeInfo> listVolumeInfo;
    boost::shared_ptr<CNutanixAFSManagerAPIHelper> ptrAPIHelper;
    std::map<std::string, std::string> mapSourceToLocal;
    std::map<std::string, std::string> mapScanToMount;
    ContentMapperAPIPtr ptrContentMapper;
};
