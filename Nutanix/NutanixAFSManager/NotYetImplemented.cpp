// Operations whose implementation is still to come answer error 1627.
#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"

namespace {
CRhError NotImplemented(const FXCodeLocation& location) {
    return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE, "not implemented");
}
}  // namespace

CRhError CNutanixAFSManager::CreateAndMountSnap(std::list<std::string>&) { return NotImplemented(FX_CODE_LOCATION); }
CRhError CNutanixAFSManager::OverWriteSnapDevInfo(ContentMapperAPI::Map, std::map<std::string, std::string>) {
    return NotImplemented(FX_CODE_LOCATION);
}
bool CNutanixAFSManager::IsPreviousSnapAvailable(const std::string&) { return false; }
CRhError CNutanixAFSManager::CompareSnapAndLoadItem(std::string, std::string, CNutanixDBHelperPtr&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManager::ConfigureAFSVolumeSnap() { return NotImplemented(FX_CODE_LOCATION); }
CRhError CNutanixAFSManager::ConfigureAFSVolumeInfo(const std::list<std::string>&, const std::vector<MountedTargets>&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManager::SaveSnapDevInfo(const std::string&, const std::string&, const std::string&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManager::convertScanToMountFormat(const std::string&, std::string&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::CreatePartnerServer(const std::list<std::string>&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::GetMountedTargets(std::vector<MountedTargets>&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::GetListOfSnapsForUUID(const std::string&, std::vector<MountedTargetsSnaps>&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::CleanListOfSnapsForUUID(const std::string&,
                                                              const std::vector<MountedTargetsSnaps>&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::CreateSnap(const std::string&, const std::string&, std::string&) {
    return NotImplemented(FX_CODE_LOCATION);
}
CRhError CNutanixAFSManagerAPIHelper::CompareSnapAndLoadItem(const NutanixAFSVolumeInfo&, std::string,
                                                             CNutanixDBHelperPtr&) {
    return NotImplemented(FX_CODE_LOCATION);
}
