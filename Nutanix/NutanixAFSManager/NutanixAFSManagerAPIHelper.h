#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSVolumeInfo.h"
#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"

class CurlClient;

// One share as the file server lists it.
struct MountedTargets {
    std::string strShareName;
    std::string strShareUUID;
    std::string strShareType;  // only logged
    bool bCFTBackup = false;   // the capability list holds "CFT_BACKUP"
};

// One snapshot of a share as the file server lists it.
struct MountedTargetsSnaps {
    std::string strSnapUUID;
    std::string strSnapName;
};

// The capability that marks a share for change-tracking backup.
extern const std::string CFT_BACKUP;

// The plug-in's gateway to the file server: owns one REST client for its whole
// life. Not copyable; used from one thread at a time. Construction throws what
// the REST client's construction throws.
class CNutanixAFSManagerAPIHelper {
public:
    CNutanixAFSManagerAPIHelper(std::string connection1, std::string connection2, std::string connection3,
                                long long jobId);
    ~CNutanixAFSManagerAPIHelper();
    CNutanixAFSManagerAPIHelper(const CNutanixAFSManagerAPIHelper&) = delete;
    CNutanixAFSManagerAPIHelper& operator=(const CNutanixAFSManagerAPIHelper&) = delete;

    // Registers the backup product as a partner server; `entries` each get "RW".
    CRhError CreatePartnerServer(const std::list<std::string>& entries);
    // Appends every share of the file server to `targets`, in server order.
    CRhError GetMountedTargets(std::vector<MountedTargets>& targets);
    // Appends every snapshot of the mount target `volumeUUID` to `snaps`.
    CRhError GetListOfSnapsForUUID(const std::string& volumeUUID, std::vector<MountedTargetsSnaps>& snaps);
    // Deletes each snapshot of `snaps`; a failed deletion is logged and skipped.
    CRhError CleanListOfSnapsForUUID(const std::string& volumeUUID,
                                     const std::vector<MountedTargetsSnaps>& snaps);
    // Creates snapshot `snapname` of `volumeUUID`; `snapUUID` is set only on
    // success. `listedBefore` is the share's listing taken just before: after a
    // 409 only a snapshot of that name that it does not hold is this job's.
    CRhError CreateSnap(const std::string& volumeUUID, const std::string& snapname, std::string& snapUUID,
                        const std::vector<MountedTargetsSnaps>& listedBefore = {});
    // Loads every change between the share's previous and current snapshot
    // into `dbHelper`. Exceptions of the REST client pass through.
    CRhError CompareSnapAndLoadItem(const NutanixAFSVolumeInfo& volumeInfo, std::string passThrough,
                                    CNutanixDBHelperPtr& dbHelper);

    const std::string& GetLogDir() const { return strLogDir; }
    uint32_t GetHAWaitTime() const { return uHAWaitTime; }
    const boost::shared_ptr<CurlClient>& GetCurlClient() const { return ptrCurlClient; }

private:
    boost::shared_ptr<CurlClient> MakeCurlClient() const;
    enum ESnapSearch { eSnapNotFound, eSnapNew, eSnapLeftover };
    // Lists the share and looks for a snapshot named `snapname`, preferring
    // one that `listedBefore` does not hold (eSnapNew); eSnapLeftover when
    // only such a listed one has that name. `snapUUID` is set unless not found.
    ESnapSearch FindSnapByName(const std::string& volumeUUID, const std::string& snapname,
                               const std::vector<MountedTargetsSnaps>& listedBefore, std::string& snapUUID);

    std::string strConnection1;
    std::string strConnection2;
    std::string strConnection3;
    std::string strLogDir;
    uint32_t uHAWaitTime;
    unsigned long long ullMaxListEntities;  // most entities one listing reads; 0: no ceiling
    long long llJobId;
    boost::shared_ptr<CurlClient> ptrCurlClient;
};
