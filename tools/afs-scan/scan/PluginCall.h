#pragma once

#include <exception>
#include <string>

#include "host/RhError.h"
#include "tools/afs-scan/cli/Interrupt.h"

namespace afs_scan {

// Runs `call` (one call into the plug-in) and turns an exception that
// crosses the plug-in boundary into an error chain naming the operation.
// `call` returns a CRhError, or fills its own result and returns Success().
// Once the user asked the job to stop, the call is not made.
template <typename FCall>
CRhError CallPlugin(const char* pszOperation, const FCall& call) {
    // A template's full signature would drown the chain; the host's name is enough.
    const FXCodeLocation location{__FILE__, "afs-scan", __LINE__};
    if (InterruptSignal() != 0)
        return FXErrorUtil::ErrorInt(location, 1, "%s not called: interrupted", pszOperation);
    try {
        CRhError error = call();
        if (error.IsError()) error.Push(location, "%s failed", pszOperation);
        return error;
    } catch (const std::exception& exception) {
        return FXErrorUtil::ErrorInt(location, 1, "%s threw: %s", pszOperation, exception.what());
    } catch (...) {
        return FXErrorUtil::ErrorInt(location, 1, "%s threw an exception that is not a std::exception",
                                     pszOperation);
    }
}

}  // namespace afs_scan
