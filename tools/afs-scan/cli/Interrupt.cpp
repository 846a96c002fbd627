#include "tools/afs-scan/cli/Interrupt.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "host/Sleep.h"

namespace afs_scan {

namespace {

std::atomic<int> g_nSignal{0};

void OnSignal(int nSignal) { g_nSignal.store(nSignal); }

// Slices of a sleep: the signal may be taken by another thread (the
// database writer), so the sleeper looks at the request between slices.
constexpr unsigned int kSliceMs = 100;

// The real sleep, cut short by a stop request: a waiting job must not keep
// the user waiting for minutes after Ctrl-C.
void InterruptibleSleep(unsigned int milliseconds) {
    while (milliseconds > 0 && g_nSignal.load() == 0) {
        const unsigned int uSlice = milliseconds < kSliceMs ? milliseconds : kSliceMs;
        timespec slice{0, static_cast<long>(uSlice) * 1000000L};
        while (nanosleep(&slice, &slice) != 0 && errno == EINTR && g_nSignal.load() == 0) {
        }
        milliseconds -= uSlice;
    }
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking call returns EINTR and the job sees the
    // request sooner. SA_RESETHAND: the second signal has its default effect.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    SetSleepFunction(InterruptibleSleep);
}

int InterruptSignal() { return g_nSignal.load(); }

}  // namespace afs_scan
