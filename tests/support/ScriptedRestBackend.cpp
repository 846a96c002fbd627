#include "tests/support/ScriptedRestBackend.h"

#include <algorithm>

namespace afs_test {
namespace {

[[noreturn]] void Unscripted(const std::string& operation) {
    throw std::logic_error("unscripted REST call: " + operation);
}

std::string OptionalText(const boost::optional<int32_t>& value) {
    return value ? std::to_string(*value) : std::string("unset");
}

}  // namespace

std::shared_ptr<model::Partner_server_list_intent_response> CScriptedRestBackend::get_partner_server(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    listCalls.push_back("get_partner_server " + OptionalText(offset) + " " + OptionalText(length));
    if (!fnGetPartnerServer) Unscripted("get_partner_server");
    return fnGetPartnerServer(offset.value_or(-1), length.value_or(-1));
}

std::string CScriptedRestBackend::create_partner_server(
    const std::string& name, const std::string& usage, const std::string& vendorName, const std::string& description,
    boost::optional<std::string&> dnsName, boost::optional<std::string> ipAddress, boost::optional<int32_t> port,
    boost::optional<bool> isEnabled, boost::optional<std::string&> partnerType,
    boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
    boost::optional<PairList&> exportList, boost::optional<bool> allowBackup) {
    listCalls.push_back("create_partner_server " + name);
    PartnerCreation creation;
    creation.strName = name;
    creation.strUsage = usage;
    creation.strVendor = vendorName;
    creation.strDescription = description;
    creation.bDnsNameSet = static_cast<bool>(dnsName);
    creation.bIpAddressSet = static_cast<bool>(ipAddress);
    creation.bPortSet = static_cast<bool>(port);
    creation.bPartnerTypeSet = static_cast<bool>(partnerType);
    creation.optEnabled = isEnabled;
    creation.optAllowBackup = allowBackup;
    if (serverInfoList) creation.optServerInfo = *serverInfoList;
    if (shareList) creation.optShares = *shareList;
    if (exportList) creation.optExports = *exportList;
    listPartnerCreations.push_back(creation);
    if (!fnCreatePartnerServer) Unscripted("create_partner_server");
    return fnCreatePartnerServer(creation);
}

std::shared_ptr<model::Mount_target_list_intent_response> CScriptedRestBackend::get_mount_target(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    listCalls.push_back("get_mount_target " + OptionalText(offset) + " " + OptionalText(length));
    if (!fnGetMountTarget) Unscripted("get_mount_target");
    return fnGetMountTarget(offset.value_or(-1), length.value_or(-1));
}

std::shared_ptr<model::Mount_target_snapshot_list_intent_response> CScriptedRestBackend::get_mount_target_snapshot(
    boost::optional<int32_t> offset, boost::optional<int32_t> length, boost::optional<std::string> filter) {
    listCalls.push_back("get_mount_target_snapshot " + OptionalText(offset) + " " + OptionalText(length) +
                        (filter ? " filter=" + *filter : std::string()));
    if (!fnGetMountTargetSnapshot) Unscripted("get_mount_target_snapshot");
    return fnGetMountTargetSnapshot(offset.value_or(-1), length.value_or(-1));
}

std::string CScriptedRestBackend::create_mount_target_snapshot(const std::string& mountTargetUuid,
                                                               const std::string& name,
                                                               const std::string& description,
                                                               boost::optional<bool> waitForCompletion) {
    listCalls.push_back("create_mount_target_snapshot " + mountTargetUuid + " " + name + " [" + description + "] " +
                        (waitForCompletion ? (*waitForCompletion ? "true" : "false") : "unset"));
    if (!fnCreateSnapshot) Unscripted("create_mount_target_snapshot");
    return fnCreateSnapshot(mountTargetUuid, name);
}

void CScriptedRestBackend::delete_mount_target_snapshot(const std::string& snapshotUuid,
                                                        boost::optional<bool> waitForCompletion) {
    listCalls.push_back("delete_mount_target_snapshot " + snapshotUuid + " " +
                        (waitForCompletion ? (*waitForCompletion ? "true" : "false") : "unset"));
    if (!fnDeleteSnapshot) Unscripted("delete_mount_target_snapshot");
    fnDeleteSnapshot(snapshotUuid);
}

std::shared_ptr<model::Mount_target_snapshot_diff_output>
CScriptedRestBackend::create_mount_target_snapshot_incremental_diff(const std::string& olderSnapshotUuid,
                                                                    const std::string& newerSnapshotUuid,
                                                                    boost::optional<std::string> pathFilter,
                                                                    boost::optional<std::string> objectTypeFilter) {
    listCalls.push_back("create_mount_target_snapshot_incremental_diff " + olderSnapshotUuid + " " +
                        newerSnapshotUuid + (pathFilter || objectTypeFilter ? " filtered" : ""));
    if (!fnCreateDiff) Unscripted("create_mount_target_snapshot_incremental_diff");
    return fnCreateDiff(olderSnapshotUuid, newerSnapshotUuid);
}

model::Mount_target_snapshot_diff_tracking_output CScriptedRestBackend::get_mount_target_snapshot_diff_page(
    const std::string& diffUuid, boost::optional<std::string> pageToken, boost::optional<std::string> pageSize) {
    listCalls.push_back("get_mount_target_snapshot_diff_page " + diffUuid + " " +
                        (pageToken ? "[" + *pageToken + "]" : std::string("unset")) + " " +
                        (pageSize ? *pageSize : std::string("unset")));
    if (!fnGetDiffPage) Unscripted("get_mount_target_snapshot_diff_page");
    return fnGetDiffPage(diffUuid, pageToken);
}

CScopedScriptedBackend::CScopedScriptedBackend(std::shared_ptr<CScriptedRestBackend> backend)
    : ptrConfigs(std::make_shared<std::vector<afs_rest::RestClientConfig>>()) {
    auto ptrRecorded = ptrConfigs;
    fnPrevious = afs_rest::SetRestBackendFactory(
        [backend, ptrRecorded](const afs_rest::RestClientConfig& config) -> std::shared_ptr<afs_rest::IRestBackend> {
            ptrRecorded->push_back(config);
            return backend;
        });
}

CScopedScriptedBackend::~CScopedScriptedBackend() { afs_rest::SetRestBackendFactory(fnPrevious); }

std::shared_ptr<model::List_metadata_output> MakeMetadata(int32_t offset, int32_t length, int32_t total) {
    auto ptrMetadata = std::make_shared<model::List_metadata_output>();
    ptrMetadata->setOffset(offset);
    ptrMetadata->setLength(length);
    ptrMetadata->setTotalMatches(total);
    return ptrMetadata;
}

std::shared_ptr<model::Mount_target_list_intent_response> MakeSharePage(int32_t offset, int32_t total,
                                                                        const std::vector<ShareSpec>& shares) {
    auto ptrPage = std::make_shared<model::Mount_target_list_intent_response>();
    ptrPage->setMetadata(MakeMetadata(offset, static_cast<int32_t>(shares.size()), total));
    std::vector<std::shared_ptr<model::Mount_target_intent_resource>> listEntities;
    for (const ShareSpec& share : shares) {
        auto ptrEntity = std::make_shared<model::Mount_target_intent_resource>();
        auto ptrMetadata = std::make_shared<model::Mount_target_metadata>();
        ptrMetadata->setUuid(share.strUuid);
        auto ptrResources = std::make_shared<model::Mount_target_details>();
        ptrResources->setShareType(share.strShareType);
        ptrResources->setCapabilityList(share.listCapabilities);
        auto ptrStatus = std::make_shared<model::Mount_target_def_status>();
        ptrStatus->setName(share.strName);
        ptrStatus->setState("COMPLETE");
        ptrStatus->setResources(ptrResources);
        ptrEntity->setMetadata(ptrMetadata);
        ptrEntity->setStatus(ptrStatus);
        listEntities.push_back(ptrEntity);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

std::shared_ptr<model::Mount_target_snapshot_list_intent_response> MakeSnapPage(int32_t offset, int32_t total,
                                                                                const std::vector<SnapSpec>& snaps) {
    auto ptrPage = std::make_shared<model::Mount_target_snapshot_list_intent_response>();
    ptrPage->setMetadata(MakeMetadata(offset, static_cast<int32_t>(snaps.size()), total));
    std::vector<std::shared_ptr<model::Mount_target_snapshot_intent_resource>> listEntities;
    for (const SnapSpec& snap : snaps) {
        auto ptrEntity = std::make_shared<model::Mount_target_snapshot_intent_resource>();
        auto ptrMetadata = std::make_shared<model::Mount_target_snapshot_metadata>();
        ptrMetadata->setUuid(snap.strUuid);
        auto ptrResources = std::make_shared<model::Mount_target_snapshot_details>();
        ptrResources->setMountTargetUuid(snap.strMountTargetUuid);
        auto ptrStatus = std::make_shared<model::Mount_target_snapshot_def_status>();
        ptrStatus->setName(snap.strName);
        ptrStatus->setState(snap.strState);
        ptrStatus->setResources(ptrResources);
        ptrEntity->setMetadata(ptrMetadata);
        ptrEntity->setStatus(ptrStatus);
        listEntities.push_back(ptrEntity);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

std::shared_ptr<model::Partner_server_list_intent_response> MakePartnerPage(int32_t offset, int32_t total,
                                                                            const std::vector<std::string>& names) {
    auto ptrPage = std::make_shared<model::Partner_server_list_intent_response>();
    ptrPage->setMetadata(MakeMetadata(offset, static_cast<int32_t>(names.size()), total));
    std::vector<std::shared_ptr<model::Partner_server_intent_resource>> listEntities;
    for (const std::string& name : names) {
        auto ptrEntity = std::make_shared<model::Partner_server_intent_resource>();
        auto ptrStatus = std::make_shared<model::Partner_server_def_status>();
        ptrStatus->setName(name);
        ptrEntity->setStatus(ptrStatus);
        auto ptrMetadata = std::make_shared<model::Partner_server_metadata>();
        ptrMetadata->setUuid("uuid-" + name);
        ptrEntity->setMetadata(ptrMetadata);
        listEntities.push_back(ptrEntity);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

namespace {

// The entries a real server answers for one list request.
template <typename T>
std::vector<T> PageOf(const std::vector<T>& all, int32_t offset, int32_t length) {
    const size_t begin = std::min(all.size(), static_cast<size_t>(offset));
    const size_t end = std::min(all.size(), begin + static_cast<size_t>(length));
    return std::vector<T>(all.begin() + begin, all.begin() + end);
}

}  // namespace

std::function<std::shared_ptr<model::Mount_target_list_intent_response>(int32_t, int32_t)> ServeShares(
    std::vector<ShareSpec> all) {
    return [all](int32_t offset, int32_t length) {
        return MakeSharePage(offset, static_cast<int32_t>(all.size()), PageOf(all, offset, length));
    };
}

std::function<std::shared_ptr<model::Mount_target_snapshot_list_intent_response>(int32_t, int32_t)> ServeSnaps(
    std::vector<SnapSpec> all) {
    return [all](int32_t offset, int32_t length) {
        return MakeSnapPage(offset, static_cast<int32_t>(all.size()), PageOf(all, offset, length));
    };
}

}  // namespace afs_test
