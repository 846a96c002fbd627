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
std::string Text(const optional<T>& value) {
    std::ostringstream out;
    if (value) out << std::boolalpha << *value;
    return value ? out.str() : "unset";
}

std::string Text(const optional<PairList&>& list) {
    std::string text = "[";
    for (const auto& pair : list ? *list : PairList())
        text += (text.size() > 1 ? "," : "") + pair.first + ":" + pair.second;
    return list ? text + "]" : "unset";
}

// A page of `total` with the entries of `all` from `offset`, each filled in by `fill`.
template <typename Page, typename T, typename Fill>
std::function<std::shared_ptr<Page>(int32_t, int32_t)> Serve(std::vector<T> all, int32_t total, Fill fill) {
    return [all, total, fill](int32_t offset, int32_t length) {
        auto ptrPage = std::make_shared<Page>();
        const size_t begin = std::min(all.size(), static_cast<size_t>(offset));
        const size_t end = std::min(all.size(), begin + length);
        auto ptrMetadata = std::make_shared<model::List_metadata_output>();
        ptrMetadata->setOffset(offset);
        ptrMetadata->setLength(static_cast<int32_t>(end - begin));
        ptrMetadata->setTotalMatches(total < 0 ? static_cast<int32_t>(all.size()) : total);
        ptrPage->setMetadata(ptrMetadata);
        typename std::decay<decltype(ptrPage->getEntities())>::type listEntities;
        for (size_t i = begin; i < end; ++i) {
            listEntities.push_back(
                std::make_shared<typename decltype(listEntities)::value_type::element_type>());
            fill(*listEntities.back(), all[i]);
        }
        ptrPage->setEntities(listEntities);
        return ptrPage;
    };
}

}  // namespace

PartnerPage CScriptedRestBackend::get_partner_server(optional<int32_t> offset, optional<int32_t> length) {
    listCalls.push_back("get_partner_server " + Text(offset) + " " + Text(length));
    return Scripted(fnGetPartnerServer, "get_partner_server")(offset.value_or(-1), length.value_or(-1));
}

std::string CScriptedRestBackend::create_partner_server(
    Str name, Str usage, Str vendorName, Str description, optional<std::string&> dnsName,
    optional<std::string> ipAddress, optional<int32_t> port, optional<bool> isEnabled,
    optional<std::string&> partnerType, optional<PairList&> serverInfoList, optional<PairList&> shareList,
    optional<PairList&> exportList, optional<bool> allowBackup) {
    listCalls.push_back("create_partner_server " + name + " " + usage + " " + vendorName + " [" +
                        description + "] dns=" + (dnsName ? *dnsName : "unset") + " ip=" + Text(ipAddress) +
                        " port=" + Text(port) + " enabled=" + Text(isEnabled) +
                        " type=" + (partnerType ? *partnerType : "unset") +
                        " servers=" + Text(serverInfoList) + " shares=" + Text(shareList) +
                        " exports=" + Text(exportList) + " backup=" + Text(allowBackup));
    return Scripted(fnCreatePartnerServer, "create_partner_server")();
}

SharePage CScriptedRestBackend::get_mount_target(optional<int32_t> offset, optional<int32_t> length) {
    listCalls.push_back("get_mount_target " + Text(offset) + " " + Text(length));
    return Scripted(fnGetMountTarget, "get_mount_target")(offset.value_or(-1), length.value_or(-1));
}

SnapPage CScriptedRestBackend::get_mount_target_snapshot(optional<int32_t> offset, optional<int32_t> length,
                                                         optional<std::string> filter) {
    listCalls.push_back("get_mount_target_snapshot " + Text(offset) + " " + Text(length) + " " +
                        Text(filter));
    return Scripted(fnGetMountTargetSnapshot, "get_mount_target_snapshot")(offset.value_or(-1),
                                                                           length.value_or(-1));
}

std::string CScriptedRestBackend::create_mount_target_snapshot(Str mountTargetUuid, Str name, Str description,
                                                               optional<bool> waitForCompletion) {
    listCalls.push_back("create_mount_target_snapshot " + mountTargetUuid + " " + name + " [" + description +
                        "] " + Text(waitForCompletion));
    return Scripted(fnCreateSnapshot, "create_mount_target_snapshot")(mountTargetUuid, name);
}

void CScriptedRestBackend::delete_mount_target_snapshot(Str snapshotUuid, optional<bool> waitForCompletion) {
    listCalls.push_back("delete_mount_target_snapshot " + snapshotUuid + " " + Text(waitForCompletion));
    Scripted(fnDeleteSnapshot, "delete_mount_target_snapshot")(snapshotUuid);
}

DiffOutput CScriptedRestBackend::create_mount_target_snapshot_incremental_diff(
    Str olderSnapshotUuid, Str newerSnapshotUuid, optional<std::string> pathFilter,
    optional<std::string> objectTypeFilter) {
    listCalls.push_back("create_mount_target_snapshot_incremental_diff " + olderSnapshotUuid + " " +
                        newerSnapshotUuid + " " + Text(pathFilter) + " " + Text(objectTypeFilter));
    return Scripted(fnCreateDiff, "create_mount_target_snapshot_incremental_diff")();
}

DiffPage CScriptedRestBackend::get_mount_target_snapshot_diff_page(Str diffUuid,
                                                                   optional<std::string> pageToken,
                                                                   optional<std::string> pageSize) {
    listCalls.push_back("get_mount_target_snapshot_diff_page " + diffUuid + " [" + Text(pageToken) + "] " +
                        Text(pageSize));
    return Scripted(fnGetDiffPage, "get_mount_target_snapshot_diff_page")(diffUuid);
}

std::function<SharePage(int32_t, int32_t)> ServeShares(std::vector<ShareSpec> all, int32_t total) {
    return Serve<model::Mount_target_list_intent_response>(
        all, total, [](model::Mount_target_intent_resource& entity, const ShareSpec& share) {
            entity.setMetadata(std::make_shared<model::Mount_target_metadata>());
            entity.getMetadata()->setUuid(share.strUuid);
            auto ptrResources = std::make_shared<model::Mount_target_details>();
            ptrResources->setShareType("GENERAL");
            ptrResources->setCapabilityList(share.listCapabilities);
            entity.setStatus(std::make_shared<model::Mount_target_def_status>());
            entity.getStatus()->setName(share.strName);
            entity.getStatus()->setResources(ptrResources);
        });
}

std::function<SnapPage(int32_t, int32_t)> ServeSnaps(std::vector<SnapSpec> all, int32_t total) {
    return Serve<model::Mount_target_snapshot_list_intent_response>(
        all, total, [](model::Mount_target_snapshot_intent_resource& entity, const SnapSpec& snap) {
            entity.setMetadata(std::make_shared<model::Mount_target_snapshot_metadata>());
            entity.getMetadata()->setUuid(snap.strUuid);
            auto ptrResources = std::make_shared<model::Mount_target_snapshot_details>();
            ptrResources->setMountTargetUuid(snap.strMountTargetUuid);
            entity.setStatus(std::make_shared<model::Mount_target_snapshot_def_status>());
            entity.getStatus()->setName(snap.strName);
            entity.getStatus()->setResources(ptrResources);
        });
}

std::function<PartnerPage(int32_t, int32_t)> ServePartners(std::vector<std::string> all, int32_t total) {
    return Serve<model::Partner_server_list_intent_response>(
        all, total, [](model::Partner_server_intent_resource& entity, const std::string& name) {
            entity.setStatus(std::make_shared<model::Partner_server_def_status>());
            entity.getStatus()->setName(name);
        });
}

}  // namespace afs_test
