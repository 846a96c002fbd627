#pragma once

#include <cstdint>
#include <string>

namespace afs_rest {

// Where the file server's REST API lives.
struct ServerAddress {
    std::string strScheme = "https";  // "http" or "https"
    std::string strHost;              // name, IPv4, or IPv6 without brackets
    uint16_t uPort = 9440;
    std::string strBasePath = "/api/nutanix/v3";  // starts with '/', no trailing '/'

    // "scheme://host:port/base/path", IPv6 hosts in brackets.
    std::string BaseUrl() const;
};

// Parses "host", "host:port", "[v6]:port" or "http(s)://host[:port][/path]".
// Defaults: https, port 9440, path /api/nutanix/v3 (also when a URL's path is
// empty or "/"). Throws NutanixException for anything else: an empty text,
// another scheme, user information ("user:pw@"), a query or fragment, a bad
// port, a host with characters that do not belong in a host name. The
// exception text never repeats the connection string, which may hold secrets.
ServerAddress ParseServerAddress(const std::string& text);

}  // namespace afs_rest
