#pragma once

#include <string>

#include <vector>

#include "host/RhError.h"
#include "tools/afs-scan/cli/ScanOptions.h"
#include "tools/afs-scan/scan/ScanTargets.h"
#include "tools/afs-scan/store/JobHistory.h"
#include "tools/afs-scan/store/ScanDatabase.h"
#include "tools/afs-scan/store/StateLock.h"
#include "tools/common/Cli.h"

namespace afs_scan {

// Exit statuses of the sub-commands: those of every afs-scan run.
using afs_cli::kExitOk;
using afs_cli::kExitRefused;
using afs_cli::kExitRetryLater;
using afs_cli::kExitUsage;
using afs_cli::UsageError;
constexpr int kExitError = afs_cli::kExitFailed;
// verify: a change the difference did not report. The same status as a
// scan job that left a share out: something the user asked for is missing.
constexpr int kExitMissing = afs_cli::kExitPartial;

// The exit status of a failure, for scripts that must tell "retry later"
// from "fix something": kExitRetryLater when the same run may succeed later
// (the state folder busy, the file server unreachable or busy),
// kExitRefused when the server refused the credentials or its certificate,
// else kExitError.
int ExitStatusOf(const CRhError& error);
// The status of a run with two failures: one that a later run cannot get
// past wins over "retry later". nFirst may be kExitOk.
int CombinedExit(int nFirst, int nSecond);

// The one line that names the cause and the fix on stderr (the whole chain
// with --verbose); the chain always goes to the log. Returns
// ExitStatusOf(error); for a command without --server (verify, jobs, forget)
// kExitError unless the state folder is in use.
int ReportError(const CRhError& error, const ScanOptions& options);

// The state folder's lock for scan, snapshots --prune and forget: waits up to
// --lock-wait seconds for another run, saying so on stderr when it starts.
CRhError AcquireStateLock(const ScanOptions& options, CStateLock& stateLock);

// The shares of the --scan-path options through the mount table the
// settings name (SetUpHostServices first). False, with the reason on
// stderr, when a path is not on a file-server share.
bool ResolveTargets(const ScanOptions& options, std::vector<ScanTarget>& listTargets);

// Opens (creates) the scan database, --db, else STATE/scan.db, taking over
// STATE/jobs.txt once, and fills `history` with its jobs and job folders.
// bReadOnly: see CScanDatabase::Open.
CRhError LoadHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history,
                     bool bReadOnly = false);
// LoadHistory for a sub-command: the database must exist already (a
// sub-command never makes an empty one). Only forget writes.
CRhError OpenHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history,
                     bool bReadOnly);

// OpenHistory for jobs and forget: refuses a line with neither --state nor
// --db; only forget without --dry-run opens it for writing. Returns the exit
// status of a failure, else kExitOk.
int OpenJobHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history);

// A job's time as "2026-12-08T05:33:21Z", "-" for none.
std::string TimeText(long long llTime);

// The items of a job, all change types together.
long long ItemCount(const JobRecord& record);

// The warning that the password crosses the network unencrypted, for a
// command about to ask a plain http:// --server; none with --quiet.
void WarnOfPlainHttp(const ScanOptions& options);

// The settings text the server options give (--ha-wait, --ca-bundle), for
// every command that asks the file server.
std::string ServerSettings(const ScanOptions& options);

// Settings (with --mount-table and the server options) and log as a scan job
// has them, for a sub-command that reads the mount table or asks the file
// server. Its settings go to STATE/settings-COMMAND.ini: rewriting the
// file a running job reads would change that job's settings.
CRhError SetUpHostServices(const ScanOptions& options);

// Checks the state folder (--state) and the folder of --db, those that
// exist: afs-scan trusts what they hold (the job history, the records, the
// lock), so each must be owned by the user running it and writable by no
// group and no other user. False, with one line on stderr naming the folder,
// its owner and mode, and the fix, when one is not.
bool StateFoldersAreSafe(const ScanOptions& options);

// The snapshot name of a job: "zkop__CLIENT_APP_JOB".
std::string SnapshotPrefix(unsigned int uClientId, unsigned int uAppId);

}  // namespace afs_scan
