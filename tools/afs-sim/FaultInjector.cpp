#include "tools/afs-sim/FaultInjector.h"

#include "tools/afs-sim/JsonText.h"

namespace afs_sim {

CFaultInjector::CFaultInjector(Scenario startup) : startup(startup), current(std::move(startup)) {}

Scenario CFaultInjector::Current() const {
    std::lock_guard<std::mutex> lock(mutex);
    return current;
}

void CFaultInjector::Apply(const Scenario& scenario) {
    std::lock_guard<std::mutex> lock(mutex);
    current = scenario;
    mapRequestCounts.clear();
    mapPageRetries.clear();
    mapBusy.clear();
}

void CFaultInjector::Reset() { Apply(startup); }

std::optional<FaultRule> CFaultInjector::CountRequest(const std::string& strOperation, Scenario& knobs) {
    std::lock_guard<std::mutex> lock(mutex);
    knobs = current;
    uint64_t uOperation = ++mapRequestCounts[strOperation];
    uint64_t uAll = ++mapRequestCounts["*"];
    for (const FaultRule& rule : current.listFaults) {
        uint64_t uNumber;
        if (rule.strOperation == "*")
            uNumber = uAll;
        else if (rule.strOperation == strOperation)
            uNumber = uOperation;
        else
            continue;
        if (uNumber >= rule.uNth && uNumber - rule.uNth < rule.uCount) return rule;
    }
    return std::nullopt;
}

bool CFaultInjector::TakePageRetry(const std::string& strKey, uint64_t uRetries) {
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t& uGiven = mapPageRetries[strKey];
    if (uGiven >= uRetries) return false;
    ++uGiven;
    return true;
}

std::vector<uint64_t> CFaultInjector::BusyNeighbours(const std::string& strList, uint64_t uOffset,
                                                     uint64_t uPopulation) {
    std::lock_guard<std::mutex> lock(mutex);
    if (uPopulation == 0) return {};
    BusyList& busy = mapBusy[strList];
    while (busy.uNext < uPopulation) busy.listMembers.push_back(busy.uNext++);
    if (uOffset == 0) {
        busy.bArmed = ++busy.uStarts % 2 == 1;
    } else if (busy.bArmed) {
        busy.bArmed = false;
        switch (busy.uChanges++ % 3) {
            case 0:
                busy.listMembers.push_front(busy.uNext++);
                busy.listMembers.pop_back();
                break;
            case 1:
                busy.listMembers.push_back(busy.uNext++);
                break;
            default:
                busy.listMembers.pop_front();
                break;
        }
    }
    return std::vector<uint64_t>(busy.listMembers.begin(), busy.listMembers.end());
}

std::string TruncatedBody(const std::string& strBody) { return strBody.substr(0, strBody.size() / 2); }

std::string MalformedBody(const std::string& strBody) {
    std::string strOut = strBody;
    size_t uBrace = strOut.find('{');
    if (uBrace == std::string::npos) return strOut + "}";
    strOut.insert(uBrace + 1, "\"malformed\": ,");
    return strOut;
}

std::string WrongTypedBody(const std::string& strBody, const std::string& strMember) {
    std::string strKey;
    AppendJsonString(strKey, strMember);
    strKey.push_back(':');
    size_t uKey = strBody.find(strKey);
    if (uKey == std::string::npos) return strBody;
    size_t uValue = uKey + strKey.size();
    size_t uEnd = SkipJsonValue(strBody, uValue);
    if (uEnd == std::string::npos) return strBody;
    bool bString = uValue < strBody.size() && strBody[uValue] == '"';
    return strBody.substr(0, uValue) + (bString ? "12345" : "\"wrong type\"") + strBody.substr(uEnd);
}

}  // namespace afs_sim
