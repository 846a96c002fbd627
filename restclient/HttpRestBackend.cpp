// curl.h must come before any cpprestsdk header: cpprestsdk defines a
// __declspec macro that breaks curl.h's feature tests under clang.
#include <curl/curl.h>

#include "restclient/HttpRestBackend.h"

#include <chrono>

#include "host/LogWriter.h"
#include "host/PlatformInfo.h"
#include "host/Progress.h"
#include "host/Sleep.h"
#include "restclient/CurlTransport.h"
#include "restclient/HaBackoff.h"
#include "restclient/NutanixException.h"
#include "restclient/RequestBuilder.h"
#include "restclient/RestOperations.h"

namespace afs_rest {
namespace {

// 429: the server is busy and asks to be asked again later, as during a failover.
bool IsFailoverStatus(long status) {
    return status == 429 || status == 502 || status == 503 || status == 504;
}

// "host:port" of a base URL such as "https://fs1:9440/api/nutanix/v3".
std::string HostAndPort(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    return url.substr(start, url.find('/', start) - start);
}

const char* NameOf(ERestOperation eOperation) { return RestOperationOf(eOperation).pszName; }

// The request of an operation without a path parameter.
HttpRequest RequestOf(ERestOperation eOperation, std::string body) {
    const RestOperation& operation = RestOperationOf(eOperation);
    return HttpRequest{operation.pszMethod, operation.pszPath, std::move(body)};
}

}  // namespace

CHttpRestBackend::CHttpRestBackend(const RestClientConfig& configIn,
                                   std::unique_ptr<IHttpTransport> transport)
    : config(configIn),
      ptrTransport(std::move(transport)),
      requestLog(configIn.strLogDir, configIn.strJobId, configIn.eSeverity),
      scrubber(configIn.strUser, configIn.strPassword) {
    if (!ptrTransport) throw NutanixException("CurlClient: no HTTP transport");
}

CHttpRestBackend::~CHttpRestBackend() = default;

void CHttpRestBackend::Throw(const std::string& text, long status) const {
    throw NutanixException(scrubber.Clean(text), status);
}

namespace {

// Shows a host the high-availability wait while it lasts, and no longer.
class CHaWaitProgress {
public:
    ~CHaWaitProgress() {
        if (bShown) KeepProgress(eProgressHaLimitMs, 0);
    }
    void Show(uint64_t waitedMs, uint64_t limitMs) {
        KeepProgress(eProgressHaWaitedMs, waitedMs);
        KeepProgress(eProgressHaLimitMs, limitMs);
        bShown = true;
    }

private:
    bool bShown = false;
};

}  // namespace

unsigned CHttpRestBackend::Exchange(const char* operation, const HttpRequest& outgoing) {
    CHaBackoff backoff(config.uHAWaitTime);
    CHaWaitProgress progress;
    for (unsigned attempt = 1;; ++attempt) {
        auto start = std::chrono::steady_clock::now();
        ptrTransport->Perform(outgoing, response);
        long long elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        bool bAnswered = response.eOutcome == eAnswered;
        bool bFailover = !bAnswered ? response.eOutcome == eUnreachable : IsFailoverStatus(response.lStatus);
        bool bOk = bAnswered && response.lStatus >= 200 && response.lStatus < 300;
        requestLog.Append(bOk, outgoing.strMethod, outgoing.strPath, response.lStatus,
                          response.strBody.size(), elapsedMs, scrubber.Clean(response.strError));
        if (bAnswered && !bFailover) return attempt;
        if (!bFailover) {
            Throw(std::string(operation) + " failed: " + ptrTransport->Describe() + ": " + response.strError,
                  response.lStatus);
        }
        const uint64_t waitedMs = backoff.WaitedMs();
        unsigned int delayMs = 0;
        if (!backoff.Next(delayMs, bAnswered ? uint64_t(response.lRetryAfterSeconds) * 1000 : 0)) {
            std::string cause = bAnswered ? "HTTP " + std::to_string(response.lStatus) : response.strError;
            if (bAnswered) {
                std::string message = responseParser.ErrorMessage(response.strBody);
                if (!message.empty()) cause += ": " + message;
            }
            Throw(std::string(operation) +
                      " failed: the file server stayed unavailable for the high-availability wait of " +
                      std::to_string(config.uHAWaitTime) + " s (" + std::to_string(attempt) +
                      " attempts; last: " + cause + ")",
                  response.lStatus);
        }
        // Each attempt is reported to the host at once, so that whoever runs
        // the job learns why it waits instead of facing silence for minutes.
        // Elapsed as the wait counts it: the delays slept before this one.
        const std::string cause =
            bAnswered
                ? "unavailable (HTTP " + std::to_string(response.lStatus) + ")"
                : "unreachable (" + (response.strCause.empty() ? response.strError : response.strCause) + ")";
        HOST_LOG(0, "file server %s %s; retrying, %llu s of %u s, [FileSystemAgent] uHAWaitTime",
                 HostAndPort(ptrTransport->Describe()).c_str(), cause.c_str(),
                 static_cast<unsigned long long>(waitedMs / 1000), static_cast<unsigned>(config.uHAWaitTime));
        progress.Show(waitedMs, uint64_t{config.uHAWaitTime} * 1000);
        RHSLEEP_InTeRnAl(delayMs, __FILE__, __LINE__);
        KeepProgress(eProgressHaWaitedMs, backoff.WaitedMs());
    }
}

void CHttpRestBackend::RequirePathParameter(const char* operation, const std::string& value,
                                            const char* what) const {
    // An empty UUID would address the whole collection, not one member.
    if (value.empty())
        Throw(std::string(operation) + " refused: the " + what + " is empty; nothing was sent", 0);
}

void CHttpRestBackend::RequireStatus(const char* operation, long expected, long alsoOk) {
    if (response.lStatus == expected || (alsoOk != 0 && response.lStatus == alsoOk)) return;
    // A deletion is done whatever success the server reports: 202 (accepted)
    // and 204 (no content) are as good as 200.
    if (alsoOk == kAnySuccess && response.lStatus >= 200 && response.lStatus < 300) return;
    std::string text = std::string(operation) + " failed: HTTP " + std::to_string(response.lStatus);
    std::string message = responseParser.ErrorMessage(response.strBody);
    if (!message.empty()) text += ": " + message;
    Throw(text, response.lStatus);
}

template <typename TFunction>
auto CHttpRestBackend::Map(const char* operation, TFunction mapping) -> decltype(mapping()) {
    try {
        return mapping();
    } catch (const NutanixException& error) {
        Throw(std::string(operation) + " failed: HTTP " + std::to_string(response.lStatus) +
                  ": malformed response: " + error.what(),
              response.lStatus);
    }
}

std::shared_ptr<model::Partner_server_list_intent_response> CHttpRestBackend::get_partner_server(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    const char* operation = NameOf(ERestOperation::eGetPartnerServer);
    request =
        RequestOf(ERestOperation::eGetPartnerServer, ListBody("partner_server", offset, length, boost::none));
    Exchange(operation, request);
    RequireStatus(operation, 200);
    return Map(operation, [&] { return responseParser.PartnerServerList(response.strBody); });
}

std::string CHttpRestBackend::create_partner_server(
    const std::string& name, const std::string& usage, const std::string& vendorName,
    const std::string& description, boost::optional<std::string&> dnsName,
    boost::optional<std::string> ipAddress, boost::optional<int32_t> port, boost::optional<bool> isEnabled,
    boost::optional<std::string&> partnerType, boost::optional<PairList&> serverInfoList,
    boost::optional<PairList&> shareList, boost::optional<PairList&> exportList,
    boost::optional<bool> allowBackup) {
    const char* operation = NameOf(ERestOperation::eCreatePartnerServer);
    PartnerServerRequest fields;
    fields.strName = name;
    fields.strUsage = usage;
    fields.strVendorName = vendorName;
    fields.strDescription = description;
    if (dnsName) fields.optDnsName = *dnsName;
    fields.optIpAddress = ipAddress;
    fields.optPort = port;
    fields.optIsEnabled = isEnabled;
    if (partnerType) fields.optPartnerType = *partnerType;
    if (serverInfoList) fields.optServerInfoList = *serverInfoList;
    if (shareList) fields.optShareList = *shareList;
    if (exportList) fields.optExportList = *exportList;
    fields.optAllowBackup = allowBackup;
    request = RequestOf(ERestOperation::eCreatePartnerServer, PartnerServerBody(fields));
    Exchange(operation, request);
    RequireStatus(operation, 202, 200);
    return Map(operation, [&] { return responseParser.CreatedUuid(response.strBody, false); });
}

std::shared_ptr<model::Mount_target_list_intent_response> CHttpRestBackend::get_mount_target(
    boost::optional<int32_t> offset, boost::optional<int32_t> length) {
    const char* operation = NameOf(ERestOperation::eGetMountTarget);
    request =
        RequestOf(ERestOperation::eGetMountTarget, ListBody("mount_target", offset, length, boost::none));
    Exchange(operation, request);
    RequireStatus(operation, 200);
    return Map(operation, [&] { return responseParser.MountTargetList(response.strBody); });
}

std::shared_ptr<model::Mount_target_snapshot_list_intent_response>
CHttpRestBackend::get_mount_target_snapshot(boost::optional<int32_t> offset, boost::optional<int32_t> length,
                                            boost::optional<std::string> filter) {
    const char* operation = NameOf(ERestOperation::eGetMountTargetSnapshot);
    request = RequestOf(ERestOperation::eGetMountTargetSnapshot,
                        ListBody("mount_target_snapshot", offset, length, filter));
    Exchange(operation, request);
    RequireStatus(operation, 200);
    return Map(operation, [&] { return responseParser.SnapshotList(response.strBody); });
}

std::string CHttpRestBackend::create_mount_target_snapshot(const std::string& mountTargetUuid,
                                                           const std::string& name,
                                                           const std::string& description,
                                                           boost::optional<bool> waitForCompletion) {
    const char* operation = NameOf(ERestOperation::eCreateMountTargetSnapshot);
    request = RequestOf(ERestOperation::eCreateMountTargetSnapshot,
                        SnapshotBody(mountTargetUuid, name, description, waitForCompletion));
    Exchange(operation, request);
    RequireStatus(operation, 202, 200);
    // Without the UUID the snapshot can neither be diffed nor deleted: an
    // answer that lacks it is a failure, not an empty success.
    return Map(operation, [&] { return responseParser.CreatedUuid(response.strBody, true); });
}

void CHttpRestBackend::delete_mount_target_snapshot(const std::string& snapshotUuid,
                                                    boost::optional<bool> waitForCompletion) {
    const char* operation = NameOf(ERestOperation::eDeleteMountTargetSnapshot);
    RequirePathParameter(operation, snapshotUuid, "snapshot UUID");
    request = HttpRequest{RestOperationOf(ERestOperation::eDeleteMountTargetSnapshot).pszMethod,
                          DeleteSnapshotPath(snapshotUuid, waitForCompletion), std::string()};
    unsigned attempts = Exchange(operation, request);
    // A re-sent deletion whose first attempt went through finds nothing left
    // to delete: the snapshot is gone, which is what the caller asked for.
    if (attempts > 1 && response.lStatus == 404) return;
    RequireStatus(operation, 200, kAnySuccess);
}

std::shared_ptr<model::Mount_target_snapshot_diff_output>
CHttpRestBackend::create_mount_target_snapshot_incremental_diff(
    const std::string& olderSnapshotUuid, const std::string& newerSnapshotUuid,
    boost::optional<std::string> pathFilter, boost::optional<std::string> objectTypeFilter) {
    const char* operation = NameOf(ERestOperation::eCreateIncrementalDiff);
    request =
        RequestOf(ERestOperation::eCreateIncrementalDiff,
                  IncrementalDiffBody(olderSnapshotUuid, newerSnapshotUuid, pathFilter, objectTypeFilter));
    Exchange(operation, request);
    RequireStatus(operation, 200);
    return Map(operation, [&] { return responseParser.DiffOutput(response.strBody); });
}

model::Mount_target_snapshot_diff_tracking_output CHttpRestBackend::get_mount_target_snapshot_diff_page(
    const std::string& diffUuid, boost::optional<std::string> pageToken,
    boost::optional<std::string> pageSize) {
    const char* operation = NameOf(ERestOperation::eGetDiffPage);
    RequirePathParameter(operation, diffUuid, "difference UUID");
    request = HttpRequest{RestOperationOf(ERestOperation::eGetDiffPage).pszMethod,
                          DiffPagePath(diffUuid, pageToken, pageSize), std::string()};
    Exchange(operation, request);
    RequireStatus(operation, 200);
    // Pages alternate between two spares: while the caller holds the page
    // returned last time, the one before it has been let go, so the parser
    // can refill its objects instead of allocating 3000 new ones.
    model::Mount_target_snapshot_diff_tracking_output& page = listSparePages[uNextSparePage];
    uNextSparePage = 1 - uNextSparePage;
    Map(operation, [&] { pageParser.ParseInPlace(response.strBody, page); });
    uPagesOfDiff = diffUuid == strPagedDiff ? uPagesOfDiff + 1 : 1;
    strPagedDiff = diffUuid;
    // A host reads the count to show how far a long difference got.
    if (!page.isShouldRetryPage()) CountProgress(eProgressPagesFetched, 1);
    HOST_LOG(1, "REST client: difference page %u of %s: %zu objects", uPagesOfDiff, diffUuid.c_str(),
             page.getObjectList().size());
    return page;
}

std::shared_ptr<IRestBackend> MakeHttpRestBackend(const RestClientConfig& config,
                                                  std::unique_ptr<IHttpTransport> transport) {
    return std::make_shared<CHttpRestBackend>(config, std::move(transport));
}

std::shared_ptr<IRestBackend> MakeHttpRestBackend(const RestClientConfig& config) {
    ServerAddress address = ParseServerAddress(config.strServer);
    TransportSettings settings = LoadTransportSettings(ZKPlatformInfo());
    return MakeHttpRestBackend(
        config, std::make_unique<CCurlTransport>(address, config.strUser, config.strPassword, settings));
}

}  // namespace afs_rest
