#include "restclient/RequestLog.h"

#include <cctype>
#include <cerrno>
#include <ctime>

#include "host/PrivateFile.h"

namespace afs_rest {
namespace {

bool LooksSecret(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "page_token" || name == "page_size") return false;  // paging cursors, needed to follow a job
    for (const char* word : {"pass", "secret", "token", "auth", "key", "credential", "session"}) {
        if (name.find(word) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

CRequestLog::CRequestLog(const std::string& directory, const std::string& jobId,
                         afs_log::severity_level severity)
    : strJobId(jobId), eSeverity(severity) {
    if (directory.empty()) return;
    strFile = directory;
    while (strFile.size() > 1 && strFile.back() == '/') strFile.pop_back();
    strFile += "/";
    strFile += kFileName;
}

std::string CRequestLog::RedactQuery(const std::string& path) {
    size_t question = path.find('?');
    if (question == std::string::npos) return path;
    std::string result = path.substr(0, question + 1);
    size_t position = question + 1;
    while (position <= path.size()) {
        size_t amp = path.find('&', position);
        std::string pair =
            path.substr(position, amp == std::string::npos ? std::string::npos : amp - position);
        size_t equals = pair.find('=');
        if (equals != std::string::npos && LooksSecret(pair.substr(0, equals)))
            pair = pair.substr(0, equals + 1) + "***";
        result += pair;
        if (amp == std::string::npos) break;
        result += '&';
        position = amp + 1;
    }
    return result;
}

void CRequestLog::Append(bool bExpected, const std::string& method, const std::string& path, long status,
                         size_t bytes, long long milliseconds, const std::string& cause) {
    if (strFile.empty()) return;
    afs_log::severity_level level = bExpected ? afs_log::info : afs_log::warning;
    if (level < eSeverity) return;
    if (!bOpenTried) {
        bOpenTried = true;
        // The default folder is in /tmp, which every user can write to.
        ptrFile.reset(afs_private_file::OpenLogStream(strFile, "REST request log"));
    }
    if (!ptrFile) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char stamp[32];
    strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", &utc);
    std::string line = std::string(stamp) + "." + std::to_string(now.tv_nsec / 100000000) +
                       std::to_string(now.tv_nsec / 10000000 % 10) +
                       std::to_string(now.tv_nsec / 1000000 % 10) + "Z job=" + strJobId + " " + method + " " +
                       RedactQuery(path) + " status=" + std::to_string(status) +
                       " bytes=" + std::to_string(bytes) + " ms=" + std::to_string(milliseconds);
    if (!cause.empty()) line += " cause=\"" + cause + "\"";
    line += '\n';
    // A full disk must not fail a backup: drop the line.
    if (fwrite(line.data(), 1, line.size(), ptrFile.get()) == line.size()) fflush(ptrFile.get());
}

}  // namespace afs_rest
