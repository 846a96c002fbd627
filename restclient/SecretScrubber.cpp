#include "restclient/SecretScrubber.h"

#include <strings.h>

#include <cstdio>

#include "host/TextEncoding.h"

namespace afs_rest {
namespace {

const char kHidden[] = "***";

void HideAll(std::string& text, const std::string& secret) {
    if (secret.empty()) return;
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + sizeof(kHidden) - 1))
        text.replace(at, secret.size(), kHidden);
}

// "Authorization: Basic ...", "authorization":"Basic ..." and the like: the
// value runs to the end of the line or of the quoted text.
void HideAuthorizationValues(std::string& text) {
    static const char kName[] = "authorization";
    const size_t uName = sizeof(kName) - 1;
    for (size_t at = 0; at + uName <= text.size(); ++at) {
        if (strncasecmp(text.c_str() + at, kName, uName) != 0) continue;
        size_t begin = at + uName;
        while (begin < text.size() && (text[begin] == '"' || text[begin] == ':' || text[begin] == '=' ||
                                       text[begin] == ' ' || text[begin] == '\t')) {
            ++begin;
        }
        size_t end = text.find_first_of("\"'\r\n", begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) text.replace(begin, end - begin, kHidden);
        at = begin;
    }
}

}  // namespace

CSecretScrubber::CSecretScrubber(const std::string& user, const std::string& password)
    : strPassword(password), strCredentials(afs_utf8::Base64(user + ":" + password)) {}

std::string CSecretScrubber::Clean(const std::string& text) const {
    std::string result = text;
    HideAuthorizationValues(result);
    // The longer secret first: the password may occur inside its base64.
    HideAll(result, strCredentials);
    HideAll(result, strPassword);
    std::string escaped;
    escaped.reserve(result.size());
    for (unsigned char c : result) {
        if (c >= 0x20 && c != 0x7f) {
            escaped += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof(buffer), "\\x%02x", c);
            escaped += buffer;
        }
    }
    return escaped;
}

}  // namespace afs_rest
