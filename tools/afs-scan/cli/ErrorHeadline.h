#pragma once

#include <string>

#include "host/RhError.h"
#include "tools/afs-scan/cli/ScanOptions.h"

namespace afs_scan {

// The one line a person sees when a job failed: the cause and what to do
// about it, for the failures a user can fix (credentials, an untrusted
// certificate, a file server that stayed unreachable or whose name does not
// resolve; only with --server); else the innermost message of the chain.
// The whole chain goes to the log.
std::string ErrorHeadline(const CRhError& error, const ScanOptions& options);

// Why a share's snapshot difference could not be read, for the line that
// says the job lists the share in full instead: a difference or a page the
// server answers 404 for is lost on the server; else the chain's message.
std::string DifferenceFailure(const CRhError& error);

// "host:port" of a --server text, as the REST client reads it; the text
// itself when it is no server address.
std::string ServerHostPort(const std::string& strServer);

// Why `strServer` is no server address the REST client can use; empty when
// it is one.
std::string ServerAddressError(const std::string& strServer);

}  // namespace afs_scan
