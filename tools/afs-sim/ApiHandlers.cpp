#include "tools/afs-sim/ApiHandlers.h"

#include <simdjson.h>

#include <charconv>  // std::from_chars: strict query number parsing
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>

#include "host/TextEncoding.h"
#include "tools/afs-sim/JsonText.h"
#include "tools/afs-sim/ObjectJson.h"

namespace afs_sim {
namespace {

ApiReply Error(int nStatus, const std::string& strMessage, const char* szReason) {
    return {nStatus, ErrorBody(nStatus, strMessage, szReason)};
}

ApiReply FromState(const StateResult& result) {
    switch (result.eError) {
        case EStateError::eOk:
            return {200, {}};
        case EStateError::eNotFound:
            return Error(404, result.strMessage, "ENTITY_NOT_FOUND");
        case EStateError::eConflict:
            return Error(409, result.strMessage, "ENTITY_EXISTS");
        case EStateError::eInvalid:
            return Error(400, result.strMessage, "INVALID_ARGUMENT");
        case EStateError::eInternal:
            break;
    }
    return Error(500, result.strMessage, "INTERNAL_ERROR");
}

// Parses a request body that must be a JSON object; `reply` is set when not.
bool ParseObject(simdjson::dom::parser& parser, const std::string& strBody, simdjson::dom::element& object,
                 ApiReply& reply) {
    if (parser.parse(strBody).get(object) != simdjson::SUCCESS || !object.is_object()) {
        reply = Error(400, "request body is not a JSON object", "INVALID_ARGUMENT");
        return false;
    }
    return true;
}

// A required or optional text member; false (and `reply` set) when it is
// present with another type, or missing while required.
bool ReadText(simdjson::simdjson_result<simdjson::dom::element> parent, const char* szKey, bool bRequired,
              std::string& strValue, ApiReply& reply) {
    simdjson::dom::element element;
    if (parent[szKey].get(element) != simdjson::SUCCESS) {
        if (!bRequired) return true;
        reply = Error(400, std::string("missing member ") + szKey, "INVALID_ARGUMENT");
        return false;
    }
    std::string_view text;
    if (element.get(text) != simdjson::SUCCESS) {
        reply = Error(400, std::string("member ") + szKey + " must be a string", "INVALID_ARGUMENT");
        return false;
    }
    strValue = std::string(text);
    return true;
}

bool ReadText(simdjson::dom::element parent, const char* szKey, bool bRequired, std::string& strValue,
              ApiReply& reply) {
    return ReadText(simdjson::simdjson_result<simdjson::dom::element>(simdjson::dom::element(parent)), szKey,
                    bRequired, strValue, reply);
}

// Offset and length of a list request: 32-bit non-negative, defaults 0 and 20.
bool ReadPaging(simdjson::dom::element object, uint64_t& uOffset, uint64_t& uLength, ApiReply& reply) {
    uOffset = 0;
    uLength = 20;
    for (auto [szKey, pValue] :
         {std::pair<const char*, uint64_t*>{"offset", &uOffset}, {"length", &uLength}}) {
        simdjson::dom::element element;
        if (object[szKey].get(element) != simdjson::SUCCESS) continue;
        if (element.get_uint64().get(*pValue) != simdjson::SUCCESS || *pValue > INT32_MAX) {
            reply =
                Error(400, std::string(szKey) + " must be a 32-bit non-negative integer", "INVALID_ARGUMENT");
            return false;
        }
    }
    return true;
}

// The list answer for entities [offset, offset + length) of the total that
// `countEntities(offset)` gives.
ApiReply ListReply(const std::string& strBody, const char* szKind, const Scenario& knobs,
                   const std::function<size_t(uint64_t)>& countEntities,
                   const std::function<void(std::string&, size_t)>& appendEntity) {
    simdjson::dom::parser parser;
    simdjson::dom::element object;
    ApiReply reply;
    uint64_t uOffset;
    uint64_t uLength;
    std::string strKind;
    if (!ParseObject(parser, strBody, object, reply) || !ReadPaging(object, uOffset, uLength, reply) ||
        !ReadText(object, "kind", false, strKind, reply))
        return reply;
    // A list request of another kind is refused, so that a client sending one fails here
    // and not first against a real server; the kind may be left out.
    if (!strKind.empty() && strKind != szKind)
        return Error(400, "kind " + strKind + " does not name this list (" + szKind + ")",
                     "INVALID_ARGUMENT");
    size_t uTotal = countEntities(uOffset);
    size_t uBegin = uOffset < uTotal ? static_cast<size_t>(uOffset) : uTotal;
    size_t uEnd = uTotal - uBegin > uLength ? uBegin + static_cast<size_t>(uLength) : uTotal;
    if ((knobs.uHostilePaging == 3 || knobs.uHostilePaging == 4) && uTotal > 0) {
        uBegin = static_cast<size_t>(uOffset % uTotal);
        uEnd = uBegin + 1;
        uTotal = knobs.uHostilePaging == 3 ? INT32_MAX : uTotal + 1 + static_cast<size_t>(uOffset);
    }
    reply.strBody = "{\"api_version\":\"3.1\",\"metadata\":{\"kind\":\"";
    reply.strBody += szKind;
    reply.strBody += "\",\"offset\":";
    AppendJsonInt(reply.strBody, static_cast<int64_t>(uOffset));
    reply.strBody += ",\"length\":";
    AppendJsonInt(reply.strBody, static_cast<int64_t>(uEnd - uBegin));
    reply.strBody += ",\"total_matches\":";
    AppendJsonInt(reply.strBody, static_cast<int64_t>(uTotal));
    reply.strBody += "},\"entities\":[";
    for (size_t i = uBegin; i < uEnd; ++i) {
        if (i != uBegin) reply.strBody.push_back(',');
        appendEntity(reply.strBody, i);
    }
    reply.strBody += "]}";
    return reply;
}

void AppendEntityHead(std::string& strOut, const std::string& strUuid, const std::string& strName) {
    strOut += "{\"metadata\":{\"uuid\":";
    AppendJsonString(strOut, strUuid);
    strOut += "},\"status\":{\"name\":";
    AppendJsonString(strOut, strName);
    strOut += ",\"state\":\"COMPLETE\"";
}

// A busy server's neighbour number `uMember`: a UUID of its own (`szTag`
// tells the kinds apart) and the name `szPrefix` + the number.
void AppendNeighbourHead(std::string& strOut, char cTag, const char* szPrefix, uint64_t uMember) {
    char arrUuid[40];
    snprintf(arrUuid, sizeof arrUuid, "b%c000000-0000-4000-8000-%012llu", cTag,
             static_cast<unsigned long long>(uMember % 1000000000000ULL));
    AppendEntityHead(strOut, arrUuid, szPrefix + std::to_string(uMember));
}

}  // namespace

CApiHandlers::CApiHandlers(CSimState& state, CDiffStore& diffStore, CFaultInjector& faults)
    : state(state), diffStore(diffStore), faults(faults) {}

ApiReply CApiHandlers::ListPartnerServers(const std::string& strBody, const Scenario& knobs) {
    std::vector<PartnerServerInfo> listPartners = state.ListPartnerServers();
    std::vector<uint64_t> listBusy;
    return ListReply(
        strBody, "partner_server", knobs,
        [&](uint64_t uOffset) {
            listBusy = faults.BusyNeighbours("partner_servers", uOffset, knobs.uBusyPartners);
            return listBusy.size() + listPartners.size();
        },
        [&](std::string& strOut, size_t i) {
            if (i < listBusy.size())
                AppendNeighbourHead(strOut, '1', "busy_partner_", listBusy[i]);
            else
                AppendEntityHead(strOut, listPartners[i - listBusy.size()].strUuid,
                                 listPartners[i - listBusy.size()].strName);
            strOut += "}}";
        });
}

ApiReply CApiHandlers::ListMountTargets(const std::string& strBody, const Scenario& knobs) {
    std::vector<ShareInfo> listShares = state.ListShares();
    return ListReply(
        strBody, "mount_target", knobs, [&](uint64_t) { return listShares.size(); },
        [&](std::string& strOut, size_t i) {
            const ShareInfo& share = listShares[i];
            AppendEntityHead(strOut, share.strUuid, share.strName);
            strOut += ",\"resources\":{\"share_type\":";
            if (knobs.uOddPaths == 6) {
                strOut += "null";  // a member that is only logged
            } else {
                AppendJsonString(strOut, share.strShareType);
            }
            strOut += ",\"capability_list\":[";
            for (size_t c = 0; c < share.listCapabilities.size(); ++c) {
                if (c) strOut.push_back(',');
                AppendJsonString(strOut, share.listCapabilities[c]);
            }
            strOut += "]}}}";
        });
}

ApiReply CApiHandlers::ListSnapshots(const std::string& strBody, const Scenario& knobs) {
    std::vector<SnapshotInfo> listSnapshots = state.ListSnapshots();
    std::vector<uint64_t> listBusy;
    std::vector<ShareInfo> listShares;
    if (knobs.uBusySnapshots > 0) listShares = state.ListShares();
    return ListReply(
        strBody, "mount_target_snapshot", knobs,
        [&](uint64_t uOffset) {
            listBusy =
                faults.BusyNeighbours("snapshots", uOffset, listShares.empty() ? 0 : knobs.uBusySnapshots);
            return listBusy.size() + listSnapshots.size();
        },
        [&](std::string& strOut, size_t i) {
            // Neighbours' snapshots, of every share in turn.
            const bool bBusy = i < listBusy.size();
            if (bBusy)
                AppendNeighbourHead(strOut, '0', "busy_", listBusy[i]);
            else
                AppendEntityHead(strOut, listSnapshots[i - listBusy.size()].strUuid,
                                 listSnapshots[i - listBusy.size()].strName);
            strOut += ",\"resources\":{\"mount_target_uuid\":";
            AppendJsonString(strOut, bBusy ? listShares[listBusy[i] % listShares.size()].strUuid
                                           : listSnapshots[i - listBusy.size()].strShareUuid);
            strOut += "}}}";
        });
}

ApiReply CApiHandlers::CreatePartnerServer(const std::string& strBody, const Scenario& knobs) {
    simdjson::dom::parser parser;
    simdjson::dom::element object;
    ApiReply reply;
    std::string strName;
    if (!ParseObject(parser, strBody, object, reply) ||
        !ReadText(object["spec"], "name", true, strName, reply)) {
        return reply;
    }
    if (strName.empty()) return Error(400, "partner server name is empty", "INVALID_ARGUMENT");
    simdjson::dom::element resources;
    std::string strResources = "{}";
    if (object["spec"]["resources"].get(resources) == simdjson::SUCCESS)
        strResources = simdjson::minify(resources);
    if (knobs.uPartnerConflict > 0) {
        for (const PartnerServerInfo& partner : state.ListPartnerServers()) {
            if (partner.strName == strName)
                return Error(409, "partner server exists: " + strName, "ENTITY_EXISTS");
        }
    }
    std::string strUuid;
    StateResult result = state.UpsertPartnerServer(strName, strResources, strUuid);
    if (result.eError != EStateError::eOk) return FromState(result);
    reply.nStatus = 202;
    reply.strBody = "{\"metadata\":{\"uuid\":";
    AppendJsonString(reply.strBody, strUuid);
    reply.strBody += "}}";
    return reply;
}

ApiReply CApiHandlers::CreateSnapshot(const std::string& strBody) {
    simdjson::dom::parser parser;
    simdjson::dom::element object;
    ApiReply reply;
    std::string strName;
    std::string strDescription;
    std::string strShareUuid;
    if (!ParseObject(parser, strBody, object, reply) ||
        !ReadText(object["spec"], "name", true, strName, reply) ||
        !ReadText(object["spec"], "description", false, strDescription, reply) ||
        !ReadText(object["spec"]["resources"], "mount_target_uuid", true, strShareUuid, reply)) {
        return reply;
    }
    SnapshotInfo snapshot;
    StateResult result = state.CreateSnapshot(strShareUuid, strName, strDescription, snapshot);
    if (result.eError != EStateError::eOk) return FromState(result);
    reply.nStatus = 202;
    reply.strBody = "{\"metadata\":{\"uuid\":";
    AppendJsonString(reply.strBody, snapshot.strUuid);
    reply.strBody += "},\"status\":{\"name\":";
    AppendJsonString(reply.strBody, snapshot.strName);
    reply.strBody += ",\"state\":\"COMPLETE\"}}";
    return reply;
}

ApiReply CApiHandlers::DeleteSnapshot(const std::string& strUuid) {
    StateResult result = state.DeleteSnapshot(strUuid);
    if (result.eError != EStateError::eOk) return FromState(result);
    return {200, "{\"status\":\"DELETED\"}"};
}

ApiReply CApiHandlers::IncrementalDiff(const std::string& strBody, const Scenario& knobs) {
    simdjson::dom::parser parser;
    simdjson::dom::element object;
    ApiReply reply;
    std::string strOlderUuid;
    std::string strNewerUuid;
    DiffFilter filter;
    std::string strType;
    if (!ParseObject(parser, strBody, object, reply) ||
        !ReadText(object, "older_snapshot_uuid", true, strOlderUuid, reply) ||
        !ReadText(object, "newer_snapshot_uuid", true, strNewerUuid, reply) ||
        !ReadText(object, "path_filter", false, filter.strPathPrefix, reply) ||
        !ReadText(object, "object_type_filter", false, strType, reply)) {
        return reply;
    }
    if (!strType.empty()) {
        if (strType != "FILE" && strType != "DIRECTORY") {
            return Error(400, "object_type_filter must be FILE or DIRECTORY", "INVALID_ARGUMENT");
        }
        filter.bOnlyType = true;
        filter.eType = strType == "FILE" ? EObjectType::eFile : EObjectType::eDirectory;
    }
    SnapshotInfo older;
    SnapshotInfo newer;
    if (!state.FindSnapshot(strOlderUuid, older))
        return Error(404, "snapshot not found: " + strOlderUuid, "ENTITY_NOT_FOUND");
    if (!state.FindSnapshot(strNewerUuid, newer))
        return Error(404, "snapshot not found: " + strNewerUuid, "ENTITY_NOT_FOUND");

    std::vector<std::string> listUuids;
    if (knobs.uSynthetic > 0) {
        listUuids =
            diffStore.Add(nullptr, knobs.uSynthetic, newer.strName, older.strName, knobs.uObjectsPerDiff);
    } else {
        if (older.strShareUuid != newer.strShareUuid) {
            return Error(400, "the snapshots belong to different mount targets", "INVALID_ARGUMENT");
        }
        Manifest olderManifest;
        Manifest newerManifest;
        std::string strError = state.LoadSnapshotManifest(older.strUuid, olderManifest);
        if (strError.empty()) strError = state.LoadSnapshotManifest(newer.strUuid, newerManifest);
        if (!strError.empty()) return Error(500, strError, "INTERNAL_ERROR");
        std::vector<DiffObject> listObjects = ComputeDifference(olderManifest, newerManifest, filter);
        LeaveOutChanges(listObjects, knobs.uDropObject, knobs.uRenameWithoutOldPath > 0,
                        knobs.uOmitNewChildren > 0);
        AddOddObjects(listObjects, knobs.uOddPaths);
        auto ptrObjects = std::make_shared<const std::vector<DiffObject>>(std::move(listObjects));
        // JSON cannot carry such a name without changing it, and two names
        // could become one: refuse, so that the client lists the share instead.
        for (const DiffObject& object : *ptrObjects) {
            if (!afs_utf8::IsValid(object.entry.strPath) || !afs_utf8::IsValid(object.strOldPath)) {
                std::string strName;
                AppendJsonString(strName, afs_utf8::IsValid(object.entry.strPath) ? object.strOldPath
                                                                                  : object.entry.strPath);
                return Error(500,
                             "the difference holds a name that is not valid UTF-8: " + strName +
                                 "; back the share up by a full listing",
                             "NAME_NOT_UTF8");
            }
        }
        listUuids = diffStore.Add(ptrObjects, ptrObjects->size(), newer.strName, older.strName,
                                  knobs.uObjectsPerDiff);
    }
    DiffSource first;
    if (!listUuids.empty() && diffStore.Find(listUuids.front(), first)) {
        prefetcher.PrefetchFirstPage(listUuids.front(), first,
                                     std::min(knobs.uDefaultPageSize, knobs.uPageSizeCap));
    }
    if (knobs.uHostilePaging == 2) {
        const size_t uCount = listUuids.size();
        for (size_t i = 0; i < uCount; ++i) listUuids.push_back(listUuids[i]);
    }
    reply.strBody = "{\"uuid_list\":[";
    for (size_t i = 0; i < listUuids.size(); ++i) {
        if (i) reply.strBody.push_back(',');
        AppendJsonString(reply.strBody, listUuids[i]);
    }
    reply.strBody += "]}";
    return reply;
}

namespace {

// Values a file server may write that say "nothing" oddly: null for the last
// page's token, an empty creation time, the year 1 for the access time, and
// half a surrogate pair in one name.
void OddValues(std::string& strBody) {
    const auto replaceAll = [&](const std::string& strFrom, const std::string& strTo, bool bToClosingQuote) {
        for (size_t uAt = strBody.find(strFrom); uAt != std::string::npos;
             uAt = strBody.find(strFrom, uAt + 1)) {
            const size_t uEnd =
                bToClosingQuote ? strBody.find('"', uAt + strFrom.size()) + 1 : uAt + strFrom.size();
            strBody.replace(uAt, uEnd - uAt, strTo);
        }
    };
    replaceAll("\"next_page_token\":\"\"", "\"next_page_token\":null", false);
    replaceAll("\"creation_timestamp\":\"", "\"creation_timestamp\":\"\"", true);
    replaceAll("\"access_timestamp\":\"", "\"access_timestamp\":\"0001-01-01T00:00:00Z\"", true);
    replaceAll(kLoneSurrogateMark, "a\\ud800b", false);
}

}  // namespace

ApiReply CApiHandlers::DiffPage(const std::string& strDiffUuid, bool bHasPageSize,
                                const std::string& strPageSize, const std::string& strToken,
                                const Scenario& knobs) {
    DiffSource source;
    if (!diffStore.Find(strDiffUuid, source)) {
        return Error(404, "difference not found: " + strDiffUuid, "ENTITY_NOT_FOUND");
    }
    uint64_t uPageSize = knobs.uDefaultPageSize;
    if (bHasPageSize) {
        auto result = std::from_chars(strPageSize.data(), strPageSize.data() + strPageSize.size(), uPageSize);
        if (result.ec != std::errc() || result.ptr != strPageSize.data() + strPageSize.size() ||
            uPageSize == 0) {
            return Error(400, "page_size must be a positive integer", "INVALID_ARGUMENT");
        }
    }
    if (uPageSize > knobs.uPageSizeCap) uPageSize = knobs.uPageSizeCap;
    ApiReply reply;
    std::string strError = prefetcher.WritePage(strDiffUuid, source, strToken, uPageSize, reply.strBody);
    if (!strError.empty()) return Error(400, strError, "INVALID_ARGUMENT");
    if (knobs.uRetryPages > 0 && faults.TakePageRetry(strDiffUuid + "\n" + strToken, knobs.uRetryPages)) {
        reply.strBody = RetryPageBody(strToken);
    }
    const std::string strLastPage =
        "{\"is_last_page\":true,\"should_retry_page\":false,\"next_page_token\":\"\"";
    if (knobs.uHostilePaging == 1 && reply.strBody.compare(0, strLastPage.size(), strLastPage) == 0) {
        reply.strBody.replace(
            0, strLastPage.size(),
            "{\"is_last_page\":false,\"should_retry_page\":false,\"next_page_token\":\"0\"");
    }
    if (knobs.uForeignPaths > 0) {
        // Items reported inside a snapshot that is neither of the compared two
        // (1), or outside any snapshot (2).
        const std::string strFrom = "/.snapshot/" + source.strNewerName + "/";
        for (size_t uAt = reply.strBody.find(strFrom); uAt != std::string::npos;
             uAt = reply.strBody.find(strFrom, uAt + 1)) {
            reply.strBody.replace(uAt, strFrom.size(), knobs.uForeignPaths == 1 ? "/.snapshot/other/" : "/");
        }
    }
    if (knobs.uOddPaths >= 1 && knobs.uOddPaths <= 3) {
        // A rename's old path in the newer snapshot (1), or a "." (2) or an
        // empty (3) component after the snapshot's name, in every path.
        const bool bOldPaths = knobs.uOddPaths == 1;
        for (const std::string* pName : {&source.strOlderName, &source.strNewerName}) {
            if (bOldPaths && pName != &source.strOlderName) continue;
            const std::string strFrom =
                (bOldPaths ? "\"old_path\":\"" : "\"") + std::string("/.snapshot/") + *pName + "/";
            const std::string strTo = bOldPaths ? "\"old_path\":\"/.snapshot/" + source.strNewerName + "/"
                                                : strFrom + (knobs.uOddPaths == 2 ? "./" : "/");
            for (size_t uAt = reply.strBody.find(strFrom); uAt != std::string::npos;
                 uAt = reply.strBody.find(strFrom, uAt + strTo.size()))
                reply.strBody.replace(uAt, strFrom.size(), strTo);
        }
    }
    if (knobs.uOddPaths == 6) OddValues(reply.strBody);
    if (knobs.uOddSpellings > 0) reply.strBody = OddlySpelledPage(reply.strBody);
    return reply;
}

}  // namespace afs_sim
