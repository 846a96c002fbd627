#pragma once

#include <string>

#include "host/HostExport.h"
#include "host/RhError.h"

// What kind of failure an error chain of the plug-in, or the text of an
// exception it let out (what()), names: for a host that must tell a wrong
// password from a server that is down without reading log texts, which may
// change in any release. The decision rests only on the texts that
// docs/integrating.md lists as stable ("Telling failures apart").
enum EErrorCategory {
    eCategoryNone = 0,        // no error (a successful chain, an empty text)
    eCategoryAuthentication,  // the file server refused the credentials (HTTP 401)
    eCategoryCertificate,     // the server's TLS certificate is not trusted or names another host
    eCategoryUnreachable,     // no server under that name, or none answered (or only with 429, 502,
                              // 503, 504) for the whole high-availability wait
    eCategoryNotFound,        // the server answered HTTP 404: what was asked for is not there
    eCategoryRefused,         // the server answered with another 4xx status (400, 403, 409, ...)
    eCategoryOther,           // anything else: HTTP 500, a malformed answer, a record file, ...
};

// The category of the chain's text (every entry, innermost first). Thread-safe.
HOST_EXPORT EErrorCategory ClassifyError(const CRhError& error);
// The category of an exception's text or of a chain's AsString().
HOST_EXPORT EErrorCategory ClassifyError(const std::string& text);
// "none", "authentication", "certificate", "unreachable", "not found",
// "refused", "other"; never null.
HOST_EXPORT const char* ErrorCategoryName(EErrorCategory category);
