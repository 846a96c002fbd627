#pragma once

#include <functional>

#include "host/HostExport.h"

// Sleeps the calling thread for `milliseconds`. Goes through the sleep seam
// below, so tests can run retry logic in virtual time.
extern "C" HOST_EXPORT void RHSLEEP_InTeRnAl(unsigned int milliseconds, const char* file, int line);

// Replaces the real sleep (an empty function restores it). Returns the
// previous replacement. Not thread-safe against concurrent sleeps; set it
// before the code under test runs.
using FSleepFunction = std::function<void(unsigned int milliseconds)>;
HOST_EXPORT FSleepFunction SetSleepFunction(FSleepFunction function);

#define RHSLEEP(milliseconds) RHSLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)
