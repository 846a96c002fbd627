#pragma once

// A REST backend whose answers the test scripts, operation by operation, and
// which records every call it receives as one line of text. Installed for
// every CurlClient built while a CScopedScriptedBackend lives.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "restclient/RestBackend.h"

namespace afs_test {

namespace model = io::swagger::client::model;
using afs_rest::PairList;
using SharePage = std::shared_ptr<model::Mount_target_list_intent_response>;
using SnapPage = std::shared_ptr<model::Mount_target_snapshot_list_intent_response>;
using PartnerPage = std::shared_ptr<model::Partner_server_list_intent_response>;
using DiffPage = model::Mount_target_snapshot_diff_tracking_output;

// Each answer gets the call's arguments; an unset one throws std::logic_error.
class CScriptedRestBackend : public afs_rest::IRestBackend {
public:
    std::function<PartnerPage(int32_t offset, int32_t length)> fnGetPartnerServer;
    std::function<std::string()> fnCreatePartnerServer;
    std::function<SharePage(int32_t offset, int32_t length)> fnGetMountTarget;
    std::function<SnapPage(int32_t offset, int32_t length)> fnGetMountTargetSnapshot;
    std::function<std::string(const std::string& uuid, const std::string& name)> fnCreateSnapshot;
    std::function<void(const std::string& uuid)> fnDeleteSnapshot;
    std::function<std::shared_ptr<model::Mount_target_snapshot_diff_output>()> fnCreateDiff;
    std::function<DiffPage(const std::string& diffUuid)> fnGetDiffPage;

    // Every call, e.g. "get_mount_target 0 20" or "delete_mount_target_snapshot s2 true".
    std::vector<std::string> listCalls;

    PartnerPage get_partner_server(boost::optional<int32_t> offset, boost::optional<int32_t> length) override;
    std::string create_partner_server(const std::string& name, const std::string& usage,
                                      const std::string& vendorName, const std::string& description,
                                      boost::optional<std::string&> dnsName, boost::optional<std::string> ipAddress,
                                      boost::optional<int32_t> port, boost::optional<bool> isEnabled,
                                      boost::optional<std::string&> partnerType,
                                      boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
                                      boost::optional<PairList&> exportList,
                                      boost::optional<bool> allowBackup) override;
    SharePage get_mount_target(boost::optional<int32_t> offset, boost::optional<int32_t> length) override;
    SnapPage get_mount_target_snapshot(boost::optional<int32_t> offset, boost::optional<int32_t> length,
                                       boost::optional<std::string> filter) override;
    std::string create_mount_target_snapshot(const std::string& mountTargetUuid, const std::string& name,
                                             const std::string& description,
                                             boost::optional<bool> waitForCompletion) override;
    void delete_mount_target_snapshot(const std::string& snapshotUuid,
                                      boost::optional<bool> waitForCompletion) override;
    std::shared_ptr<model::Mount_target_snapshot_diff_output> create_mount_target_snapshot_incremental_diff(
        const std::string& olderSnapshotUuid, const std::string& newerSnapshotUuid,
        boost::optional<std::string> pathFilter, boost::optional<std::string> objectTypeFilter) override;
    DiffPage get_mount_target_snapshot_diff_page(const std::string& diffUuid, boost::optional<std::string> pageToken,
                                                 boost::optional<std::string> pageSize) override;
};

// Installs `backend` as the backend of every CurlClient made while it lives,
// and records the configuration each client was made with.
class CScopedScriptedBackend {
public:
    explicit CScopedScriptedBackend(std::shared_ptr<afs_rest::IRestBackend> backend);
    ~CScopedScriptedBackend();
    CScopedScriptedBackend(const CScopedScriptedBackend&) = delete;
    CScopedScriptedBackend& operator=(const CScopedScriptedBackend&) = delete;

    const std::vector<afs_rest::RestClientConfig>& GetConfigs() const { return *ptrConfigs; }

private:
    std::shared_ptr<std::vector<afs_rest::RestClientConfig>> ptrConfigs;
    afs_rest::FRestBackendFactory fnPrevious;
};

// List pages: `total` as the server's total, the entries at `offset`.
struct ShareSpec {
    std::string strName, strUuid;
    std::vector<std::string> listCapabilities{"CFT_BACKUP"};
};
struct SnapSpec {
    std::string strUuid, strName, strMountTargetUuid;
};
SharePage MakeSharePage(int32_t offset, int32_t total, const std::vector<ShareSpec>& shares);
SnapPage MakeSnapPage(int32_t offset, int32_t total, const std::vector<SnapSpec>& snaps);
PartnerPage MakePartnerPage(int32_t offset, int32_t total, const std::vector<std::string>& names);

// A server that lists `all` as the real one does: `length` entries from `offset`.
std::function<SharePage(int32_t, int32_t)> ServeShares(std::vector<ShareSpec> all);
std::function<SnapPage(int32_t, int32_t)> ServeSnaps(std::vector<SnapSpec> all);
std::function<PartnerPage(int32_t, int32_t)> ServePartners(std::vector<std::string> all);

}  // namespace afs_test
