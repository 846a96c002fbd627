#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "restclient/AfsLog.h"

namespace afs_rest {

// The client's request log: one line per HTTP request (path relative to the
// API base) in
// "<dir>/afs-rest-client.log":
//   2026-12-01T10:11:12.345Z job=J7 POST mount_targets/list status=200 bytes=512 ms=3
// status=0 and a cause when no answer arrived. Requests that got the expected
// answer are logged at level info, the others at warning; a line is written
// when its level is at least the configured severity. Query values whose names
// suggest secrets are replaced by "***"; credentials are never passed in.
// The directory is created when missing; when the file cannot be opened or
// written the log stays silent and the client goes on. An empty directory
// turns the log off. Not thread-safe (one per client).
class CRequestLog {
public:
    CRequestLog(const std::string& directory, const std::string& jobId, afs_log::severity_level severity);

    static constexpr const char* kFileName = "afs-rest-client.log";

    void Append(bool bExpected, const std::string& method, const std::string& path, long status, size_t bytes,
                long long milliseconds, const std::string& cause);

    // `path` with the values of secret-looking query parameters replaced.
    static std::string RedactQuery(const std::string& path);

private:
    struct FileCloser {
        void operator()(FILE* file) const noexcept {
            if (file != nullptr) fclose(file);
        }
    };
    std::string strFile;
    std::string strJobId;
    afs_log::severity_level eSeverity;
    bool bOpenTried = false;
    std::unique_ptr<FILE, FileCloser> ptrFile;
};

}  // namespace afs_rest
