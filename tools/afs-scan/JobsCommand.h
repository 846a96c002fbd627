#pragma once

#include "tools/afs-scan/ScanOptions.h"

// afs-scan jobs: the job history of the scan database, one line per job.
// Returns 0, 1 on an error, 2 on a usage error.
int RunJobsCommand(const ScanOptions& options);

// afs-scan forget --keep-last N: removes the rows and records of all but the
// newest N jobs, never those of the reference job of the next incremental
// nor of its cycle's full job (per client and application), and compacts the
// database. Prints what it removed and the space reclaimed. Returns as above.
int RunForgetCommand(const ScanOptions& options);
