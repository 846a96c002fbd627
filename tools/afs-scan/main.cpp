// afs-scan: a reference backup host. Runs one backup scan job through
// libNutanixAFSManager.so and stores the changed items in a SQLite database;
// its sub-commands look after what the jobs leave.
#include <sys/stat.h>  // umask

#include <cstdio>
#include <string>

#include "tools/afs-scan/CommandSupport.h"
#include "tools/afs-scan/JobsCommand.h"
#include "tools/afs-scan/ScanCommand.h"
#include "tools/afs-scan/ScanOptions.h"
#include "tools/afs-scan/SnapshotsCommand.h"
#include "tools/afs-scan/VerifyCommand.h"
#include "tools/common/Cli.h"

int main(int argc, char** argv) {
    afs_cli::SetProgramName("afs-scan");
    ScanOptions options;
    const std::string strError = ParseScanOptions(argc, argv, options);
    if (options.bVersion) {
        std::printf("afs-scan %s\n", AFS_VERSION);
        return afs_cli::kExitOk;
    }
    if (options.bHelp) {
        std::fputs(ScanUsageText().c_str(), stdout);
        return afs_cli::kExitOk;
    }
    if (!strError.empty()) return afs_cli::UsageError(strError);
    // The state folder, the scan database with its log, the job folders and
    // their record files list every changed path: they are the user's own.
    umask(077);
    if (!StateFoldersAreSafe(options)) return afs_cli::kExitUsage;

    // One line per sub-command; each returns its exit status (tools/common/Cli.h).
    if (options.strCommand == "verify") return RunVerifyCommand(options);
    if (options.strCommand == "snapshots") return RunSnapshotsCommand(options);
    if (options.strCommand == "jobs") return RunJobsCommand(options);
    if (options.strCommand == "forget") return RunForgetCommand(options);
    return RunScanCommand(options);
}
