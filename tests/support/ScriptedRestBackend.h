#pragma once

// A REST backend whose answers the test scripts, operation by operation, and
// which records every call it receives as text. Installed for every CurlClient
// built while a CScopedScriptedBackend lives.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "restclient/RestBackend.h"

namespace afs_test {

namespace model = io::swagger::client::model;
using afs_rest::PairList;

struct PartnerCreation {
    std::string strName, strUsage, strVendor, strDescription;
    bool bDnsNameSet = false, bIpAddressSet = false, bPortSet = false, bPartnerTypeSet = false;
    boost::optional<bool> optEnabled, optAllowBackup;
    boost::optional<PairList> optServerInfo, optShares, optExports;
};

class CScriptedRestBackend : public afs_rest::IRestBackend {
public:
    std::function<std::shared_ptr<model::Partner_server_list_intent_response>(int32_t, int32_t)> fnGetPartnerServer;
    std::function<std::string(const PartnerCreation&)> fnCreatePartnerServer;
    std::function<std::shared_ptr<model::Mount_target_list_intent_response>(int32_t, int32_t)> fnGetMountTarget;
    std::function<std::shared_ptr<model::Mount_target_snapshot_list_intent_response>(int32_t, int32_t)>
        fnGetMountTargetSnapshot;
    std::function<std::string(const std::string&, const std::string&)> fnCreateSnapshot;  // uuid, name
    std::function<void(const std::string&)> fnDeleteSnapshot;
    std::function<std::shared_ptr<model::Mount_target_snapshot_diff_output>(const std::string&, const std::string&)>
        fnCreateDiff;
    std::function<model::Mount_target_snapshot_diff_tracking_output(const std::string&,
                                                                    const boost::optional<std::string>&)>
        fnGetDiffPage;

    // Every call, e.g. "get_mount_target 0 20" or "delete_mount_target_snapshot s2".
    std::vector<std::string> listCalls;
    std::vector<PartnerCreation> listPartnerCreations;

    std::shared_ptr<model::Partner_server_list_intent_response> get_partner_server(
        boost::optional<int32_t> offset, boost::optional<int32_t> length) override;
    std::string create_partner_server(const std::string& name, const std::string& usage,
                                      const std::string& vendorName, const std::string& description,
                                      boost::optional<std::string&> dnsName, boost::optional<std::string> ipAddress,
                                      boost::optional<int32_t> port, boost::optional<bool> isEnabled,
                                      boost::optional<std::string&> partnerType,
                                      boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
                                      boost::optional<PairList&> exportList,
                                      boost::optional<bool> allowBackup) override;
    std::shared_ptr<model::Mount_target_list_intent_response> get_mount_target(
        boost::optional<int32_t> offset, boost::optional<int32_t> length) override;
    std::shared_ptr<model::Mount_target_snapshot_list_intent_response> get_mount_target_snapshot(
        boost::optional<int32_t> offset, boost::optional<int32_t> length,
        boost::optional<std::string> filter) override;
    std::string create_mount_target_snapshot(const std::string& mountTargetUuid, const std::string& name,
                                             const std::string& description,
                                             boost::optional<bool> waitForCompletion) override;
    void delete_mount_target_snapshot(const std::string& snapshotUuid,
                                      boost::optional<bool> waitForCompletion) override;
    std::shared_ptr<model::Mount_target_snapshot_diff_output> create_mount_target_snapshot_incremental_diff(
        const std::string& olderSnapshotUuid, const std::string& newerSnapshotUuid,
        boost::optional<std::string> pathFilter, boost::optional<std::string> objectTypeFilter) override;
    model::Mount_target_snapshot_diff_tracking_output get_mount_target_snapshot_diff_page(
        const std::string& diffUuid, boost::optional<std::string> pageToken,
        boost::optional<std::string> pageSize) override;
};

// Installs `backend` as the backend of every CurlClient made while it lives,
// and records the configuration each client was made with.
class CScopedScriptedBackend {
public:
    explicit CScopedScriptedBackend(std::shared_ptr<CScriptedRestBackend> backend);
    ~CScopedScriptedBackend();
    CScopedScriptedBackend(const CScopedScriptedBackend&) = delete;
    CScopedScriptedBackend& operator=(const CScopedScriptedBackend&) = delete;

    const std::vector<afs_rest::RestClientConfig>& GetConfigs() const { return *ptrConfigs; }

private:
    std::shared_ptr<std::vector<afs_rest::RestClientConfig>> ptrConfigs;
    afs_rest::FRestBackendFactory fnPrevious;
};

// Model builders.
struct ShareSpec {
    std::string strName, strUuid;
    std::vector<std::string> listCapabilities{"CFT_BACKUP"};
    std::string strShareType = "GENERAL";
};
struct SnapSpec {
    std::string strUuid, strName, strMountTargetUuid;
    std::string strState = "COMPLETE";
};

std::shared_ptr<model::List_metadata_output> MakeMetadata(int32_t offset, int32_t length, int32_t total);
std::shared_ptr<model::Mount_target_list_intent_response> MakeSharePage(int32_t offset, int32_t total,
                                                                        const std::vector<ShareSpec>& shares);
std::shared_ptr<model::Mount_target_snapshot_list_intent_response> MakeSnapPage(int32_t offset, int32_t total,
                                                                                const std::vector<SnapSpec>& snaps);
std::shared_ptr<model::Partner_server_list_intent_response> MakePartnerPage(int32_t offset, int32_t total,
                                                                            const std::vector<std::string>& names);

// A server that lists `all` 20 at a time like the real one does.
std::function<std::shared_ptr<model::Mount_target_list_intent_response>(int32_t, int32_t)> ServeShares(
    std::vector<ShareSpec> all);
std::function<std::shared_ptr<model::Mount_target_snapshot_list_intent_response>(int32_t, int32_t)> ServeSnaps(
    std::vector<SnapSpec> all);

}  // namespace afs_test
