#pragma once

#include "host/LogWriter.h"
#include "host/RhError.h"

// Logs through the host's writer on behalf of the operation at `location`, so
// that shared helpers (the REST call guard, the paging loop) report the
// signature and line of the operation they serve, not their own.
#define PLUGIN_LOG_AT(location, level, ...)                                                                \
    do {                                                                                                   \
        CLogWriterInterface* ptrWriterForLog_ = g_ptrLogWriter.get();                                      \
        if (ptrWriterForLog_ != nullptr && ((level) == -1 || ptrWriterForLog_->GetLevel() >= (level)))     \
            ptrWriterForLog_->Write((level), (location).strFunction, (location).nLine, 0, 0, __VA_ARGS__); \
    } while (0)
