#pragma once

#include <exception>

#include "Nutanix/NutanixAFSManager/PluginLog.h"
#include "host/RhError.h"
#include "restclient/NutanixException.h"

// The four texts with which one REST operation reports an exception.
struct RestGuardTexts {
    const char* strOperation;      // e.g. "get_mount_target"; sent with the event
    const char* strCatchAllLog;    // logged at level 0 for a non-standard exception
    const char* strFailureFormat;  // one %s: the exception's what()
    const char* strPlainFailure;   // result text for a non-standard exception
};

// The host event sent for every standard exception a REST operation throws.
constexpr unsigned int kRestExceptionEventId = 0x11000095;

// Sends event 0x11000095 with the operation and `reason`, and returns error
// 1627 made from the failure format. `location` is the guarded operation's.
CRhError ReportRestException(const RestGuardTexts& texts, const FXCodeLocation& location, const char* reason);

// Runs `work` (returning CRhError) and turns whatever it throws into an error
// chain: a std::exception (NutanixException included) sends the event and
// yields the failure format with what(); anything else logs the catch-all line
// and yields the plain failure text. Nothing escapes.
template <typename FWork>
CRhError RunRestGuarded(const RestGuardTexts& texts, const FXCodeLocation& location, FWork&& work) {
    try {
        return work();
    } catch (const NutanixException& exception) {
        return ReportRestException(texts, location, exception.what());
    } catch (const std::exception& exception) {
        return ReportRestException(texts, location, exception.what());
    } catch (...) {
        PLUGIN_LOG_AT(location, 0, "%s", texts.strCatchAllLog);
        return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE, "%s", texts.strPlainFailure);
    }
}
