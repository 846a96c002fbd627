#pragma once

#include <boost/optional.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "restclient/AfsLog.h"
#include "restclient/model/MountTarget.h"
#include "restclient/model/MountTargetSnapshot.h"
#include "restclient/model/PartnerServer.h"
#include "restclient/model/SnapshotDiff.h"

namespace afs_rest {

namespace model = io::swagger::client::model;

typedef std::vector<std::pair<std::string, std::string>> PairList;

// Everything a CurlClient was constructed with.
struct RestClientConfig {
    std::string strServer;  // host, host:port or URL
    std::string strUser;
    std::string strPassword;  // never logged, never in an exception text
    std::string strJobId;
    afs_log::severity_level eSeverity = afs_log::trace;
    std::string strLogDir;
    uint32_t uHAWaitTime = 600;  // seconds
};

// The eight operations of the file server's REST API, as kRestOperations
// (RestOperations.h) names them. CurlClient forwards to one backend: the HTTP
// one in production, a scripted one in unit tests.
// Failures are thrown (NutanixException, or whatever a scripted backend throws).
class IRestBackend {
public:
    virtual ~IRestBackend() = default;

    virtual std::shared_ptr<model::Partner_server_list_intent_response> get_partner_server(
        boost::optional<int32_t> offset, boost::optional<int32_t> length) = 0;
    virtual std::string create_partner_server(
        const std::string& name, const std::string& usage, const std::string& vendorName,
        const std::string& description, boost::optional<std::string&> dnsName,
        boost::optional<std::string> ipAddress, boost::optional<int32_t> port,
        boost::optional<bool> isEnabled, boost::optional<std::string&> partnerType,
        boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
        boost::optional<PairList&> exportList, boost::optional<bool> allowBackup) = 0;
    virtual std::shared_ptr<model::Mount_target_list_intent_response> get_mount_target(
        boost::optional<int32_t> offset, boost::optional<int32_t> length) = 0;
    virtual std::shared_ptr<model::Mount_target_snapshot_list_intent_response> get_mount_target_snapshot(
        boost::optional<int32_t> offset, boost::optional<int32_t> length,
        boost::optional<std::string> filter) = 0;
    virtual std::string create_mount_target_snapshot(const std::string& mountTargetUuid,
                                                     const std::string& name, const std::string& description,
                                                     boost::optional<bool> waitForCompletion) = 0;
    virtual void delete_mount_target_snapshot(const std::string& snapshotUuid,
                                              boost::optional<bool> waitForCompletion) = 0;
    virtual std::shared_ptr<model::Mount_target_snapshot_diff_output>
    create_mount_target_snapshot_incremental_diff(const std::string& olderSnapshotUuid,
                                                  const std::string& newerSnapshotUuid,
                                                  boost::optional<std::string> pathFilter,
                                                  boost::optional<std::string> objectTypeFilter) = 0;
    virtual model::Mount_target_snapshot_diff_tracking_output get_mount_target_snapshot_diff_page(
        const std::string& diffUuid, boost::optional<std::string> pageToken,
        boost::optional<std::string> pageSize) = 0;
};

// Makes the backend of each new CurlClient. The default makes the HTTP backend.
typedef std::function<std::shared_ptr<IRestBackend>(const RestClientConfig&)> FRestBackendFactory;

// Replaces the factory (an empty function restores the default) and returns
// the previous one. Meant for tests: set it before any client is built.
FRestBackendFactory SetRestBackendFactory(FRestBackendFactory factory);

// The production backend for `config`; defined with the HTTP transport.
std::shared_ptr<IRestBackend> MakeHttpRestBackend(const RestClientConfig& config);

}  // namespace afs_rest
