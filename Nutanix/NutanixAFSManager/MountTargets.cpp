// Listing of the file server's shares (mount targets).
#include <algorithm>

#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "Nutanix/NutanixAFSManager/PluginLog.h"
#include "Nutanix/NutanixAFSManager/RestCallGuard.h"
#include "Nutanix/NutanixAFSManager/RestPaging.h"
#include "restclient/CurlClient.h"

namespace {

const RestGuardTexts kGetMountTargetGuard = {
    "get_mount_target",
    "Exception was raised by get_mount_target, Reason :[UNKNOWN]",
    "get_mount_target called failed with error [%s]",
    "get_mount_target called failed",
};

MountedTargets MakeMountedTarget(const afs_rest::model::Mount_target_intent_resource& entity) {
    MountedTargets target;
    if (const auto& ptrStatus = entity.getStatus()) {
        target.strShareName = ptrStatus->getName();
        if (const auto& ptrResources = ptrStatus->getResources()) {
            target.strShareType = ptrResources->getShareType();
            const std::vector<std::string>& listCapabilities = ptrResources->getCapabilityList();
            target.bCFTBackup = std::find(listCapabilities.begin(), listCapabilities.end(), CFT_BACKUP) !=
                                listCapabilities.end();
        }
    }
    if (const auto& ptrMetadata = entity.getMetadata()) target.strShareUUID = ptrMetadata->getUuid();
    return target;
}

}  // namespace

CRhError CNutanixAFSManagerAPIHelper::GetMountedTargets(std::vector<MountedTargets>& targets) {
    HOST_LOG(3, "Get list of mounted targets");
    const FXCodeLocation location = FX_CODE_LOCATION;
    const size_t uBefore = targets.size();
    return RunRestGuarded(kGetMountTargetGuard, location, [&]() -> CRhError {
        return WalkRestPages(
            "get_mount_target", location, ullMaxListEntities,
            [&](uint32_t offset, uint32_t length) {
                return ptrCurlClient->get_mount_target(static_cast<int32_t>(offset),
                                                       static_cast<int32_t>(length));
            },
            [&](const std::shared_ptr<afs_rest::model::Mount_target_list_intent_response>& ptrPage,
                const std::vector<std::shared_ptr<afs_rest::model::Mount_target_intent_resource>>&
                    listEntities,
                uint32_t, uint32_t, EPageStep&) -> CRhError {
                if (!ptrPage) {
                    PLUGIN_LOG_AT(location, 0, "get_mount_target failed");
                    return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                   "get_mount_target failed");
                }
                const uint32_t totalMatches =
                    ptrPage->getMetadata() ? static_cast<uint32_t>(ptrPage->getMetadata()->getTotalMatches())
                                           : 0;
                PLUGIN_LOG_AT(location, 0, "Total Number of Mounted Targets : %u", totalMatches);
                if (g_ptrLogWriter && g_ptrLogWriter->GetLevel() >= 7) {
                    PLUGIN_LOG_AT(location, 7, " get_mount_target response [%s]",
                                  ptrPage->toJson().serialize().c_str());
                }
                for (const auto& ptrEntity : listEntities) targets.push_back(MakeMountedTarget(*ptrEntity));
                return CRhError::Success();
            },
            [&] { targets.erase(targets.begin() + uBefore, targets.end()); });
    });
}
