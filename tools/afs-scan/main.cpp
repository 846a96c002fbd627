// afs-scan: a reference backup host. Runs one backup scan job through
// libNutanixAFSManager.so and stores the changed items in a SQLite database;
// its sub-commands look after what the jobs leave.
#include <signal.h>
#include <sys/stat.h>  // umask

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/afs-scan/cli/CommandLine.h"
#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/commands/CommandTable.h"
#include "tools/common/Cli.h"

int main(int argc, char** argv) {
    using namespace afs_scan;
    afs_cli::SetProgramName("afs-scan");
    // A write past a file size limit (ulimit -f) fails with EFBIG and the
    // run ends with the line that says so, not killed by SIGXFSZ unannounced.
    signal(SIGXFSZ, SIG_IGN);
    const std::vector<CommandSpec>& listCommands = CommandTable();
    std::string strError;
    const CommandSpec* ptrCommand = FindCommand(argc, argv, listCommands, strError);
    if (ptrCommand == nullptr) return afs_cli::UsageError(strError);
    if (argc > 1 && argv[1][0] != '-')
        afs_cli::SetHelpCommand(std::string("afs-scan ") + ptrCommand->pszName);
    ScanOptions options;
    strError = ParseCommandOptions(argc, argv, *ptrCommand, listCommands, options);
    if (options.bVersion) {
        std::printf("afs-scan %s\n", AFS_VERSION);
        return afs_cli::kExitOk;
    }
    if (options.bHelp) {
        std::fputs(CommandHelp(*ptrCommand, listCommands).c_str(), stdout);
        return afs_cli::kExitOk;
    }
    if (!strError.empty()) return afs_cli::UsageError(strError);
    // The state folder, the scan database with its log, the job folders and
    // their record files list every changed path: they are the user's own.
    umask(077);
    if (!StateFoldersAreSafe(options)) return afs_cli::kExitUsage;
    int nExit = ptrCommand->pfnRun(options);
    // What a command prints is a result: output that was not written (a full
    // disk, a closed pipe) is no success, as with the shell's own tools.
    const bool bFlushed = std::fflush(stdout) == 0;
    const int nError = errno;
    if (!bFlushed || std::ferror(stdout)) {
        // An earlier write's cause is gone with its errno.
        afs_cli::Say(std::string("cannot write standard output: ") +
                     (bFlushed ? "an earlier write failed, part of it is lost" : std::strerror(nError)));
        if (nExit == afs_cli::kExitOk || nExit == afs_cli::kExitPartial) nExit = afs_cli::kExitFailed;
    }
    return nExit;
}
