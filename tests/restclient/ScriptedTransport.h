#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "restclient/HttpRestBackend.h"
#include "restclient/HttpTransport.h"
#include "restclient/NutanixException.h"

namespace afs_rest_test {

// An answer with `status` (0: `body` is the cause of an unreachable server).
inline afs_rest::HttpResponse Answer(long status, std::string body, long retryAfterSeconds = 0) {
    afs_rest::HttpResponse response;
    response.lRetryAfterSeconds = retryAfterSeconds;
    response.eOutcome = status == 0 ? afs_rest::eUnreachable : afs_rest::eAnswered;
    response.lStatus = status;
    (status == 0 ? response.strError : response.strBody) = std::move(body);
    return response;
}

// A backend over a transport that plays back scripted answers in order and
// records every request; running out of answers is a transport failure.
struct ScriptedBackend {
    struct CTransport : afs_rest::IHttpTransport {
        explicit CTransport(ScriptedBackend* ptrOwnerIn) : ptrOwner(ptrOwnerIn) {}
        void Perform(const afs_rest::HttpRequest& request, afs_rest::HttpResponse& response) override {
            ptrOwner->listRequests.push_back(request);
            response = afs_rest::HttpResponse();
            response.strError = "script exhausted";
            if (ptrOwner->listAnswers.empty()) return;
            response = ptrOwner->listAnswers.front();
            ptrOwner->listAnswers.pop_front();
        }
        std::string Describe() const override { return "https://fs.test:9440/api/nutanix/v3"; }
        ScriptedBackend* ptrOwner;
    };
    explicit ScriptedBackend(uint32_t haWaitSeconds = 0, const std::string& logDir = "",
                             afs_log::severity_level severity = afs_log::trace)
        : ptrBackend(afs_rest::MakeHttpRestBackend(
              {"fs.test", "backup-admin", "S3cret-Pa55", "job-1", severity, logDir, haWaitSeconds},
              std::make_unique<CTransport>(this))) {}
    ScriptedBackend(const ScriptedBackend&) = delete;
    void Script(afs_rest::HttpResponse response) { listAnswers.push_back(std::move(response)); }
    afs_rest::IRestBackend* operator->() { return ptrBackend.get(); }

    std::deque<afs_rest::HttpResponse> listAnswers;
    std::vector<afs_rest::HttpRequest> listRequests;
    std::shared_ptr<afs_rest::IRestBackend> ptrBackend;
};

// Runs `call`, which must throw NutanixException, and returns "<status> <text>".
template <typename TCall>
std::string Failure(TCall call) {
    try {
        call();
    } catch (const NutanixException& error) {
        return std::to_string(error.GetHttpStatus()) + " " + error.what();
    }
    return "no exception";
}

}  // namespace afs_rest_test
