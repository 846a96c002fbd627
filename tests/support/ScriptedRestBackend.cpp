#include "tests/support/ScriptedRestBackend.h"

#include <algorithm>
#include <sstream>

namespace afs_test {
namespace {

template <typename T>
const T& Scripted(const T& answer, const char* operation) {
    if (!answer) throw std::logic_error(std::string("unscripted REST call: ") + operation);
    return answer;
}

template <typename T>
std::string Text(const boost::optional<T>& value) {
    if (!value) return "unset";
    std::ostringstream out;
    out << std::boolalpha << *value;
    return out.str();
}

std::string Text(const boost::optional<PairList&>& list) {
    if (!list) return "unset";
    std::string text = "[";
    for (const auto& pair : *list) text += (text.size() > 1 ? "," : "") + pair.first + ":" + pair.second;
    return text + "]";
}

std::shared_ptr<model::List_metadata_output> Metadata(int32_t offset, size_t length, int32_t total) {
    auto ptrMetadata = std::make_shared<model::List_metadata_output>();
    ptrMetadata->setOffset(offset);
    ptrMetadata->setLength(static_cast<int32_t>(length));
    ptrMetadata->setTotalMatches(total);
    return ptrMetadata;
}

template <typename T>
std::vector<T> PageOf(const std::vector<T>& all, int32_t offset, int32_t length) {
    const size_t begin = std::min(all.size(), static_cast<size_t>(offset));
    return std::vector<T>(all.begin() + begin, all.begin() + std::min(all.size(), begin + length));
}

}  // namespace

PartnerPage CScriptedRestBackend::get_partner_server(boost::optional<int32_t> offset,
                                                     boost::optional<int32_t> length) {
    listCalls.push_back("get_partner_server " + Text(offset) + " " + Text(length));
    return Scripted(fnGetPartnerServer, "get_partner_server")(offset.value_or(-1), length.value_or(-1));
}

std::string CScriptedRestBackend::create_partner_server(
    const std::string& name, const std::string& usage, const std::string& vendorName, const std::string& description,
    boost::optional<std::string&> dnsName, boost::optional<std::string> ipAddress, boost::optional<int32_t> port,
    boost::optional<bool> isEnabled, boost::optional<std::string&> partnerType,
    boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
    boost::optional<PairList&> exportList, boost::optional<bool> allowBackup) {
    listCalls.push_back("create_partner_server " + name + " " + usage + " " + vendorName + " [" + description +
                        "] dns=" + (dnsName ? *dnsName : "unset") + " ip=" + Text(ipAddress) + " port=" +
                        Text(port) + " enabled=" + Text(isEnabled) + " type=" +
                        (partnerType ? *partnerType : "unset") + " servers=" + Text(serverInfoList) +
                        " shares=" + Text(shareList) + " exports=" + Text(exportList) +
                        " backup=" + Text(allowBackup));
    return Scripted(fnCreatePartnerServer, "create_partner_server")();
}

SharePage CScriptedRestBackend::get_mount_target(boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    listCalls.push_back("get_mount_target " + Text(offset) + " " + Text(length));
    return Scripted(fnGetMountTarget, "get_mount_target")(offset.value_or(-1), length.value_or(-1));
}

SnapPage CScriptedRestBackend::get_mount_target_snapshot(boost::optional<int32_t> offset,
                                                         boost::optional<int32_t> length,
                                                         boost::optional<std::string> filter) {
    listCalls.push_back("get_mount_target_snapshot " + Text(offset) + " " + Text(length) + " " + Text(filter));
    return Scripted(fnGetMountTargetSnapshot, "get_mount_target_snapshot")(offset.value_or(-1), length.value_or(-1));
}

std::string CScriptedRestBackend::create_mount_target_snapshot(const std::string& mountTargetUuid,
                                                               const std::string& name,
                                                               const std::string& description,
                                                               boost::optional<bool> waitForCompletion) {
    listCalls.push_back("create_mount_target_snapshot " + mountTargetUuid + " " + name + " [" + description + "] " +
                        Text(waitForCompletion));
    return Scripted(fnCreateSnapshot, "create_mount_target_snapshot")(mountTargetUuid, name);
}

void CScriptedRestBackend::delete_mount_target_snapshot(const std::string& snapshotUuid,
                                                        boost::optional<bool> waitForCompletion) {
    listCalls.push_back("delete_mount_target_snapshot " + snapshotUuid + " " + Text(waitForCompletion));
    Scripted(fnDeleteSnapshot, "delete_mount_target_snapshot")(snapshotUuid);
}

std::shared_ptr<model::Mount_target_snapshot_diff_output>
CScriptedRestBackend::create_mount_target_snapshot_incremental_diff(const std::string& olderSnapshotUuid,
                                                                    const std::string& newerSnapshotUuid,
                                                                    boost::optional<std::string> pathFilter,
                                                                    boost::optional<std::string> objectTypeFilter) {
    listCalls.push_back("create_mount_target_snapshot_incremental_diff " + olderSnapshotUuid + " " +
                        newerSnapshotUuid + " " + Text(pathFilter) + " " + Text(objectTypeFilter));
    return Scripted(fnCreateDiff, "create_mount_target_snapshot_incremental_diff")();
}

DiffPage CScriptedRestBackend::get_mount_target_snapshot_diff_page(const std::string& diffUuid,
                                                                   boost::optional<std::string> pageToken,
                                                                   boost::optional<std::string> pageSize) {
    listCalls.push_back("get_mount_target_snapshot_diff_page " + diffUuid + " [" + Text(pageToken) + "] " +
                        Text(pageSize));
    return Scripted(fnGetDiffPage, "get_mount_target_snapshot_diff_page")(diffUuid);
}

CScopedScriptedBackend::CScopedScriptedBackend(std::shared_ptr<afs_rest::IRestBackend> backend)
    : ptrConfigs(std::make_shared<std::vector<afs_rest::RestClientConfig>>()) {
    auto ptrRecorded = ptrConfigs;
    fnPrevious = afs_rest::SetRestBackendFactory([backend, ptrRecorded](const afs_rest::RestClientConfig& config) {
        ptrRecorded->push_back(config);
        return backend;
    });
}

CScopedScriptedBackend::~CScopedScriptedBackend() { afs_rest::SetRestBackendFactory(fnPrevious); }

SharePage MakeSharePage(int32_t offset, int32_t total, const std::vector<ShareSpec>& shares) {
    auto ptrPage = std::make_shared<model::Mount_target_list_intent_response>();
    ptrPage->setMetadata(Metadata(offset, shares.size(), total));
    std::vector<std::shared_ptr<model::Mount_target_intent_resource>> listEntities;
    for (const ShareSpec& share : shares) {
        auto ptrEntity = std::make_shared<model::Mount_target_intent_resource>();
        ptrEntity->setMetadata(std::make_shared<model::Mount_target_metadata>());
        ptrEntity->getMetadata()->setUuid(share.strUuid);
        auto ptrResources = std::make_shared<model::Mount_target_details>();
        ptrResources->setShareType("GENERAL");
        ptrResources->setCapabilityList(share.listCapabilities);
        ptrEntity->setStatus(std::make_shared<model::Mount_target_def_status>());
        ptrEntity->getStatus()->setName(share.strName);
        ptrEntity->getStatus()->setResources(ptrResources);
        listEntities.push_back(ptrEntity);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

SnapPage MakeSnapPage(int32_t offset, int32_t total, const std::vector<SnapSpec>& snaps) {
    auto ptrPage = std::make_shared<model::Mount_target_snapshot_list_intent_response>();
    ptrPage->setMetadata(Metadata(offset, snaps.size(), total));
    std::vector<std::shared_ptr<model::Mount_target_snapshot_intent_resource>> listEntities;
    for (const SnapSpec& snap : snaps) {
        auto ptrEntity = std::make_shared<model::Mount_target_snapshot_intent_resource>();
        ptrEntity->setMetadata(std::make_shared<model::Mount_target_snapshot_metadata>());
        ptrEntity->getMetadata()->setUuid(snap.strUuid);
        auto ptrResources = std::make_shared<model::Mount_target_snapshot_details>();
        ptrResources->setMountTargetUuid(snap.strMountTargetUuid);
        ptrEntity->setStatus(std::make_shared<model::Mount_target_snapshot_def_status>());
        ptrEntity->getStatus()->setName(snap.strName);
        ptrEntity->getStatus()->setResources(ptrResources);
        listEntities.push_back(ptrEntity);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

PartnerPage MakePartnerPage(int32_t offset, int32_t total, const std::vector<std::string>& names) {
    auto ptrPage = std::make_shared<model::Partner_server_list_intent_response>();
    ptrPage->setMetadata(Metadata(offset, names.size(), total));
    std::vector<std::shared_ptr<model::Partner_server_intent_resource>> listEntities;
    for (const std::string& name : names) {
        listEntities.push_back(std::make_shared<model::Partner_server_intent_resource>());
        listEntities.back()->setStatus(std::make_shared<model::Partner_server_def_status>());
        listEntities.back()->getStatus()->setName(name);
    }
    ptrPage->setEntities(listEntities);
    return ptrPage;
}

std::function<SharePage(int32_t, int32_t)> ServeShares(std::vector<ShareSpec> all) {
    return [all](int32_t offset, int32_t length) {
        return MakeSharePage(offset, static_cast<int32_t>(all.size()), PageOf(all, offset, length));
    };
}

std::function<SnapPage(int32_t, int32_t)> ServeSnaps(std::vector<SnapSpec> all) {
    return [all](int32_t offset, int32_t length) {
        return MakeSnapPage(offset, static_cast<int32_t>(all.size()), PageOf(all, offset, length));
    };
}

std::function<PartnerPage(int32_t, int32_t)> ServePartners(std::vector<std::string> all) {
    return [all](int32_t offset, int32_t length) {
        return MakePartnerPage(offset, static_cast<int32_t>(all.size()), PageOf(all, offset, length));
    };
}

}  // namespace afs_test
