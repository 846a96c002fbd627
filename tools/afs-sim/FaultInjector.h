#pragma once

// Decides, per API request, which fault of the current scenario applies, and
// keeps the counters the rules refer to. Thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "tools/afs-sim/Scenario.h"

namespace afs_sim {

class CFaultInjector {
public:
    explicit CFaultInjector(Scenario startup);

    Scenario Current() const;
    // Replaces the knobs and restarts every counter.
    void Apply(const Scenario& scenario);
    // Back to the startup knobs, counters restarted.
    void Reset();
    const Scenario& Startup() const { return startup; }

    // Counts one request of `strOperation` and returns the first rule that
    // covers it, if any. `knobs` receives the knobs in force for the request.
    std::optional<FaultRule> CountRequest(const std::string& strOperation, Scenario& knobs);

    // True while the page `strKey` still has should_retry_page answers to give.
    bool TakePageRetry(const std::string& strKey, uint64_t uRetries);

private:
    const Scenario startup;
    mutable std::mutex mutex;
    Scenario current;
    std::map<std::string, uint64_t> mapRequestCounts;
    std::map<std::string, uint64_t> mapPageRetries;
};

// Body rewrites for the fault kinds that answer something broken.
std::string TruncatedBody(const std::string& strBody);
std::string MalformedBody(const std::string& strBody);
// Gives the first member named `strMember` a value of another type: a string
// becomes a number, anything else a string. Unchanged when there is none.
std::string WrongTypedBody(const std::string& strBody, const std::string& strMember);

}  // namespace afs_sim
