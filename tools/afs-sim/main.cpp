// afs-sim: serves the file server's REST protocol on a folder of shares.

#include <malloc.h>  // mallopt: keep page-sized buffers in the heap
#include <signal.h>  // sigwait: SIGTERM and SIGINT end the program cleanly

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/PrivateFile.h"
#include "tools/afs-sim/CommandLine.h"
#include "tools/afs-sim/FileServerSimulator.h"
#include "tools/common/Cli.h"
#include "tools/common/Handles.h"

int main(int argc, char** argv) {
    // Every difference page is a fresh buffer of about a megabyte. By default
    // glibc maps and unmaps each one, so the simulator spent half its time in
    // page faults; keeping them in the heap lets the next page reuse them.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // Pages are written on short-lived threads; each new thread would start a
    // fresh arena (and fault in its memory) instead of reusing warm memory.
    mallopt(M_ARENA_MAX, 2);
    afs_cli::SetProgramName("afs-sim");
    afs_sim::CommandLine commandLine;
    std::string strError = afs_sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                                     std::getenv("AFS_SIM_PASSWORD"), commandLine);
    if (strError.empty() && commandLine.bVersion && !commandLine.bHelp) {
        std::printf("afs-sim %s\n", AFS_VERSION);
        return 0;
    }
    if (commandLine.bHelp) {
        std::fputs(afs_sim::UsageText(), stdout);
        return afs_cli::kExitOk;
    }
    if (!strError.empty()) return afs_cli::UsageError(strError);
    afs_cli::UniqueStream ptrLog;
    if (!commandLine.strLogFile.empty()) {
        ptrLog.reset(afs_private_file::OpenLogStream(commandLine.strLogFile, "afs-sim"));
        if (!ptrLog) return 1;
    }
    commandLine.options.pLogStream = commandLine.bQuiet ? nullptr : ptrLog ? ptrLog.get() : stderr;

    // Blocked before any thread starts, so that only sigwait below sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<afs_sim::CFileServerSimulator> ptrSimulator;
    strError = afs_sim::CFileServerSimulator::Start(commandLine.options, ptrSimulator);
    if (!strError.empty()) {
        afs_cli::Say(strError);
        return afs_cli::kExitFailed;
    }
    std::printf("%s\n", ptrSimulator->Url().c_str());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    afs_cli::Say(std::string("stopping on ") + (nSignal == SIGINT ? "SIGINT" : "SIGTERM"));
    ptrSimulator->Stop();
    return 0;
}
