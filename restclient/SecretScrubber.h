#pragma once

#include <string>

namespace afs_rest {

// Makes a server's text safe to show or log. A server (or a proxy) may echo
// the request, so the password, the base64 "user:password" of basic
// authentication and any Authorization value become "***"; control
// characters become "\xNN", so that a share name or a message cannot start
// a forged log line.
class CSecretScrubber {
public:
    CSecretScrubber(const std::string& user, const std::string& password);

    std::string Clean(const std::string& text) const;

private:
    std::string strPassword;
    std::string strCredentials;  // base64 of "user:password"
};

}  // namespace afs_rest
