#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "restclient/HttpRestBackend.h"
#include "restclient/HttpTransport.h"
#include "restclient/NutanixException.h"

namespace afs_rest_test {

// An IHttpTransport that plays back scripted answers in order and records
// every request. Running out of answers is reported as a transport failure.
class CScriptedTransport : public afs_rest::IHttpTransport {
public:
    struct Shared {
        std::deque<afs_rest::HttpResponse> listAnswers;
        std::vector<afs_rest::HttpRequest> listRequests;
    };
    explicit CScriptedTransport(std::shared_ptr<Shared> ptrSharedIn) : ptrShared(std::move(ptrSharedIn)) {}

    void Perform(const afs_rest::HttpRequest& request, afs_rest::HttpResponse& response) override {
        ptrShared->listRequests.push_back(request);
        response = afs_rest::HttpResponse();
        response.strError = "script exhausted";
        if (ptrShared->listAnswers.empty()) return;
        response = ptrShared->listAnswers.front();
        ptrShared->listAnswers.pop_front();
    }
    std::string Describe() const override { return "https://fs.test:9440/api/nutanix/v3"; }

private:
    std::shared_ptr<Shared> ptrShared;
};

// An answer with `status` (0: `body` is the cause of an unreachable server).
inline afs_rest::HttpResponse Answer(long status, std::string body) {
    afs_rest::HttpResponse response;
    response.eOutcome = status == 0 ? afs_rest::eUnreachable : afs_rest::eAnswered;
    response.lStatus = status;
    (status == 0 ? response.strError : response.strBody) = std::move(body);
    return response;
}

// A backend over a scripted transport; Script() feeds it, Requests() shows what it sent.
struct ScriptedBackend {
    explicit ScriptedBackend(uint32_t haWaitSeconds = 0, const std::string& logDir = "",
                             afs_log::severity_level severity = afs_log::trace)
        : ptrShared(std::make_shared<CScriptedTransport::Shared>()) {
        afs_rest::RestClientConfig config;
        config.strServer = "fs.test";
        config.strUser = "backup-admin";
        config.strPassword = "S3cret-Pa55";
        config.strJobId = "job-1";
        config.uHAWaitTime = haWaitSeconds;
        config.strLogDir = logDir;
        config.eSeverity = severity;
        ptrBackend = afs_rest::MakeHttpRestBackend(config, std::make_unique<CScriptedTransport>(ptrShared));
    }
    void Script(afs_rest::HttpResponse response) { ptrShared->listAnswers.push_back(std::move(response)); }
    const std::vector<afs_rest::HttpRequest>& Requests() const { return ptrShared->listRequests; }
    afs_rest::IRestBackend* operator->() { return ptrBackend.get(); }

    std::shared_ptr<CScriptedTransport::Shared> ptrShared;
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
