// afs-sim: serves the file server's REST protocol on a folder of shares.

#include <malloc.h>  // mallopt: keep page-sized buffers in the heap
#include <signal.h>  // sigwait: SIGTERM and SIGINT end the program cleanly

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tools/afs-sim/CommandLine.h"
#include "tools/afs-sim/FileServerSimulator.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* pFile) const noexcept { std::fclose(pFile); }
};

}  // namespace

int main(int argc, char** argv) {
    // Every difference page is a fresh buffer of about a megabyte. By default
    // glibc maps and unmaps each one, so the simulator spent half its time in
    // page faults; keeping them in the heap lets the next page reuse them.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // Pages are written on short-lived threads; each new thread would start a
    // fresh arena (and fault in its memory) instead of reusing warm memory.
    mallopt(M_ARENA_MAX, 2);
    afs_sim::CommandLine commandLine;
    std::string strError =
        afs_sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::getenv("AFS_SIM_PASSWORD"),
                                  commandLine);
    if (strError.empty() && commandLine.bVersion && !commandLine.bHelp) {
        std::printf("afs-sim %s\n", AFS_VERSION);
        return 0;
    }
    if (!strError.empty() || commandLine.bHelp) {
        std::fprintf(strError.empty() ? stdout : stderr, "%s%s%s", strError.c_str(), strError.empty() ? "" : "\n",
                     afs_sim::UsageText());
        return strError.empty() ? 0 : 2;
    }
    std::unique_ptr<std::FILE, FileCloser> ptrLog;
    if (!commandLine.strLogFile.empty()) {
        ptrLog.reset(std::fopen(commandLine.strLogFile.c_str(), "a"));
        if (!ptrLog) {
            std::fprintf(stderr, "afs-sim: cannot open log file %s\n", commandLine.strLogFile.c_str());
            return 1;
        }
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
        std::fprintf(stderr, "afs-sim: %s\n", strError.c_str());
        return 1;
    }
    std::printf("%s\n", ptrSimulator->Url().c_str());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    std::fprintf(stderr, "afs-sim: signal %d, stopping\n", nSignal);
    ptrSimulator->Stop();
    return 0;
}
