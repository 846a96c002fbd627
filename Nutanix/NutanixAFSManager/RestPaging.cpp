#include "Nutanix/NutanixAFSManager/RestPaging.h"

#include "Nutanix/NutanixAFSManager/PluginLog.h"
#include "host/FXString.h"

CRhError CheckPagingProgress(const char* operation, const FXCodeLocation& location, uint32_t requestedOffset,
                             uint32_t nextOffset, uint32_t totalMatches) {
    if (nextOffset > totalMatches) {
        CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                 "%s paging stopped: next offset %u passes the total %u "
                                                 "(requested offset %u)",
                                                 operation, nextOffset, totalMatches, requestedOffset);
        PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
        return error;
    }
    if (nextOffset <= requestedOffset) {
        CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                 "%s paging stopped: no progress at offset %u, total %u",
                                                 operation, requestedOffset, totalMatches);
        PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
        return error;
    }
    return CRhError::Success();
}

CRhError CPagingHistory::CountEntities(size_t uEntities) {
    ullRead += uEntities;
    if (ullMaxEntities == 0 || ullRead <= ullMaxEntities) return CRhError::Success();
    // A server can serve fresh entities behind a constant total for ever.
    CRhError error =
        FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                "%s paging stopped: more than %llu entities read ([FileSystemAgent] "
                                "MaxListEntities)",
                                szOperation, ullMaxEntities);
    PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
    return error;
}

CRhError CPagingHistory::CheckTotal(uint32_t offset, uint32_t totalMatches, EVerdict& verdict) {
    if (bHaveTotal && totalMatches != uTotal) {
        return ReadAgainOrStop(
            FXString::Format("the total changed from %u to %u at offset %u", uTotal, totalMatches, offset),
            verdict);
    }
    bHaveTotal = true;
    uTotal = totalMatches;
    return CRhError::Success();
}

CRhError CPagingHistory::CheckEntity(uint32_t offset, const std::string& uuid, EVerdict& verdict) {
    // Entities without a UUID are the caller's to judge; they cannot repeat.
    if (uuid.empty() || setUUIDs.count(uuid) == 0) {
        if (!uuid.empty()) setPageUUIDs.insert(uuid);
        return CRhError::Success();
    }
    return ReadAgainOrStop(FXString::Format("entity [%s] came back at offset %u", uuid.c_str(), offset),
                           verdict);
}

CRhError CPagingHistory::ReadAgainOrStop(const std::string& why, EVerdict& verdict) {
    if (uRestarts == kMaxListRestarts) {
        CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                 "%s paging stopped: %s", szOperation, why.c_str());
        PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
        return error;
    }
    ++uRestarts;
    PLUGIN_LOG_AT(location, 0, "%s paging restarts from offset 0 (%u of %u): %s", szOperation, uRestarts,
                  kMaxListRestarts, why.c_str());
    verdict = eReadAgain;
    bHaveTotal = false;
    setUUIDs.clear();
    setPageUUIDs.clear();
    setTaken.clear();
    return CRhError::Success();
}

bool CPagingHistory::TakeEntity(const std::string& uuid) {
    return uuid.empty() || setTaken.insert(uuid).second;
}

void CPagingHistory::EndPage() {
    setUUIDs.insert(setPageUUIDs.begin(), setPageUUIDs.end());
    setPageUUIDs.clear();
}
