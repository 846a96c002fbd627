#include "tools/afs-sim/Scenario.h"

#include <simdjson.h>

#include <cstdint>

#include "restclient/RestOperations.h"
#include "tools/afs-sim/JsonText.h"

namespace afs_sim {

namespace {

struct KindName {
    EFaultKind eKind;
    const char* szName;
};
const KindName kKinds[] = {{EFaultKind::eStatus, "status"},
                           {EFaultKind::eDrop, "drop"},
                           {EFaultKind::eDropAfter, "drop_after"},
                           {EFaultKind::eDropMidBody, "drop_mid_body"},
                           {EFaultKind::eTruncate, "truncate"},
                           {EFaultKind::eMalformed, "malformed"},
                           {EFaultKind::eWrongType, "wrong_type"},
                           {EFaultKind::eDelay, "delay"},
                           {EFaultKind::eKill, "kill"}};

std::string ReadCount(simdjson::dom::object object, const char* szKey, uint64_t& uValue) {
    simdjson::dom::element element;
    if (object[szKey].get(element) != simdjson::SUCCESS) return {};
    if (element.get_uint64().get(uValue) != simdjson::SUCCESS) {
        return std::string("\"") + szKey + "\" must be a non-negative integer";
    }
    return {};
}

std::string ParseRule(simdjson::dom::element element, FaultRule& rule) {
    simdjson::dom::object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return "each fault must be an object";
    std::string_view text;
    if (object["operation"].get(text) == simdjson::SUCCESS) rule.strOperation = std::string(text);
    // A former name counts the same requests as the operation's name.
    if (rule.strOperation != "*") {
        const afs_rest::RestOperation* ptrOperation = afs_rest::FindRestOperation(rule.strOperation);
        if (ptrOperation == nullptr) return "unknown operation \"" + rule.strOperation + "\"";
        rule.strOperation = ptrOperation->pszName;
    }
    if (object["kind"].get(text) == simdjson::SUCCESS) {
        bool bFound = false;
        for (const KindName& kind : kKinds) {
            if (text == kind.szName) {
                rule.eKind = kind.eKind;
                bFound = true;
            }
        }
        if (!bFound) return "unknown fault kind \"" + std::string(text) + "\"";
    }
    if (object["member"].get(text) == simdjson::SUCCESS) rule.strMember = std::string(text);
    uint64_t uStatus = static_cast<uint64_t>(rule.nStatus);
    std::string strError = ReadCount(object, "nth", rule.uNth);
    if (strError.empty()) strError = ReadCount(object, "count", rule.uCount);
    if (strError.empty()) strError = ReadCount(object, "delay_ms", rule.uDelayMs);
    if (strError.empty()) strError = ReadCount(object, "status", uStatus);
    if (strError.empty()) strError = ReadCount(object, "pid", rule.uPid);
    if (!strError.empty()) return strError;
    if (uStatus < 100 || uStatus > 599) return "\"status\" must be an HTTP status";
    if (rule.uNth == 0) return "\"nth\" counts from 1";
    if (rule.eKind == EFaultKind::eKill && (rule.uPid <= 1 || rule.uPid > INT32_MAX))
        return "\"kill\" needs a \"pid\"";
    rule.nStatus = static_cast<int>(uStatus);
    return {};
}

// Every numeric knob, in the order ScenarioToJson writes them.
struct Knob {
    const char* szName;
    uint64_t Scenario::*ptrValue;
};
const Knob kKnobs[] = {
    {"page_size_cap", &Scenario::uPageSizeCap},
    {"default_page_size", &Scenario::uDefaultPageSize},
    {"objects_per_diff", &Scenario::uObjectsPerDiff},
    {"retry_pages", &Scenario::uRetryPages},
    {"delay_ms", &Scenario::uDelayMs},
    {"synthetic", &Scenario::uSynthetic},
    {"odd_spellings", &Scenario::uOddSpellings},
    {"partner_conflict", &Scenario::uPartnerConflict},
    {"hostile_paging", &Scenario::uHostilePaging},
    {"foreign_paths", &Scenario::uForeignPaths},
    {"echo_authorization", &Scenario::uEchoAuthorization},
    {"drop_object", &Scenario::uDropObject},
    {"rename_without_old_path", &Scenario::uRenameWithoutOldPath},
    {"omit_new_children", &Scenario::uOmitNewChildren},
    {"odd_paths", &Scenario::uOddPaths},
    {"busy_snapshots", &Scenario::uBusySnapshots},
    {"busy_partners", &Scenario::uBusyPartners},
};

}  // namespace

std::string ParseScenario(const std::string& strJson, Scenario& scenario) {
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(strJson).get_object().get(object) != simdjson::SUCCESS) {
        return "a scenario must be a JSON object";
    }
    Scenario result = scenario;
    for (const Knob& knob : kKnobs) {
        std::string strError = ReadCount(object, knob.szName, result.*knob.ptrValue);
        if (!strError.empty()) return strError;
    }
    if (result.uPageSizeCap == 0 || result.uDefaultPageSize == 0 || result.uObjectsPerDiff == 0) {
        return "page_size_cap, default_page_size and objects_per_diff must be at least 1";
    }
    simdjson::dom::element faults;
    if (object["faults"].get(faults) == simdjson::SUCCESS) {
        simdjson::dom::array array;
        if (faults.get_array().get(array) != simdjson::SUCCESS) return "\"faults\" must be an array";
        result.listFaults.clear();
        for (simdjson::dom::element element : array) {
            FaultRule rule;
            const std::string strError = ParseRule(element, rule);
            if (!strError.empty()) return strError;
            result.listFaults.push_back(rule);
        }
    }
    scenario = std::move(result);
    return {};
}

std::string ScenarioToJson(const Scenario& scenario) {
    std::string strOut = "{";
    for (const Knob& knob : kKnobs) {
        strOut += '"';
        strOut += knob.szName;
        strOut += "\":";
        AppendJsonInt(strOut, static_cast<int64_t>(scenario.*knob.ptrValue));
        strOut += ',';
    }
    strOut += "\"faults\":[";
    for (size_t i = 0; i < scenario.listFaults.size(); ++i) {
        const FaultRule& rule = scenario.listFaults[i];
        if (i) strOut.push_back(',');
        strOut += "{\"operation\":";
        AppendJsonString(strOut, rule.strOperation);
        strOut += ",\"kind\":\"";
        for (const KindName& kind : kKinds) {
            if (kind.eKind == rule.eKind) strOut += kind.szName;
        }
        strOut += "\",\"nth\":";
        AppendJsonInt(strOut, static_cast<int64_t>(rule.uNth));
        strOut += ",\"count\":";
        AppendJsonInt(strOut, static_cast<int64_t>(rule.uCount));
        strOut += ",\"status\":";
        AppendJsonInt(strOut, rule.nStatus);
        strOut += ",\"member\":";
        AppendJsonString(strOut, rule.strMember);
        strOut += ",\"delay_ms\":";
        AppendJsonInt(strOut, static_cast<int64_t>(rule.uDelayMs));
        strOut += ",\"pid\":";
        AppendJsonInt(strOut, static_cast<int64_t>(rule.uPid));
        strOut.push_back('}');
    }
    strOut += "]}";
    return strOut;
}

}  // namespace afs_sim
