#include "host/Progress.h"

#include <atomic>

namespace {

std::atomic<unsigned long long> g_arrCounters[eProgressCounterCount];

bool IsCounter(EProgressCounter eCounter) { return eCounter >= 0 && eCounter < eProgressCounterCount; }

}  // namespace

void SetProgress(EProgressCounter eCounter, unsigned long long ullValue) {
    if (IsCounter(eCounter)) g_arrCounters[eCounter].store(ullValue);
}

void AddProgress(EProgressCounter eCounter, unsigned long long ullDelta) {
    if (IsCounter(eCounter)) g_arrCounters[eCounter].fetch_add(ullDelta);
}

unsigned long long GetProgress(EProgressCounter eCounter) {
    return IsCounter(eCounter) ? g_arrCounters[eCounter].load() : 0;
}
