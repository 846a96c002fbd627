#pragma once

// A REST backend whose answers the test scripts, operation by operation, and
// which records every call it receives as one line of text. CPluginTestBase
// installs it for every CurlClient built during a test.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "restclient/RestBackend.h"

namespace afs_test {

namespace model = io::swagger::client::model;
using afs_rest::PairList;
using boost::optional;
using SharePage = std::shared_ptr<model::Mount_target_list_intent_response>;
using SnapPage = std::shared_ptr<model::Mount_target_snapshot_list_intent_response>;
using PartnerPage = std::shared_ptr<model::Partner_server_list_intent_response>;
using DiffPage = model::Mount_target_snapshot_diff_tracking_output;
using DiffOutput = std::shared_ptr<model::Mount_target_snapshot_diff_output>;
using Str = const std::string&;

// Each answer gets the call's arguments; an unset one throws std::logic_error.
class CScriptedRestBackend : public afs_rest::IRestBackend {
public:
    std::function<PartnerPage(int32_t offset, int32_t length)> fnGetPartnerServer;
    std::function<std::string()> fnCreatePartnerServer;
    std::function<SharePage(int32_t offset, int32_t length)> fnGetMountTarget;
    std::function<SnapPage(int32_t offset, int32_t length)> fnGetMountTargetSnapshot;
    std::function<std::string(Str uuid, Str name)> fnCreateSnapshot;
    std::function<void(Str uuid)> fnDeleteSnapshot;
    std::function<DiffOutput()> fnCreateDiff;
    std::function<DiffPage(Str diffUuid)> fnGetDiffPage;

    // Every call, e.g. "get_mount_target 0 20" or "delete_mount_target_snapshot s2 true".
    std::vector<std::string> listCalls;

    PartnerPage get_partner_server(optional<int32_t> offset, optional<int32_t> length) override;
    std::string create_partner_server(Str name, Str usage, Str vendorName, Str description,
                                      optional<std::string&> dnsName, optional<std::string> ipAddress,
                                      optional<int32_t> port, optional<bool> isEnabled,
                                      optional<std::string&> partnerType, optional<PairList&> serverInfoList,
                                      optional<PairList&> shareList, optional<PairList&> exportList,
                                      optional<bool> allowBackup) override;
    SharePage get_mount_target(optional<int32_t> offset, optional<int32_t> length) override;
    SnapPage get_mount_target_snapshot(optional<int32_t> offset, optional<int32_t> length,
                                       optional<std::string> filter) override;
    std::string create_mount_target_snapshot(Str mountTargetUuid, Str name, Str description,
                                             optional<bool> waitForCompletion) override;
    void delete_mount_target_snapshot(Str snapshotUuid, optional<bool> waitForCompletion) override;
    DiffOutput create_mount_target_snapshot_incremental_diff(Str olderSnapshotUuid, Str newerSnapshotUuid,
                                                             optional<std::string> pathFilter,
                                                             optional<std::string> objectTypeFilter) override;
    DiffPage get_mount_target_snapshot_diff_page(Str diffUuid, optional<std::string> pageToken,
                                                 optional<std::string> pageSize) override;
};

struct ShareSpec {
    std::string strName, strUuid;
    std::vector<std::string> listCapabilities{"CFT_BACKUP"};
};
struct SnapSpec {
    std::string strUuid, strName, strMountTargetUuid = "mt";  // the share most tests list
};

// A server that lists `all` as the real one does: `length` entries from
// `offset`, and the size of `all` as the total unless `total` is given.
std::function<SharePage(int32_t, int32_t)> ServeShares(std::vector<ShareSpec> all, int32_t total = -1);
std::function<SnapPage(int32_t, int32_t)> ServeSnaps(std::vector<SnapSpec> all, int32_t total = -1);
std::function<PartnerPage(int32_t, int32_t)> ServePartners(std::vector<std::string> all, int32_t total = -1);

}  // namespace afs_test
