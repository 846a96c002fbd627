#include "tools/afs-sim/RequestLog.h"

#include "tools/afs-sim/JsonText.h"

namespace afs_sim {

CRequestLog::CRequestLog(std::FILE* pStream, size_t uMaxRecords)
    : pStream(pStream), uMaxRecords(uMaxRecords) {}

void CRequestLog::Add(RequestRecord record) {
    std::lock_guard<std::mutex> lock(mutex);
    record.uSequence = uNextSequence++;
    if (pStream) {
        std::fprintf(pStream, "%s %s %d %llu%s%s\n", record.strMethod.c_str(), record.strTarget.c_str(),
                     record.nStatus, static_cast<unsigned long long>(record.uBytes),
                     record.strFault.empty() ? "" : " fault=", record.strFault.c_str());
        std::fflush(pStream);
    }
    if (uMaxRecords == 0) return;
    // A test reads the start of a body and the target; a client sending huge
    // ones must not make the record grow without bound.
    for (std::string* pText : {&record.strRequestBody, &record.strTarget}) {
        if (pText->size() > kMaxRecordedText) {
            pText->resize(kMaxRecordedText);
            *pText += "...";
        }
    }
    if (listRecords.size() == uMaxRecords) PopOldest();
    uRecordedBytes += RecordBytes(record);
    listRecords.push_back(std::move(record));
    while (uRecordedBytes > kMaxRecordedBytes) PopOldest();
}

size_t CRequestLog::RecordBytes(const RequestRecord& record) {
    return sizeof(record) + record.strRequestBody.size() + record.strTarget.size() + record.strMethod.size() +
           record.strOperation.size() + record.strFault.size();
}

void CRequestLog::PopOldest() {
    uRecordedBytes -= RecordBytes(listRecords.front());
    listRecords.pop_front();
}

void CRequestLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    listRecords.clear();
    uRecordedBytes = 0;
}

std::string CRequestLog::ToJson() const {
    std::lock_guard<std::mutex> lock(mutex);
    std::string strOut = "{\"requests\":[";
    bool bFirst = true;
    for (const RequestRecord& record : listRecords) {
        strOut += bFirst ? "\n{\"sequence\":" : ",\n{\"sequence\":";
        bFirst = false;
        AppendJsonInt(strOut, static_cast<int64_t>(record.uSequence));
        strOut += ",\"method\":";
        AppendJsonString(strOut, record.strMethod);
        strOut += ",\"target\":";
        AppendJsonString(strOut, record.strTarget);
        strOut += ",\"operation\":";
        AppendJsonString(strOut, record.strOperation);
        strOut += ",\"status\":";
        AppendJsonInt(strOut, record.nStatus);
        strOut += ",\"bytes\":";
        AppendJsonInt(strOut, static_cast<int64_t>(record.uBytes));
        strOut += ",\"fault\":";
        AppendJsonString(strOut, record.strFault);
        strOut += ",\"body\":";
        AppendJsonString(strOut, record.strRequestBody);
        strOut += "}";
    }
    strOut += "]}\n";
    return strOut;
}

}  // namespace afs_sim
