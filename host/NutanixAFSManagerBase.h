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
//
// One job runs Initialize, CreatePartnerServer, CreateAndMountSnap,
// GetSourceToLocalMap, OverWriteSnapDevInfo, then per scan path
// IsPreviousSnapAvailable and CompareSnapAndLoadItem. One manager is used by
// one thread at a time; every call blocks on the file server for as long as
// it takes. Failures come back as CRhError chains (code 1627); only
// Initialize and CompareSnapAndLoadItem may also let an exception of the REST
// client out, so a host catches everything around its calls.
class CNutanixAFSManagerBase {
public:
    // Touches neither the file server nor the record files; this job's
    // snapshots stay on the server as the next job's reference.
    virtual ~CNutanixAFSManagerBase() = default;
    // Selects the shares that hold `scanPaths` (local paths on the mounts of
    // the file server's shares, as the host's mount table lists them) and
    // that the server offers for backup, finds each one's reference snapshot
    // of the previous job, deletes the plug-in's stale snapshots and takes
    // this job's snapshot. Appends one line per snapshot to the two record
    // files and fills the source-to-local map. The list is not changed.
    virtual CRhError CreateAndMountSnap(std::list<std::string>& scanPaths) = 0;
    // Stores the job's parameters and builds the REST client; must come first.
    // jobResultsFolder  the host's folder for this job's results (logged only)
    // snapInfoFile      file the plug-in appends "MOUNT:SNAPNAME@DEVICE:SNAPPATH"
    //                   lines to, one per snapshot; created when missing
    // snapMapFile       file the plug-in appends "m:FROM:TO:" lines to: each
    //                   mount path -> snapshot path, then the host's content map
    // connection1       the file server: HOST, HOST:PORT or a URL such as
    //                   https://HOST:9440/api/nutanix/v3
    // connection2       the user for basic authentication
    // connection3       the password (never logged)
    // currentJob        this job's id; this job's snapshots are named
    //                   "zkop__<clientId>_<appId>_<currentJob>"
    // previousJobId     the job whose snapshot is the reference of an incremental
    //                   job; 0 for a full job
    // fullJobId         the full job of this job's cycle; its snapshot is kept
    //                   only while it is the reference or named by incJobId/synthFullJobId
    // incJobId          a job whose snapshot must be kept (the last incremental)
    // synthFullJobId    the last synthetic full job, whose snapshot is kept; 0 for none
    // clientId, appId   the host's client and application ids, part of every
    //                   snapshot name, so different clients never touch each other's
    // contentMapper     the host's mapper from a local path to its scan form, or
    //                   empty; shared, the host may drop its own reference
    // Returns success; throws when the REST client cannot be built.
    virtual CRhError Initialize(const std::string& jobResultsFolder, const std::string& snapInfoFile,
                                const std::string& snapMapFile, const std::string& connection1,
                                const std::string& connection2, const std::string& connection3,
                                LONGLONG currentJob, LONGLONG previousJobId, LONGLONG fullJobId,
                                LONGLONG incJobId, LONGLONG synthFullJobId, ULONG clientId, ULONG appId,
                                const ContentMapperAPIPtr& contentMapper) = 0;
    // A copy of the map from each snapshotted share's mount path to the path
    // its current snapshot is read through (MOUNT/.snapshot/SNAPNAME).
    virtual std::map<std::string, std::string> GetSourceToLocalMap() = 0;
    // contentMap  the host's content map (local prefix -> scan-form prefix),
    //             appended to the snapshot map file as "m:KEY:VALUE:" lines
    // scanMap     scan form of a share -> its mount path; when not empty,
    //             IsPreviousSnapAvailable and CompareSnapAndLoadItem take scan
    //             forms and look them up here. Empty: they take mount paths.
    // Returns error 1627 when the snapshot map file is not set, cannot be
    // opened (" Failed to open [FILE] file: REASON") or written, or a
    // content-map entry holds a line break (" Failed to write [FILE] file:
    // REASON", also logged at level 0); nothing of the batch is then written
    // and the scan-path map is left unchanged. Success otherwise.
    virtual CRhError OverWriteSnapDevInfo(ContentMapperAPI::Map contentMap,
                                          std::map<std::string, std::string> scanMap) = 0;
    // Whether the share at `path` has the previous job's snapshot as a
    // reference, so CompareSnapAndLoadItem can load its changes. `path` is the
    // share's mount path, or its scan form when a scan map was given to
    // OverWriteSnapDevInfo; a trailing "/" is ignored. Never fails: false.
    virtual bool IsPreviousSnapAvailable(const std::string& path) = 0;
    // Loads every change between the share's reference snapshot and its
    // current one into `dbHelper`, one ItemCallBack per changed item, paths
    // below the share's scan form with a scan map, below its mount path without.
    // sourcePath   as for IsPreviousSnapAvailable: the mount path, or the
    //              scan form with a scan map (then a form that is not a key
    //              fails); a share the job did not snapshot loads nothing
    // passThrough  a text of the host's, handed on unchanged and not used
    //              by this plug-in; pass ""
    // dbHelper     the host's scan database; an error it returns stops the load
    // May throw NutanixException (or another std::exception) of the REST
    // client: when the client cannot be built, and when any request of the
    // difference fails (an HTTP error, a server unreachable for longer than
    // the high-availability wait, a malformed answer). Items handed over
    // before the exception stay in `dbHelper`.
    virtual CRhError CompareSnapAndLoadItem(std::string sourcePath, std::string passThrough,
                                            CNutanixDBHelperPtr& dbHelper) = 0;
    // Registers the backup product with the file server as a partner server.
    // entries  the addresses (host names or IPs) of the backup servers
    virtual CRhError CreatePartnerServer(std::list<std::string> entries) = 0;
    // Logs the plug-in's version and each share record at level 0; nothing
    // while there are no records. For diagnostics, at any time.
    virtual void PrintInfo() = 0;
    // The current snapshot path of the share mounted at exactly `mountPath`
    // (case-sensitive, no trailing "/"), when that share has a reference
    // snapshot; otherwise "".
    virtual std::string GetVolumeName(const std::string& mountPath) = 0;
};

// The factory's type, as the host resolves "GetNutanixAFSManager" with dlsym
// (extern "C"). Each call returns a new manager with nothing set.
typedef CNutanixAFSManagerBase* (*FGetNutanixAFSManager)();
