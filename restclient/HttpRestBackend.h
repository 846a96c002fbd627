#pragma once

#include <memory>
#include <string>

#include "restclient/DiffPageParser.h"
#include "restclient/HttpTransport.h"
#include "restclient/RequestLog.h"
#include "restclient/ResponseParser.h"
#include "restclient/RestBackend.h"
#include "restclient/SecretScrubber.h"

namespace afs_rest {

// IRestBackend over an IHttpTransport: builds each request as the wire
// protocol says, waits out failovers, logs every request and maps answers to
// the models. Every failure is a NutanixException whose text starts with the
// operation's name and carries the HTTP status (also in GetHttpStatus()) and
// the server's message when there was an answer; the password never appears
// in it. Not thread-safe: one backend per client.
//
// Failover wait: when the server cannot be reached or answers 502/503/504 the
// same request is sent again after 1, 2, 4 ... 30, 30 ... seconds of
// RHSLEEP_InTeRnAl until config.uHAWaitTime seconds of sleeping are used up;
// then the operation fails with "unavailable ... high-availability wait".
class CHttpRestBackend : public IRestBackend {
public:
    CHttpRestBackend(const RestClientConfig& config, std::unique_ptr<IHttpTransport> transport);
    ~CHttpRestBackend() override;

    std::shared_ptr<model::Partner_server_list_intent_response> get_partner_server(
        boost::optional<int32_t> offset, boost::optional<int32_t> length) override;
    std::string create_partner_server(
        const std::string& name, const std::string& usage, const std::string& vendorName,
        const std::string& description, boost::optional<std::string&> dnsName,
        boost::optional<std::string> ipAddress, boost::optional<int32_t> port,
        boost::optional<bool> isEnabled, boost::optional<std::string&> partnerType,
        boost::optional<PairList&> serverInfoList, boost::optional<PairList&> shareList,
        boost::optional<PairList&> exportList, boost::optional<bool> allowBackup) override;
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

private:
    // Sends `request`, waiting out failovers and a busy server; returns once
    // an answer that is not 429/502/503/504 arrived, with the number of
    // attempts it took. A Retry-After of such an answer lengthens the next
    // delay. Throws on transport failures and when the wait is used up.
    unsigned Exchange(const char* operation, const HttpRequest& request);
    // Throws, before anything is sent, when a path parameter is empty.
    void RequirePathParameter(const char* operation, const std::string& value, const char* what) const;
    // Throws unless the answer's status is `expected` (or `alsoOk`, if not 0;
    // kAnySuccess: any 2xx).
    static constexpr long kAnySuccess = -1;
    void RequireStatus(const char* operation, long expected, long alsoOk = 0);
    // Runs a body mapping; its NutanixException gets the operation and status.
    template <typename TFunction>
    auto Map(const char* operation, TFunction mapping) -> decltype(mapping());
    [[noreturn]] void Throw(const std::string& text, long status) const;

    RestClientConfig config;
    std::unique_ptr<IHttpTransport> ptrTransport;
    CRequestLog requestLog;
    CSecretScrubber scrubber;
    CResponseParser responseParser;
    CDiffPageParser pageParser;
    model::Mount_target_snapshot_diff_tracking_output listSparePages[2];
    unsigned uNextSparePage = 0;
    std::string strPagedDiff;  // the difference whose pages are counted
    unsigned uPagesOfDiff = 0;
    HttpRequest request;    // reused: keeps its buffers
    HttpResponse response;  // reused: the page body buffer stays allocated
};

// The production backend over an already built transport (tests pass a
// scripted one). Never returns null.
std::shared_ptr<IRestBackend> MakeHttpRestBackend(const RestClientConfig& config,
                                                  std::unique_ptr<IHttpTransport> transport);

}  // namespace afs_rest
