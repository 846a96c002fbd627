#pragma once

// What a file-server administrator does behind the backup host's back,
// through the server's REST API.

#include <string>

namespace afs_test {

// Deletes the snapshot `strSnapshot` of share `strShare` on the server at
// `strOrigin` ("http://127.0.0.1:PORT"). Returns an empty text on success,
// else what went wrong.
std::string DeleteShareSnapshot(const std::string& strOrigin, const std::string& strUser,
                                const std::string& strPassword, const std::string& strShare,
                                const std::string& strSnapshot);

}  // namespace afs_test
