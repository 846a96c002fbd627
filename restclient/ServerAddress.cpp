#include "restclient/ServerAddress.h"

#include <algorithm>
#include <cctype>

#include "restclient/NutanixException.h"

namespace afs_rest {
namespace {

[[noreturn]] void Reject(const std::string& why) { throw NutanixException("invalid server address: " + why); }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

uint16_t ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        Reject("the port is not a number from 1 to 65535");
    unsigned long port = std::stoul(text);
    if (port == 0 || port > 65535) Reject("the port is not a number from 1 to 65535");
    return static_cast<uint16_t>(port);
}

// Letters, digits, '-', '.', '_' only: the host ends up in a URL, and a stray
// '/', '@' or '#' there would send the request (and the credentials) elsewhere.
void CheckHostName(const std::string& host) {
    if (host.empty()) Reject("the host is empty");
    for (unsigned char c : host) {
        if (!std::isalnum(c) && c != '-' && c != '.' && c != '_') Reject("the host has invalid characters");
    }
}

void CheckIpv6(const std::string& host) {
    if (host.empty()) Reject("the host is empty");
    for (unsigned char c : host) {
        if (!std::isxdigit(c) && c != ':' && c != '.') Reject("the IPv6 address has invalid characters");
    }
}

void ParseAuthority(const std::string& authority, ServerAddress& address) {
    if (authority.find('@') != std::string::npos) Reject("user information is not allowed in it");
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) Reject("the IPv6 address has no closing ']'");
        address.strHost = authority.substr(1, close - 1);
        CheckIpv6(address.strHost);
        std::string rest = authority.substr(close + 1);
        if (rest.empty()) return;
        if (rest[0] != ':') Reject("unexpected text after the IPv6 address");
        address.uPort = ParsePort(rest.substr(1));
        return;
    }
    size_t colons = static_cast<size_t>(std::count(authority.begin(), authority.end(), ':'));
    if (colons > 1) {  // a bare IPv6 address cannot carry a port
        address.strHost = authority;
        CheckIpv6(address.strHost);
        return;
    }
    size_t colon = authority.find(':');
    address.strHost = authority.substr(0, colon);
    CheckHostName(address.strHost);
    if (colon != std::string::npos) address.uPort = ParsePort(authority.substr(colon + 1));
}

}  // namespace

std::string ServerAddress::BaseUrl() const {
    std::string host = strHost.find(':') != std::string::npos ? "[" + strHost + "]" : strHost;
    return strScheme + "://" + host + ":" + std::to_string(uPort) + strBasePath;
}

ServerAddress ParseServerAddress(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos) Reject("it is empty");
    std::string trimmed = text.substr(begin, end - begin + 1);

    ServerAddress address;
    std::string authority = trimmed;
    size_t schemeEnd = trimmed.find("://");
    if (schemeEnd != std::string::npos) {
        std::string scheme = Lower(trimmed.substr(0, schemeEnd));
        if (scheme != "http" && scheme != "https") Reject("only http:// and https:// are supported");
        address.strScheme = scheme;
        std::string rest = trimmed.substr(schemeEnd + 3);
        size_t slash = rest.find('/');
        authority = rest.substr(0, slash);
        std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
        if (path.find_first_of("?#") != std::string::npos ||
            authority.find_first_of("?#") != std::string::npos)
            Reject("a query or fragment is not allowed in it");
        for (unsigned char c : path) {
            if (c <= ' ' || c >= 0x7f || c == '\\') Reject("the path has invalid characters");
        }
        while (!path.empty() && path.back() == '/') path.pop_back();
        if (!path.empty()) address.strBasePath = path;
    } else if (trimmed.find_first_of("/?#") != std::string::npos) {
        Reject("a path needs a URL with http:// or https://");
    }
    ParseAuthority(authority, address);
    return address;
}

}  // namespace afs_rest
