#pragma once

#include "tools/afs-scan/ScanOptions.h"

// afs-scan snapshots: per share of the scan paths, the file server's
// snapshots named with this client's and application's prefix, each with its
// job and state; --prune deletes the orphans (of a failed or killed job, or
// unknown to the history) that are at least --min-age seconds old, --dry-run
// only prints what --prune would delete. Returns 0, 1 on an error, 2 on a
// usage error.
int RunSnapshotsCommand(const ScanOptions& options);
