#include "restclient/TransportSettings.h"

#include "host/PlatformInfo.h"

namespace afs_rest {
namespace {

constexpr const char* kSection = "RestClient";
constexpr unsigned long long kMaxSeconds = 86400;

long ReadSeconds(const ZKPlatformInfo& settings, const char* key, long fallback) {
    unsigned long long value = 0;
    if (!settings.getNumber(kSection, key, value) || value == 0) return fallback;
    return static_cast<long>(value > kMaxSeconds ? kMaxSeconds : value);
}

}  // namespace

TransportSettings LoadTransportSettings(const ZKPlatformInfo& settings) {
    TransportSettings result;
    result.lConnectTimeoutSeconds =
        ReadSeconds(settings, "ConnectTimeoutSeconds", result.lConnectTimeoutSeconds);
    result.lTransferTimeoutSeconds =
        ReadSeconds(settings, "TransferTimeoutSeconds", result.lTransferTimeoutSeconds);
    settings.getString(kSection, "CABundle", result.strCABundle);
    unsigned long long insecure = 0;
    result.bInsecureSkipTLSVerify =
        settings.getNumber(kSection, "InsecureSkipTLSVerify", insecure) && insecure == 1;
    settings.getString(kSection, "Proxy", result.strProxy);
    return result;
}

}  // namespace afs_rest
