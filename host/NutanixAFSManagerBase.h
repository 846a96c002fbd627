#pragma once

#include <sys/stat.h>

#include <boost/shared_ptr.hpp>
#include <list>
#include <map>
#include <string>

#include "host/ContentMapper.h"
#include "host/HostExport.h"
#include "host/RhError.h"

// What a changed item is, as the host's scan database records it.
enum NutanixAFSChangeType {
    eNutanixAFSChangeOther = 0,
    eNutanixAFSChangeAdd = 1,
    eNutanixAFSChangeModify = 2,
    eNutanixAFSChangeRename = 3,
    eNutanixAFSChangeDelete = 4,
};

// The host's scan database as the plug-in sees it.
class HOST_EXPORT CNutanixDBHelper {
public:
    virtual ~CNutanixDBHelper() = default;
    // Takes one changed item: its path in scan form (the callee may change the
    // text), its old path (renames only, otherwise empty), the change type, its
    // attributes and whether it is a directory. An error stops the caller.
    virtual CRhError ItemCallBack(std::string& path, const std::string& oldPath,
                                  NutanixAFSChangeType changeType, const struct stat& attributes,
                                  bool bIsDirectory) = 0;
};

typedef boost::shared_ptr<CNutanixDBHelper> CNutanixDBHelperPtr;

// The job manager as the host drives it. The plug-in's factory
// GetNutanixAFSManager() returns a heap object that the host owns and deletes
// through the virtual destructor. The order of the virtual operations is the
// plug-in ABI: never reorder, insert or remove one.
class CNutanixAFSManagerBase {
public:
    virtual ~CNutanixAFSManagerBase() = default;
    virtual CRhError CreateAndMountSnap(std::list<std::string>& scanPaths) = 0;
    virtual CRhError Initialize(const std::string& jobResultsFolder, const std::string& snapInfoFile,
                                const std::string& snapMapFile, const std::string& connection1,
                                const std::string& connection2, const std::string& connection3,
                                LONGLONG currentJob, LONGLONG previousJobId, LONGLONG fullJobId,
                                LONGLONG incJobId, LONGLONG synthFullJobId, ULONG clientId, ULONG appId,
                                const ContentMapperAPIPtr& contentMapper) = 0;
    virtual std::map<std::string, std::string> GetSourceToLocalMap() = 0;
    virtual CRhError OverWriteSnapDevInfo(ContentMapperAPI::Map contentMap,
                                          std::map<std::string, std::string> scanMap) = 0;
    virtual bool IsPreviousSnapAvailable(const std::string& path) = 0;
    virtual CRhError CompareSnapAndLoadItem(std::string sourcePath, std::string passThrough,
                                            CNutanixDBHelperPtr& dbHelper) = 0;
    virtual CRhError CreatePartnerServer(std::list<std::string> entries) = 0;
    virtual void PrintInfo() = 0;
    virtual std::string GetVolumeName(const std::string& mountPath) = 0;
};

// The factory's type, as the host resolves it with dlsym.
typedef CNutanixAFSManagerBase* (*FGetNutanixAFSManager)();
