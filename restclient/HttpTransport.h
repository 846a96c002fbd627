#pragma once

#include <string>

namespace afs_rest {

// One HTTP request, relative to the server's base URL.
struct HttpRequest {
    std::string strMethod;  // "GET", "POST" or "DELETE"
    std::string strPath;    // e.g. "mount_targets/list" or "mount_target_snapshots/diff/X?page_size=3"
    std::string strBody;    // sent for POST only
};

// How an exchange ended. eAnswered means a complete HTTP response arrived
// (any status). eUnreachable means no response at all: connection refused,
// reset or timed out while connecting, closed before an answer. eFailed is
// every other transport failure (TLS verification, timeout of an answered
// request, truncated transfer, oversized body, bad CA bundle...).
enum ETransportOutcome { eAnswered, eUnreachable, eFailed };

struct HttpResponse {
    ETransportOutcome eOutcome = eFailed;
    long lStatus = 0;             // 0 when no status line arrived
    long lRetryAfterSeconds = 0;  // the answer's Retry-After in seconds; 0 without one
    std::string strBody;          // decoded (gunzipped) body; its capacity is reused between requests
    std::string strError;         // cause of eUnreachable/eFailed; never holds a credential
    std::string strCause;         // the same in a few words for people ("Connection refused"); may be empty
};

// Sends requests to one server. Implementations: CCurlTransport (libcurl),
// scripted transports in tests. Perform never throws for transport or HTTP
// failures; they are reported in `response`. Not thread-safe.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    // Overwrites every member of `response`.
    virtual void Perform(const HttpRequest& request, HttpResponse& response) = 0;
    // Base URL for messages, e.g. "https://fs1:9440/api/nutanix/v3" (no credentials).
    virtual std::string Describe() const = 0;
};

}  // namespace afs_rest
