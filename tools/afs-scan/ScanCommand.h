#pragma once

#include "tools/afs-scan/ScanOptions.h"

// The default command: checks the configuration (exit 2 and no job id used
// when it is wrong), takes the state folder's lock, sets up the settings and
// the log, runs one backup job and reports it. Returns the exit status:
// 0 ok, 1 failed, 2 configuration, 3 a requested share was not backed up,
// 128 + the signal when SIGINT or SIGTERM stopped the job.
int RunScanCommand(ScanOptions& options);
