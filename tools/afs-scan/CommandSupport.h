#pragma once

#include <string>

#include "host/RhError.h"
#include "tools/afs-scan/JobHistory.h"
#include "tools/afs-scan/ScanDatabase.h"
#include "tools/afs-scan/ScanOptions.h"

// Exit statuses of afs-scan and its sub-commands.
constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitMissing = 3;

// "afs-scan: TEXT" and the pointer to --help on stderr; returns kExitUsage.
int UsageError(const std::string& strText);
// "afs-scan: error: CHAIN" on stderr; returns kExitError.
int ReportError(const CRhError& error);

// The scan database a sub-command reads: --db, else STATE/scan.db. It must
// exist already (a sub-command never makes an empty one). Fills `history`.
CRhError OpenHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history);

// Settings (with --mount-table) and log as a scan job has them, for a
// sub-command that reads the mount table or asks the file server.
CRhError SetUpHostServices(const ScanOptions& options);

// The snapshot name of a job: "zkop__CLIENT_APP_JOB".
std::string SnapshotPrefix(unsigned int uClientId, unsigned int uAppId);
