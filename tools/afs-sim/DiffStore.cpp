#include "tools/afs-sim/DiffStore.h"

#include <charconv>  // std::from_chars: strict, no locale

#include "tools/afs-sim/JsonText.h"
#include "tools/afs-sim/ObjectJson.h"
#include "tools/afs-sim/Uuid.h"

namespace afs_sim {

std::vector<std::string> CDiffStore::Add(std::shared_ptr<const std::vector<DiffObject>> ptrObjects,
                                         uint64_t uCount, const std::string& strNewerName,
                                         const std::string& strOlderName, uint64_t uObjectsPerDiff) {
    if (uObjectsPerDiff == 0) uObjectsPerDiff = 1;
    std::vector<std::string> listUuids;
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t uBegin = 0;
    do {
        DiffSource source;
        source.ptrObjects = ptrObjects;
        source.strNewerName = strNewerName;
        source.strOlderName = strOlderName;
        source.uBegin = uBegin;
        source.uEnd = uCount - uBegin > uObjectsPerDiff ? uBegin + uObjectsPerDiff : uCount;
        uBegin = source.uEnd;
        std::string strUuid = NewUuid();
        mapSources.emplace(strUuid, std::move(source));
        listUuids.push_back(std::move(strUuid));
    } while (uBegin < uCount);
    return listUuids;
}

bool CDiffStore::Find(const std::string& strUuid, DiffSource& source) const {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = mapSources.find(strUuid);
    if (it == mapSources.end()) return false;
    source = it->second;
    return true;
}

void CDiffStore::Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    mapSources.clear();
}

std::string WriteDiffPage(const DiffSource& source, const std::string& strToken, uint64_t uPageSize,
                          std::string& strBody) {
    uint64_t uCount = source.uEnd - source.uBegin;
    uint64_t uOffset = 0;
    if (!strToken.empty()) {
        auto result = std::from_chars(strToken.data(), strToken.data() + strToken.size(), uOffset);
        if (result.ec != std::errc() || result.ptr != strToken.data() + strToken.size() || uOffset > uCount) {
            return "page token not valid for this difference: " + strToken;
        }
    }
    if (uPageSize == 0) uPageSize = 1;
    uint64_t uNext = uCount - uOffset > uPageSize ? uOffset + uPageSize : uCount;
    bool bLast = uNext == uCount;
    strBody.clear();
    strBody.reserve(static_cast<size_t>(uNext - uOffset) * 380 + 128);
    strBody += bLast ? "{\"is_last_page\":true" : "{\"is_last_page\":false";
    strBody += ",\"should_retry_page\":false,\"next_page_token\":\"";
    if (!bLast) strBody += std::to_string(uNext);
    strBody += "\",\"object_list\":[";
    for (uint64_t i = uOffset; i < uNext; ++i) {
        if (i != uOffset) strBody.push_back(',');
        if (source.ptrObjects) {
            AppendDiffObject(strBody, (*source.ptrObjects)[source.uBegin + i], source.strNewerName,
                             source.strOlderName);
        } else {
            AppendSyntheticObject(strBody, source.uBegin + i, source.strNewerName, source.strOlderName);
        }
    }
    strBody += "]}";
    return {};
}

std::string RetryPageBody(const std::string& strToken) {
    std::string strBody = "{\"is_last_page\":false,\"should_retry_page\":true,\"next_page_token\":";
    AppendJsonString(strBody, strToken);
    strBody += ",\"object_list\":[]}";
    return strBody;
}

}  // namespace afs_sim
