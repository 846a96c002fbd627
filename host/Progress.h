#pragma once

#include "host/HostExport.h"

// How far a long call into the plug-in got, as counters the plug-in and its
// REST client keep and a host reads from any thread (a progress line redrawn
// on a timer, say), instead of parsing log lines, whose texts may change in
// any release. Each counter is one atomic value: read them one by one, and
// a reading may mix two moments.
enum EProgressCounter {
    eProgressPagesFetched = 0,  // difference pages received ready, in this process
    eProgressPageWaited,        // the page of the current difference the server is still making
                                // (1: its first), while the plug-in waits to ask again; 0: none
    eProgressPageRequests,      // how often that page was asked for again so far
    eProgressHaWaitedMs,        // the high-availability wait of the request in flight: milliseconds
                                // waited so far; valid while eProgressHaLimitMs is not 0
    eProgressHaLimitMs,         // that wait's limit ([FileSystemAgent] uHAWaitTime); 0: no such wait
    eProgressItemsSkipped,      // items of differences not handed over (outside the compared
                                // snapshots, or paths that cannot be file names), in this process:
                                // a share whose comparison skipped any may miss a change
    eProgressCounterCount,      // not a counter: the number of them
};

// Sets a counter; an unknown one is ignored. Thread-safe. Weak: the
// plug-in must load with a host's own library, which may lack it.
HOST_EXPORT __attribute__((weak)) void SetProgress(EProgressCounter eCounter, unsigned long long ullValue);
// Adds to a counter; an unknown one is ignored. Thread-safe. Weak, as above.
HOST_EXPORT __attribute__((weak)) void AddProgress(EProgressCounter eCounter, unsigned long long ullDelta);
// A counter's value (0 for an unknown one). Thread-safe.
HOST_EXPORT unsigned long long GetProgress(EProgressCounter eCounter);

// What the plug-in calls: SetProgress and AddProgress when the host's
// library has them, else nothing.
inline void KeepProgress(EProgressCounter eCounter, unsigned long long ullValue) {
    if (SetProgress != nullptr) SetProgress(eCounter, ullValue);
}
inline void CountProgress(EProgressCounter eCounter, unsigned long long ullDelta) {
    if (AddProgress != nullptr) AddProgress(eCounter, ullDelta);
}
