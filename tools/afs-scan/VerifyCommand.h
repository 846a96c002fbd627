#pragma once

#include "tools/afs-scan/ScanOptions.h"

// afs-scan verify: compares what an incremental job stored (the last ok one
// of --client-id/--app-id, or --job-id) with the true difference between its
// reference snapshot and its own, both read under each share's mount
// (SHARE/.snapshot/NAME). Prints each finding (one JSON object per line with
// --jsonl) and one summary line per share. Returns 0 when nothing is
// missing, 3 when a change is missing or wrongly reported, 1 on an error,
// 2 on a usage error.
int RunVerifyCommand(const ScanOptions& options);
