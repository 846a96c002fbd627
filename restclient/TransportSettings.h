#pragma once

#include <string>

class ZKPlatformInfo;

namespace afs_rest {

// The [RestClient] section of the host settings:
//   ConnectTimeoutSeconds   default 10, limit for setting up one connection (TCP and TLS)
//   TransferTimeoutSeconds  default 300, limit for one whole request and its answer
//   CABundle                PEM file of the CAs trusted for the server (default: the system's)
//   InsecureSkipTLSVerify   1 turns certificate and host name checks off (default 0)
//   Proxy                   the proxy every request goes through (libcurl's form, e.g.
//                           http://proxy:3128); default none. The environment's
//                           http_proxy, https_proxy and all_proxy are never followed.
// A timeout of 0 or one that is not a number means the default; values above
// one day are cut to one day.
struct TransportSettings {
    long lConnectTimeoutSeconds = 10;
    long lTransferTimeoutSeconds = 300;
    std::string strCABundle;
    bool bInsecureSkipTLSVerify = false;
    std::string strProxy;  // "": no proxy at all
};

TransportSettings LoadTransportSettings(const ZKPlatformInfo& settings);

}  // namespace afs_rest
