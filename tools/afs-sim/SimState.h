#pragma once

// The file server's persistent objects: shares (the sub-directories of the
// shares folder), snapshots and partner servers. Everything is kept in the
// state folder, so the simulator can be stopped and started between jobs.
// Thread-safe: every public member takes the state's lock.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/afs-sim/Manifest.h"

namespace afs_sim {

struct ShareInfo {
    std::string strName;
    std::string strUuid;
    std::string strShareType = "GENERAL";
    std::vector<std::string> listCapabilities{"CFT_BACKUP"};
};

// A setting given on the command line for one share; it is persisted.
struct ShareOverride {
    std::string strName;
    bool bHasType = false;
    std::string strShareType;
    bool bHasCapabilities = false;
    std::vector<std::string> listCapabilities;
};

struct SnapshotInfo {
    std::string strUuid;
    std::string strName;
    std::string strShareUuid;
    std::string strDescription;
    int64_t llCreatedNs = 0;
    uint64_t uSequence = 0;  // creation order, for a stable listing
};

struct PartnerServerInfo {
    std::string strUuid;
    std::string strName;
    std::string strResourcesJson;  // as the client sent it, minified
};

enum class EStateError { eOk, eNotFound, eConflict, eInvalid, eInternal };

struct StateResult {
    EStateError eError = EStateError::eOk;
    std::string strMessage;
};

class CSimState {
public:
    // Creates the state folder when needed and loads it. Returns an empty
    // text on success, else what went wrong (ptrState then stays empty).
    static std::string Open(const std::string& strSharesDir, const std::string& strStateDir,
                            const std::vector<ShareOverride>& listOverrides,
                            std::unique_ptr<CSimState>& ptrState);

    // Rescans the shares folder; new sub-directories get a UUID that is kept.
    std::vector<ShareInfo> ListShares();
    // In creation order.
    std::vector<SnapshotInfo> ListSnapshots();
    bool FindSnapshot(const std::string& strUuid, SnapshotInfo& snapshot);
    std::string LoadSnapshotManifest(const std::string& strUuid, Manifest& manifest);

    // Records the manifest and copies the share to SHARE/.snapshot/NAME.
    StateResult CreateSnapshot(const std::string& strShareUuid, const std::string& strName,
                               const std::string& strDescription, SnapshotInfo& snapshot);
    StateResult DeleteSnapshot(const std::string& strUuid);

    // A name that exists is updated and keeps its UUID.
    StateResult UpsertPartnerServer(const std::string& strName, const std::string& strResourcesJson,
                                    std::string& strUuid);
    std::vector<PartnerServerInfo> ListPartnerServers();

private:
    CSimState(std::string strSharesDir, std::string strStateDir);
    std::string Load(const std::vector<ShareOverride>& listOverrides);
    std::string ScanShares();
    std::string SaveShares() const;
    std::string SavePartnerServers() const;
    std::string SnapshotDir(const std::string& strUuid) const;
    const ShareInfo* FindShareLocked(const std::string& strUuid) const;
    // New manifest path -> the file of the share's newest snapshot copy that
    // the new copy links to instead of copying it.
    std::map<std::string, std::string> UnchangedSinceLastSnapshot(const ShareInfo& share,
                                                                  const Manifest& manifest);

    const std::string strSharesDir;
    const std::string strStateDir;
    std::mutex mutex;
    std::vector<ShareInfo> listShares;
    std::vector<SnapshotInfo> listSnapshots;
    std::vector<PartnerServerInfo> listPartnerServers;
    uint64_t uNextSequence = 1;
};

// A name that can be a single directory name: not empty, not "." or "..",
// no '/', no NUL, at most 255 bytes.
bool IsSafeEntryName(const std::string& strName);

}  // namespace afs_sim
