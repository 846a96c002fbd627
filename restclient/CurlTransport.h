#pragma once

#include <cstddef>
#include <string>

#include "restclient/CurlHandle.h"
#include "restclient/HttpTransport.h"
#include "restclient/ServerAddress.h"
#include "restclient/TransportSettings.h"

namespace afs_rest {

// IHttpTransport over one libcurl easy handle, reused for every request so the
// connection stays open between requests. Basic authentication on every
// request; TLS peer and host verification unless the settings turn it off
// (then a warning goes to the host log). Redirects are not followed and only
// http/https are spoken. A proxy is used only when the settings name one;
// the environment's proxy variables are ignored. Not thread-safe: one
// transport per client.
class CCurlTransport : public IHttpTransport {
public:
    // Throws NutanixException when libcurl cannot be set up. Credentials are
    // kept inside the handle only; they never appear in Describe() or errors.
    CCurlTransport(const ServerAddress& address, const std::string& user, const std::string& password,
                   const TransportSettings& settings);

    void Perform(const HttpRequest& request, HttpResponse& response) override;
    std::string Describe() const override { return strBaseUrl; }

    // Bodies larger than this fail the request instead of exhausting memory.
    static constexpr size_t kMaxBodyBytes = 256u * 1024u * 1024u;

private:
    static size_t OnWrite(char* data, size_t size, size_t count, void* context);

    CCurlEasyHandle handle;
    std::string strBaseUrl;
    std::string strProxyUserInfo;  // the proxy's "USER:PASSWORD", kept out of errors
    std::string strUrl;            // reused between requests
    long lTransferTimeoutSeconds;
    char szError[CURL_ERROR_SIZE] = {};
    HttpResponse* ptrCurrent = nullptr;
    bool bTooLarge = false;
};

}  // namespace afs_rest
