// Listing, deletion and creation of a share's snapshots.
#include <algorithm>

#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "Nutanix/NutanixAFSManager/PluginLog.h"
#include "Nutanix/NutanixAFSManager/RestCallGuard.h"
#include "Nutanix/NutanixAFSManager/RestPaging.h"
#include "restclient/CurlClient.h"

namespace {

const char* const kSnapshotDescription = "Snapshot created from scan";

const RestGuardTexts kListSnapshotsGuard = {
    "get_mount_target_snapshot",
    "Exception was raised by get_mount_target_snapshot, Reason :[UNKNOWN]",
    "get_mount_target_snapshot called failed with error [%s]",
    "get_mount_target_snapshot called failed",
};

const RestGuardTexts kCreateSnapshotGuard = {
    "create_mount_target_snapshot",
    "Exception was raised by create_mount_target_snapshot, Reason :[UNKNOWN]",
    "Create Snap function failed with error [%s]",
    "Create Snap function failed",
};

}  // namespace

CRhError CNutanixAFSManagerAPIHelper::GetListOfSnapsForUUID(const std::string& volumeUUID,
                                                            std::vector<MountedTargetsSnaps>& snaps) {
    HOST_LOG(3, "Get list of snapshot for UUID [%s]", volumeUUID.c_str());
    const FXCodeLocation location = FX_CODE_LOCATION;
    const size_t uBefore = snaps.size();
    return RunRestGuarded(kListSnapshotsGuard, location, [&]() -> CRhError {
        return WalkRestPages(
            "get_mount_target_snapshot", location, ullMaxListEntities,
            [&](uint32_t offset, uint32_t length) {
                return ptrCurlClient->get_mount_target_snapshot(static_cast<int32_t>(offset),
                                                                static_cast<int32_t>(length), boost::none);
            },
            [&](const std::shared_ptr<afs_rest::model::Mount_target_snapshot_list_intent_response>& ptrPage,
                const std::vector<std::shared_ptr<afs_rest::model::Mount_target_snapshot_intent_resource>>&
                    listEntities,
                uint32_t, uint32_t, EPageStep& step) -> CRhError {
                if (!ptrPage) {
                    // No answer means no (more) snapshots, not a failure.
                    PLUGIN_LOG_AT(location, 0, "get_mount_target_snapshot returned no shapsots");
                    step = ePageStop;
                    return CRhError::Success();
                }
                if (g_ptrLogWriter && g_ptrLogWriter->GetLevel() >= 7) {
                    PLUGIN_LOG_AT(location, 7, "get_mount_target_snapshot [%s]",
                                  ptrPage->toJson().serialize().c_str());
                }
                for (const auto& ptrEntity : listEntities) {
                    MountedTargetsSnaps snap;
                    std::string strState;
                    std::string strMountTargetUUID;
                    if (const auto& ptrMetadata = ptrEntity->getMetadata())
                        snap.strSnapUUID = ptrMetadata->getUuid();
                    if (const auto& ptrStatus = ptrEntity->getStatus()) {
                        snap.strSnapName = ptrStatus->getName();
                        strState = ptrStatus->getState();
                        if (const auto& ptrResources = ptrStatus->getResources()) {
                            strMountTargetUUID = ptrResources->getMountTargetUuid();
                        }
                    }
                    PLUGIN_LOG_AT(location, 7,
                                  "SnapName [%s], snap UUID [%s], state [%s], mountTargetUUID [%s]",
                                  snap.strSnapName.c_str(), snap.strSnapUUID.c_str(), strState.c_str(),
                                  strMountTargetUUID.c_str());
                    if (strMountTargetUUID == volumeUUID) snaps.push_back(std::move(snap));
                }
                return CRhError::Success();
            },
            [&] { snaps.erase(snaps.begin() + uBefore, snaps.end()); });
    });
}

CRhError CNutanixAFSManagerAPIHelper::CleanListOfSnapsForUUID(const std::string& /*volumeUUID*/,
                                                              const std::vector<MountedTargetsSnaps>& snaps) {
    for (const MountedTargetsSnaps& snap : snaps) {
        HOST_LOG(0, "Deleting snap UUID [%s], name [%s]", snap.strSnapUUID.c_str(), snap.strSnapName.c_str());
        // A snapshot that cannot be deleted stays on the server; the job goes on.
        try {
            ptrCurlClient->delete_mount_target_snapshot(snap.strSnapUUID, boost::optional<bool>(true));
        } catch (const std::exception& exception) {
            HOST_LOG(0, "Delete Snap called failed with error [%s]", exception.what());
        } catch (...) {
            HOST_LOG(0, "Delete Snap called failed");
        }
    }
    return CRhError::Success();
}

CNutanixAFSManagerAPIHelper::ESnapSearch CNutanixAFSManagerAPIHelper::FindSnapByName(
    const std::string& volumeUUID, const std::string& snapname,
    const std::vector<MountedTargetsSnaps>& listedBefore, std::string& snapUUID) {
    std::vector<MountedTargetsSnaps> listSnaps;
    if (GetListOfSnapsForUUID(volumeUUID, listSnaps).IsError()) return eSnapNotFound;
    ESnapSearch eFound = eSnapNotFound;
    for (const MountedTargetsSnaps& snap : listSnaps) {
        if (snap.strSnapName != snapname || snap.strSnapUUID.empty()) continue;
        const bool bListedBefore = std::any_of(
            listedBefore.begin(), listedBefore.end(),
            [&snap](const MountedTargetsSnaps& before) { return before.strSnapUUID == snap.strSnapUUID; });
        if (!bListedBefore) {
            snapUUID = snap.strSnapUUID;
            return eSnapNew;
        }
        if (eFound == eSnapNotFound) {
            snapUUID = snap.strSnapUUID;
            eFound = eSnapLeftover;
        }
    }
    return eFound;
}

CRhError CNutanixAFSManagerAPIHelper::CreateSnap(const std::string& volumeUUID, const std::string& snapname,
                                                 std::string& snapUUID,
                                                 const std::vector<MountedTargetsSnaps>& listedBefore) {
    HOST_LOG(0, "Creating snap. volumeUUID [%s], snapname [%s]", volumeUUID.c_str(), snapname.c_str());
    const FXCodeLocation location = FX_CODE_LOCATION;
    return RunRestGuarded(kCreateSnapshotGuard, location, [&]() -> CRhError {
        std::string newUUID;
        try {
            newUUID = ptrCurlClient->create_mount_target_snapshot(volumeUUID, snapname, kSnapshotDescription,
                                                                  boost::optional<bool>(true));
        } catch (const NutanixException& exception) {
            // A request re-sent after a failover finds the snapshot that its
            // first attempt made: one of that name that was not there before.
            // One that was is a leftover of an earlier run of this job id whose
            // deletion failed; its content is old, so it must not become this
            // job's snapshot.
            if (exception.GetHttpStatus() != 409) throw;
            const ESnapSearch eFound = FindSnapByName(volumeUUID, snapname, listedBefore, newUUID);
            if (eFound == eSnapNotFound) throw;
            if (eFound == eSnapLeftover) {
                const std::string reason =
                    "a leftover snapshot named " + snapname + " (UUID " + newUUID + ") could not be deleted";
                CRhError error =
                    FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                            "Create Snap function failed with error [%s]", reason.c_str());
                PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
                return error;
            }
            PLUGIN_LOG_AT(location, 0,
                          "Snap [%s] was created by an earlier attempt of this request, UUID [%s]",
                          snapname.c_str(), newUUID.c_str());
        }
        // Without a UUID the snapshot can be neither compared nor deleted
        // later: reporting success would lose the next incremental's reference.
        if (newUUID.empty()) {
            CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                     "Create Snap function failed with error [%s]",
                                                     "the file server answered an empty snapshot UUID");
            PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
            return error;
        }
        snapUUID = newUUID;
        PLUGIN_LOG_AT(location, 0, "Snap creation success and SnapUUID [%s]", snapUUID.c_str());
        return CRhError::Success();
    });
}
