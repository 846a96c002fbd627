#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "restclient/HttpRestBackend.h"
#include "restclient/HttpTransport.h"

namespace afs_rest_test {

// An IHttpTransport that plays back scripted answers in order and records
// every request it was given. Running out of answers is a test failure,
// reported as a transport failure the backend must surface.
class CScriptedTransport : public afs_rest::IHttpTransport {
public:
    struct Shared {
        std::deque<afs_rest::HttpResponse> listAnswers;
        std::vector<afs_rest::HttpRequest> listRequests;
    };

    explicit CScriptedTransport(std::shared_ptr<Shared> ptrSharedIn) : ptrShared(std::move(ptrSharedIn)) {}

    void Perform(const afs_rest::HttpRequest& request, afs_rest::HttpResponse& response) override {
        ptrShared->listRequests.push_back(request);
        if (ptrShared->listAnswers.empty()) {
            response = afs_rest::HttpResponse();
            response.strError = "script exhausted";
            return;
        }
        response = ptrShared->listAnswers.front();
        ptrShared->listAnswers.pop_front();
    }
    std::string Describe() const override { return "https://fs.test:9440/api/nutanix/v3"; }

private:
    std::shared_ptr<Shared> ptrShared;
};

inline afs_rest::HttpResponse Answer(long status, std::string body) {
    afs_rest::HttpResponse response;
    response.eOutcome = afs_rest::eAnswered;
    response.lStatus = status;
    response.strBody = std::move(body);
    return response;
}

inline afs_rest::HttpResponse Unreachable(std::string cause = "Connection refused") {
    afs_rest::HttpResponse response;
    response.eOutcome = afs_rest::eUnreachable;
    response.strError = std::move(cause);
    return response;
}

// A backend over a scripted transport; script() feeds it, requests() shows
// what it sent.
struct ScriptedBackend {
    explicit ScriptedBackend(afs_rest::RestClientConfig config = DefaultConfig())
        : ptrShared(std::make_shared<CScriptedTransport::Shared>()),
          ptrBackend(afs_rest::MakeHttpRestBackend(config, std::make_unique<CScriptedTransport>(ptrShared))) {
    }

    static afs_rest::RestClientConfig DefaultConfig() {
        afs_rest::RestClientConfig config;
        config.strServer = "fs.test";
        config.strUser = "backup-admin";
        config.strPassword = "S3cret-Pa55";
        config.strJobId = "job-1";
        config.uHAWaitTime = 0;
        return config;
    }

    void Script(afs_rest::HttpResponse response) { ptrShared->listAnswers.push_back(std::move(response)); }
    const std::vector<afs_rest::HttpRequest>& Requests() const { return ptrShared->listRequests; }
    afs_rest::IRestBackend& operator*() { return *ptrBackend; }
    afs_rest::IRestBackend* operator->() { return ptrBackend.get(); }

    std::shared_ptr<CScriptedTransport::Shared> ptrShared;
    std::shared_ptr<afs_rest::IRestBackend> ptrBackend;
};

}  // namespace afs_rest_test
