#include "Nutanix/NutanixAFSManager/RestPaging.h"

#include "Nutanix/NutanixAFSManager/PluginLog.h"

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

CRhError CPagingHistory::CheckTotal(const char* operation, const FXCodeLocation& location, uint32_t offset,
                                    uint32_t totalMatches) {
    if (bHaveTotal && totalMatches != uTotal) {
        CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                                 "%s paging stopped: the total changed from %u to %u at offset %u",
                                                 operation, uTotal, totalMatches, offset);
        PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
        return error;
    }
    bHaveTotal = true;
    uTotal = totalMatches;
    return CRhError::Success();
}

CRhError CPagingHistory::CheckEntity(const char* operation, const FXCodeLocation& location, uint32_t offset,
                                     const std::string& uuid) {
    // Entities without a UUID are the caller's to judge; they cannot repeat.
    if (uuid.empty() || setUUIDs.count(uuid) == 0) {
        if (!uuid.empty()) setPageUUIDs.insert(uuid);
        return CRhError::Success();
    }
    CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                             "%s paging stopped: entity [%s] came back at offset %u", operation,
                                             uuid.c_str(), offset);
    PLUGIN_LOG_AT(location, 0, "%s", error.GetMessage().c_str());
    return error;
}

void CPagingHistory::EndPage() {
    setUUIDs.insert(setPageUUIDs.begin(), setPageUUIDs.end());
    setPageUUIDs.clear();
}
