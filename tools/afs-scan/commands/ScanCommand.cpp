#include "tools/afs-scan/commands/CommandTable.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "host/LogWriter.h"
#include "host/PlatformInfo.h"
#include "tools/afs-scan/cli/ErrorHeadline.h"
#include "tools/afs-scan/cli/Interrupt.h"
#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/scan/HostSetup.h"
#include "tools/afs-scan/scan/JobSummary.h"
#include "tools/afs-scan/scan/ScanJob.h"
#include "tools/afs-scan/scan/ScanTargets.h"
#include "tools/afs-scan/scan/SettingsCheck.h"
#include "tools/afs-scan/store/StateLock.h"
#include "tools/common/Cli.h"

namespace afs_scan {

namespace {

using afs_cli::Say;

// Settings this run adds to the user's: its options, and the REST client's
// request log in the state folder rather than a folder all users share.
std::string SettingsOverrides(const ScanOptions& options, const std::set<std::string>& setUserKeys) {
    std::string strText = ServerSettings(options);
    if (options.ullMaxItems != 0)
        strText += "[FileSystemAgent]\nMaxDiffItems = " + std::to_string(options.ullMaxItems) + "\n";
    if (setUserKeys.count("EventManager/dEVLOGDIR") == 0)
        strText += "[EventManager]\ndEVLOGDIR = " + options.strStateDir + "\n";
    return strText;
}

// Everything that can be wrong before a job starts; exit 2 when it is.
int CheckConfiguration(ScanOptions& options, std::set<std::string>& setUserKeys) {
    // Without them a job would run with no user, no state folder or no share.
    if (options.strServer.empty()) return afs_cli::UsageError("--server is required");
    if (options.strUser.empty()) return afs_cli::UsageError("--user is required");
    if (options.strStateDir.empty()) return afs_cli::UsageError("--state is required");
    if (options.listScanPaths.empty()) return afs_cli::UsageError("at least one --scan-path is required");
    if (options.bJsonLines && options.bCsv)
        return afs_cli::UsageError("--jsonl and --csv exclude each other");
    std::string strError = ServerAddressError(options.strServer);
    if (!strError.empty()) {
        Say(strError + "; give --server HOST, HOST:PORT or https://HOST:PORT/api/nutanix/v3");
        return afs_cli::kExitUsage;
    }
    strError = ReadPassword(options);
    if (!strError.empty()) {
        Say(strError);
        return afs_cli::kExitUsage;
    }
    if (!options.strSettingsFile.empty()) {
        std::vector<std::string> listWarnings;
        if (!CheckSettingsFile(options.strSettingsFile, listWarnings, setUserKeys, strError)) {
            Say(strError);
            return afs_cli::kExitUsage;
        }
        for (const std::string& strWarning : listWarnings) Say("warning: " + strWarning);
    }
    std::error_code fsError;
    std::filesystem::create_directories(options.strStateDir, fsError);
    if (fsError) {
        Say("cannot create state folder " + options.strStateDir + ": " + fsError.message());
        return afs_cli::kExitUsage;
    }
    if (!StateFoldersAreSafe(options)) return afs_cli::kExitUsage;
    if (access(options.strStateDir.c_str(), W_OK | X_OK) != 0) {
        Say("cannot write state folder " + options.strStateDir + ": " + std::strerror(errno));
        return afs_cli::kExitUsage;
    }
    return afs_cli::kExitOk;
}

}  // namespace

int RunScanCommand(ScanOptions& options) {
    std::set<std::string> setUserKeys;
    int nExit = CheckConfiguration(options, setUserKeys);
    if (nExit != afs_cli::kExitOk) return nExit;
    // Held until the process ends: nothing in the state folder is touched
    // before it is ours.
    CStateLock stateLock;
    CRhError error = AcquireStateLock(options, stateLock);
    if (error.IsError()) {
        Say(error.GetMessage());
        return ExitStatusOf(error);
    }
    std::string strSettings;
    error = SetUpSettings(options.strSettingsFile, options.strMountTable,
                          SettingsOverrides(options, setUserKeys), options.strStateDir, strSettings);
    if (error.IsError()) {
        Say(error.GetMessage());
        return afs_cli::kExitUsage;
    }
    SetUpLog(options.strLogFile, options.strStateDir + "/afs-scan.log");
    std::vector<ScanTarget> listTargets;
    if (!ResolveTargets(options, listTargets)) return afs_cli::kExitUsage;
    // Only a run that goes on to ask the server sends the password.
    WarnOfPlainHttp(options);

    InstallInterruptHandlers();
    JobSummary summary;
    CScanJob job(options, std::move(listTargets));
    error = job.Run(summary);
    if (summary.bConfigError) {
        HOST_LOG(-1, "afs-scan: %s", error.AsString().c_str());
        Say(error.GetMessage());
        return afs_cli::kExitUsage;
    }

    // The summary keeps stdout's machine-readable output (items, JSON) clean.
    std::FILE* ptrSummaryStream =
        options.bJsonLines || options.bCsv || options.strSummaryJson == "-" ? stderr : stdout;
    std::fprintf(ptrSummaryStream, "job %lld (%s, previous job %lld, full job %lld): %s\n",
                 summary.identity.llJobId, summary.identity.IsFull() ? "full" : "incremental",
                 summary.identity.llPreviousJobId, summary.identity.llFullJobId,
                 error.IsSuccess() ? "ok" : "FAILED");
    PrintShareSummaries(summary, ptrSummaryStream);
    std::fflush(stdout);
    nExit = afs_cli::kExitOk;
    if (!options.strSummaryJson.empty() && !WriteSummaryJson(summary, options.strSummaryJson)) {
        Say("cannot write the summary to " + options.strSummaryJson + ": " + std::strerror(errno));
        nExit = afs_cli::kExitFailed;
    }
    if (error.IsError()) {
        HOST_LOG(-1, "job %lld failed: %s", summary.identity.llJobId, error.AsString().c_str());
        if (InterruptSignal() != 0) {
            Say(std::string("interrupted by ") + (InterruptSignal() == SIGINT ? "SIGINT" : "SIGTERM") +
                ": job " + std::to_string(summary.identity.llJobId) +
                " recorded as failed, nothing of it stored");
            return afs_cli::kExitInterrupted + InterruptSignal();
        }
        if (options.bVerbose) Say("error: " + error.AsString());
        Say(summary.strHeadline.empty() ? ErrorHeadline(error, options) : summary.strHeadline);
        // Recorded as failed all the same; the status tells a script whether
        // to run it again later or to fix something first.
        return ExitStatusOf(error);
    }
    for (const ShareSummary& share : summary.listShares) {
        if (nExit == afs_cli::kExitOk && (share.eMode == eShareNotBackedUp || share.bPartial))
            nExit = afs_cli::kExitPartial;
    }
    return nExit;
}

}  // namespace afs_scan
