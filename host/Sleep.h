#pragma once

#include <functional>

#include "host/HostExport.h"

// Sleeps the calling thread for `milliseconds`: every wait of the plug-in
// (the high-availability wait of up to [FileSystemAgent] uHAWaitTime, the
// retries of a difference page) goes through here, and so through the
// function installed below, which tests use to run retries in virtual time.
extern "C" HOST_EXPORT void RHSLEEP_InTeRnAl(unsigned int milliseconds, const char* file, int line);

// Replaces the real sleep (an empty function restores it) and returns the
// previous replacement. The function runs on the thread that called the
// plug-in. A host cancels a wait by throwing a std::exception from it: the
// plug-in's call then fails with an error chain holding the exception's
// text, or lets it out of CompareSnapAndLoadItem. Returning early does not
// end the wait (the delay counts as waited, the request is sent again). Not
// thread-safe against concurrent sleeps: install it before calling the
// plug-in.
using FSleepFunction = std::function<void(unsigned int milliseconds)>;
HOST_EXPORT FSleepFunction SetSleepFunction(FSleepFunction function);

#define RHSLEEP(milliseconds) RHSLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)
