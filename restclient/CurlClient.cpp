#include "restclient/CurlClient.h"

#include <mutex>

namespace afs_rest {
namespace {

std::mutex& FactoryMutex() {
    static std::mutex mutexFactory;
    return mutexFactory;
}

FRestBackendFactory& FactoryOverride() {
    static FRestBackendFactory factory;
    return factory;
}

std::shared_ptr<IRestBackend> MakeBackend(const RestClientConfig& config) {
    FRestBackendFactory factory;
    {
        std::lock_guard<std::mutex> lock(FactoryMutex());
        factory = FactoryOverride();
    }
    return factory ? factory(config) : MakeHttpRestBackend(config);
}

}  // namespace

FRestBackendFactory SetRestBackendFactory(FRestBackendFactory factory) {
    std::lock_guard<std::mutex> lock(FactoryMutex());
    FRestBackendFactory previous = std::move(FactoryOverride());
    FactoryOverride() = std::move(factory);
    return previous;
}

}  // namespace afs_rest

using namespace afs_rest;

CurlClient::CurlClient(std::string server, std::string user, std::string password, std::string jobId,
                       afs_log::severity_level severity, std::string logDir, uint32_t haWaitTime) {
    config.strServer = std::move(server);
    config.strUser = std::move(user);
    config.strPassword = std::move(password);
    config.strJobId = std::move(jobId);
    config.eSeverity = severity;
    config.strLogDir = std::move(logDir);
    config.uHAWaitTime = haWaitTime;
    ptrBackend = MakeBackend(config);
    if (!ptrBackend) throw NutanixException("CurlClient: no REST backend could be made");
}

CurlClient::~CurlClient() = default;

std::shared_ptr<model::Partner_server_list_intent_response> CurlClient::get_partner_server(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    return ptrBackend->get_partner_server(offset, length);
}

std::string CurlClient::create_partner_server(
    const std::string& name, const std::string& usage, const std::string& vendorName,
    const std::string& description, boost::optional<std::string&> dnsName,
    boost::optional<std::string> ipAddress, boost::optional<int32_t> port, boost::optional<bool> isEnabled,
    boost::optional<std::string&> partnerType, boost::optional<PairList&> serverInfoList,
    boost::optional<PairList&> shareList, boost::optional<PairList&> exportList,
    boost::optional<bool> allowBackup) {
    return ptrBackend->create_partner_server(name, usage, vendorName, description, dnsName, ipAddress, port,
                                             isEnabled, partnerType, serverInfoList, shareList, exportList,
                                             allowBackup);
}

std::shared_ptr<model::Mount_target_list_intent_response> CurlClient::get_mount_target(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    return ptrBackend->get_mount_target(offset, length);
}

std::shared_ptr<model::Mount_target_snapshot_list_intent_response> CurlClient::get_mount_target_snapshot(
    boost::optional<int32_t> offset, boost::optional<int32_t> length, boost::optional<std::string> filter) {
    return ptrBackend->get_mount_target_snapshot(offset, length, filter);
}

std::string CurlClient::create_mount_target_snapshot(const std::string& mountTargetUuid,
                                                     const std::string& name, const std::string& description,
                                                     boost::optional<bool> waitForCompletion) {
    return ptrBackend->create_mount_target_snapshot(mountTargetUuid, name, description, waitForCompletion);
}

void CurlClient::delete_mount_target_snapshot(const std::string& snapshotUuid,
                                              boost::optional<bool> waitForCompletion) {
    ptrBackend->delete_mount_target_snapshot(snapshotUuid, waitForCompletion);
}

std::shared_ptr<model::Mount_target_snapshot_diff_output>
CurlClient::create_mount_target_snapshot_incremental_diff(const std::string& olderSnapshotUuid,
                                                          const std::string& newerSnapshotUuid,
                                                          boost::optional<std::string> pathFilter,
                                                          boost::optional<std::string> objectTypeFilter) {
    return ptrBackend->create_mount_target_snapshot_incremental_diff(olderSnapshotUuid, newerSnapshotUuid,
                                                                     pathFilter, objectTypeFilter);
}

model::Mount_target_snapshot_diff_tracking_output CurlClient::get_mount_target_snapshot_diff_page(
    const std::string& diffUuid, boost::optional<std::string> pageToken,
    boost::optional<std::string> pageSize) {
    return ptrBackend->get_mount_target_snapshot_diff_page(diffUuid, pageToken, pageSize);
}
