#include <curl/curl.h>  // before any cpprestsdk header, see restclient/HttpRestBackend.cpp

#include "tools/afs-scan/cli/ErrorHeadline.h"

#include <exception>

#include "host/ErrorCategory.h"
#include "restclient/ServerAddress.h"

namespace afs_scan {

namespace {

// The text after `pszMarker` (found at `uAt`) in `strText`, up to the
// first of `pszEnds`, without trailing blanks.
std::string After(const std::string& strText, size_t uAt, const char* pszMarker, const char* pszEnds) {
    const size_t uStart = uAt + std::string(pszMarker).size();
    std::string strPart = strText.substr(uStart, strText.find_first_of(pszEnds, uStart) - uStart);
    while (!strPart.empty() && strPart.back() == ' ') strPart.pop_back();
    return strPart;
}

}  // namespace

std::string ServerHostPort(const std::string& strServer) {
    try {
        const afs_rest::ServerAddress address = afs_rest::ParseServerAddress(strServer);
        const bool bV6 = address.strHost.find(':') != std::string::npos;
        return (bV6 ? "[" + address.strHost + "]" : address.strHost) + ":" + std::to_string(address.uPort);
    } catch (const std::exception&) {
        return strServer;
    }
}

std::string ServerAddressError(const std::string& strServer) {
    try {
        afs_rest::ParseServerAddress(strServer);
        return {};
    } catch (const std::exception& exception) {
        return exception.what();
    }
}

std::string DifferenceFailure(const CRhError& error) {
    if (ClassifyError(error) != eCategoryNotFound)
        return "its snapshot difference could not be read (" + error.GetMessage() + ")";
    const bool bPage =
        error.AsString().find("get_mount_target_snapshot_diff_page failed: HTTP 404") != std::string::npos;
    return bPage ? "the file server lost its snapshot difference (HTTP 404 for a page of it)"
                 : "the file server found no snapshot difference to make (HTTP 404)";
}

std::string ErrorHeadline(const CRhError& error, const ScanOptions& options) {
    // The kit's classification decides; the texts only add the details.
    const std::string strChain = error.AsString();
    // A command that never asks the file server (no --server) has no failure
    // of it, whatever text a path in the chain holds.
    switch (options.strServer.empty() ? eCategoryOther : ClassifyError(error)) {
        case eCategoryAuthentication:
            return "the file server refused user '" + options.strUser +
                   "' (HTTP 401): check --user and --password-file";
        case eCategoryCertificate: {
            const char* const kTls = "SSL certificate problem: ";
            const size_t uAt = strChain.find(kTls);
            const std::string strWhy =
                uAt == std::string::npos ? error.GetMessage() : After(strChain, uAt, kTls, "])<");
            return "certificate of " + ServerHostPort(options.strServer) + " not trusted (" + strWhy +
                   "): pass --ca-bundle FILE";
        }
        case eCategoryUnreachable: {
            const char* const kWait = "stayed unavailable for the high-availability wait of ";
            const size_t uAt = strChain.find(kWait);
            if (uAt == std::string::npos) {
                const char* const kResolve = "Could not resolve host: ";
                const size_t uName = strChain.find(kResolve);
                if (uName == std::string::npos) break;
                return "no file server is known by the name '" + After(strChain, uName, kResolve, " ])<;") +
                       "' (the name does not resolve): check --server, or this machine's DNS and "
                       "/etc/hosts";
            }
            const size_t uLast = strChain.find("last: ", uAt);
            return "file server " + ServerHostPort(options.strServer) + " stayed unreachable for " +
                   After(strChain, uAt, kWait, " ") + " s" +
                   (uLast == std::string::npos ? std::string()
                                               : " (" + After(strChain, uLast, "last: ", ")") + ")") +
                   ": check --server, or wait longer with --ha-wait SECONDS";
        }
        default:
            break;
    }
    return (options.strCommand == "scan" ? std::string("job") : options.strCommand) +
           " failed: " + error.GetMessage();
}

}  // namespace afs_scan
