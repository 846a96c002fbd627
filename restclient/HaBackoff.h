#pragma once

#include <cstdint>

namespace afs_rest {

// Delays of the high-availability wait: 1 s, doubling up to 30 s, the last one
// cut so that the delays add up to exactly the budget. Time is counted from
// the delays handed out, not from a clock, so a test that replaces the sleep
// runs the whole wait instantly.
class CHaBackoff {
public:
    static constexpr uint64_t kFirstDelayMs = 1000;
    static constexpr uint64_t kMaxDelayMs = 30000;

    explicit CHaBackoff(uint32_t budgetSeconds) : ullBudgetMs(uint64_t{budgetSeconds} * 1000) {}

    // False when the budget is used up; otherwise the next delay in `delayMs`,
    // counted as waited. `minimumMs` lengthens it (a server's Retry-After),
    // still within what is left of the budget.
    bool Next(unsigned int& delayMs, uint64_t minimumMs = 0);
    uint64_t WaitedMs() const { return ullWaitedMs; }

private:
    uint64_t ullBudgetMs;
    uint64_t ullWaitedMs = 0;
    uint64_t ullNextMs = kFirstDelayMs;
};

}  // namespace afs_rest
