#pragma once

#include <vector>

#include "tools/afs-scan/cli/CommandLine.h"
#include "tools/afs-scan/cli/ScanOptions.h"

namespace afs_scan {

// Every sub-command of afs-scan with the options it takes. A new command is
// a file of this folder with its Run function, declared below, and a row of
// the table.
const std::vector<CommandSpec>& CommandTable();

// Each returns the exit status (tools/common/Cli.h).

// The default command: checks the configuration (exit 2 and no job id used
// when it is wrong), takes the state folder's lock, sets up the settings and
// the log, runs one backup job and reports it: 0 ok, 1 failed,
// 2 configuration, 3 a requested share was not backed up, 128 + the signal
// when SIGINT or SIGTERM stopped the job.
int RunScanCommand(ScanOptions& options);

// Compares the reported items of one incremental job with the true
// difference of its two snapshots, read under each share's .snapshot
// folder: 0 every change is covered, 3 a change is missing, 1 on an error,
// 2 on a usage error.
int RunVerifyCommand(ScanOptions& options);

// The snapshots of this client and application on the --scan-path shares,
// with the job that took each and its state; --prune deletes the orphans.
int RunSnapshotsCommand(ScanOptions& options);

// The job history of the scan database, one line per job.
int RunJobsCommand(ScanOptions& options);

// Removes the rows and records of all but the newest --keep-last ok jobs,
// never those of the reference job of the next incremental nor of its
// cycle's full job (per client and application), and compacts the database.
int RunForgetCommand(ScanOptions& options);

}  // namespace afs_scan
