// afs-scan: a reference backup host. Runs one backup scan job through
// libNutanixAFSManager.so and stores the changed items in a SQLite database.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/afs-scan/HostSetup.h"
#include "tools/afs-scan/JobsCommand.h"
#include "tools/afs-scan/JobSummary.h"
#include "tools/afs-scan/ScanJob.h"
#include "tools/afs-scan/ScanOptions.h"
#include "tools/afs-scan/SnapshotsCommand.h"
#include "tools/afs-scan/StateLock.h"
#include "tools/afs-scan/VerifyCommand.h"

namespace {
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
}  // namespace

int main(int argc, char** argv) {
    ScanOptions options;
    std::string strError = ParseScanOptions(argc, argv, options);
    if (options.bVersion) {
        std::printf("afs-scan %s\n", AFS_VERSION);
        return 0;
    }
    if (options.bHelp) {
        std::fputs(ScanUsageText().c_str(), stdout);
        return 0;
    }
    if (strError.empty() && options.strCommand == "verify") return RunVerifyCommand(options);
    if (strError.empty() && options.strCommand == "snapshots") return RunSnapshotsCommand(options);
    if (strError.empty() && options.strCommand == "jobs") return RunJobsCommand(options);
    if (strError.empty() && options.strCommand == "forget") return RunForgetCommand(options);
    if (strError.empty()) strError = ReadPassword(options);
    if (!strError.empty()) {
        std::fprintf(stderr, "afs-scan: %s\n%s", strError.c_str(), ScanUsageText().c_str());
        return kExitUsage;
    }
    std::error_code fsError;
    std::filesystem::create_directories(options.strStateDir, fsError);
    // Held until the process ends: nothing in the state folder is touched
    // before it is ours.
    CStateLock stateLock;
    CRhError error = stateLock.Acquire(options.strStateDir);
    if (error.IsError()) {
        std::fprintf(stderr, "afs-scan: error: %s\n", error.AsString().c_str());
        return kExitFailure;
    }
    std::string strSettings;
    error = SetUpSettings(options.strSettingsFile, options.strMountTable,
                      options.ullMaxItems == 0 ? std::string()
                                               : "[FileSystemAgent]\nMaxDiffItems = " +
                                                     std::to_string(options.ullMaxItems) + "\n",
                      options.strStateDir, strSettings);
    if (error.IsError()) {
        std::fprintf(stderr, "afs-scan: error: %s\n", error.AsString().c_str());
        return kExitFailure;
    }
    SetUpLog(options.strLogFile, options.strStateDir + "/afs-scan.log");
    // Only a run that goes on to ask the server sends the password.
    if (options.strServer.compare(0, 7, "http://") == 0) {
        std::fprintf(stderr, "afs-scan: warning: %s is plain http://: the password crosses the network unencrypted; "
                             "use https://\n", options.strServer.c_str());
    }

    JobSummary summary;
    CScanJob job(options);
    error = job.Run(summary);

    std::FILE* ptrSummaryStream = options.bJsonLines || options.bCsv ? stderr : stdout;
    std::fprintf(ptrSummaryStream, "job %lld (%s, previous job %lld, full job %lld): %s\n",
                 summary.identity.llJobId, summary.identity.IsFull() ? "full" : "incremental",
                 summary.identity.llPreviousJobId, summary.identity.llFullJobId,
                 error.IsSuccess() ? "ok" : "FAILED");
    PrintShareSummaries(summary, ptrSummaryStream);
    std::fflush(stdout);
    if (!options.strSummaryJson.empty() && !WriteSummaryJson(summary, options.strSummaryJson)) {
        std::fprintf(stderr, "afs-scan: cannot write %s\n", options.strSummaryJson.c_str());
        if (error.IsSuccess()) return kExitFailure;
    }
    if (error.IsError()) {
        std::fprintf(stderr, "afs-scan: error: %s\n", error.AsString().c_str());
        return kExitFailure;
    }
    return 0;
}
