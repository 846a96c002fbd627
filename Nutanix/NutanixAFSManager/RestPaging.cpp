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
