#include "restclient/HaBackoff.h"

#include <algorithm>

namespace afs_rest {

bool CHaBackoff::Next(unsigned int& delayMs, uint64_t minimumMs) {
    if (ullWaitedMs >= ullBudgetMs) return false;
    uint64_t delay = std::min(std::max(ullNextMs, minimumMs), ullBudgetMs - ullWaitedMs);
    ullWaitedMs += delay;
    ullNextMs = std::min(ullNextMs * 2, kMaxDelayMs);
    delayMs = static_cast<unsigned int>(delay);
    return true;
}

}  // namespace afs_rest
