#pragma once

// What the simulator answered: kept in memory for GET /_sim/requests and
// written as one line per request to a log stream. Thread-safe.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace afs_sim {

struct RequestRecord {
    uint64_t uSequence = 0;  // set by Add()
    std::string strMethod;
    std::string strTarget;  // path and query as sent
    std::string strOperation;
    std::string strRequestBody;
    int nStatus = 0;       // 0 when the connection was dropped without an answer
    uint64_t uBytes = 0;   // response body bytes meant to be sent
    std::string strFault;  // the fault kind applied, if any
};

class CRequestLog {
public:
    // `pStream` receives the log lines; null writes none. The stream is not
    // owned and must outlive this object.
    CRequestLog(std::FILE* pStream, size_t uMaxRecords);

    void Add(RequestRecord record);
    void Clear();
    // {"requests":[{"sequence":1,"method":"POST","target":...,"operation":...,
    //  "status":200,"bytes":123,"fault":"","body":"..."}]}
    std::string ToJson() const;

private:
    static constexpr size_t kMaxRecordedText = 4096;        // of a body or a target
    static constexpr size_t kMaxRecordedBytes = 64u << 20;  // of all records together

    static size_t RecordBytes(const RequestRecord& record);
    void PopOldest();

    std::FILE* const pStream;
    size_t uRecordedBytes = 0;
    const size_t uMaxRecords;
    mutable std::mutex mutex;
    std::deque<RequestRecord> listRecords;
    uint64_t uNextSequence = 1;
};

}  // namespace afs_sim
