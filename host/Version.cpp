#include "host/Version.h"

// Compiled into the library, so the answer is the loaded library's own.
extern "C" const char* AfsHostVersion() { return AFS_HOST_VERSION_STRING; }
