#pragma once

#include <boost/optional.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "restclient/AfsLog.h"
#include "restclient/NutanixException.h"
#include "restclient/RestBackend.h"

// Client of the file server's REST API (JSON over HTTPS, basic
// authentication). Built from the server address (host, host:port or URL;
// port 9440 by default), the user, the password, the job id text, the log
// severity, the folder of its request log and the high-availability wait in
// seconds. Every operation blocks on the caller's thread and throws
// NutanixException on failure. One client must not be used by two threads at
// once.
class CurlClient {
public:
    CurlClient(std::string server, std::string user, std::string password, std::string jobId,
               afs_log::severity_level severity, std::string logDir, uint32_t haWaitTime);
    ~CurlClient();
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    std::shared_ptr<afs_rest::model::Partner_server_list_intent_response> get_partner_server(
        boost::optional<int32_t> offset, boost::optional<int32_t> length);
    std::string create_partner_server(
        const std::string& name, const std::string& usage, const std::string& vendorName,
        const std::string& description, boost::optional<std::string&> dnsName,
        boost::optional<std::string> ipAddress, boost::optional<int32_t> port,
        boost::optional<bool> isEnabled, boost::optional<std::string&> partnerType,
        boost::optional<afs_rest::PairList&> serverInfoList, boost::optional<afs_rest::PairList&> shareList,
        boost::optional<afs_rest::PairList&> exportList, boost::optional<bool> allowBackup);
    std::shared_ptr<afs_rest::model::Mount_target_list_intent_response> get_mount_target(
        boost::optional<int32_t> offset, boost::optional<int32_t> length);
    std::shared_ptr<afs_rest::model::Mount_target_snapshot_list_intent_response> get_mount_target_snapshot(
        boost::optional<int32_t> offset, boost::optional<int32_t> length,
        boost::optional<std::string> filter);
    std::string create_mount_target_snapshot(const std::string& mountTargetUuid, const std::string& name,
                                             const std::string& description,
                                             boost::optional<bool> waitForCompletion);
    void delete_mount_target_snapshot(const std::string& snapshotUuid,
                                      boost::optional<bool> waitForCompletion);
    std::shared_ptr<afs_rest::model::Mount_target_snapshot_diff_output>
    create_mount_target_snapshot_incremental_diff(const std::string& olderSnapshotUuid,
                                                  const std::string& newerSnapshotUuid,
                                                  boost::optional<std::string> pathFilter,
                                                  boost::optional<std::string> objectTypeFilter);
    afs_rest::model::Mount_target_snapshot_diff_tracking_output get_mount_target_snapshot_diff_page(
        const std::string& diffUuid, boost::optional<std::string> pageToken,
        boost::optional<std::string> pageSize);

    const afs_rest::RestClientConfig& GetConfig() const { return config; }

private:
    afs_rest::RestClientConfig config;
    std::shared_ptr<afs_rest::IRestBackend> ptrBackend;
};
