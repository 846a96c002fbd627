#pragma once

// Decides, per API request, which fault of the current scenario applies, and
// keeps the counters the rules refer to. Thread-safe.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

    // The neighbours a busy server lists before the real entities of
    // `strList`, as numbers (each names one entity for good), at a list
    // request for `uOffset`; `uPopulation` of them to start with. Every other
    // listing (counted by its requests at offset 0) sees one change before
    // its first page past offset 0, in turn: one new at the front and the
    // last one gone (the total stays, what follows moves forward across the
    // page boundary), one more at the end (the total grows), the first one
    // gone (it shrinks, what follows moves back).
    // The listings in between see none, so a client that reads a moving
    // list again gets through.
    std::vector<uint64_t> BusyNeighbours(const std::string& strList, uint64_t uOffset, uint64_t uPopulation);

private:
    struct BusyList {
        std::deque<uint64_t> listMembers;
        uint64_t uNext = 0;    // the number of the next new member
        uint64_t uStarts = 0;  // requests at offset 0
        uint64_t uChanges = 0;
        bool bArmed = false;  // the next request past offset 0 brings a change
    };

    const Scenario startup;
    mutable std::mutex mutex;
    Scenario current;
    std::map<std::string, uint64_t> mapRequestCounts;
    std::map<std::string, uint64_t> mapPageRetries;
    std::map<std::string, BusyList> mapBusy;
};

// Body rewrites for the fault kinds that answer something broken.
std::string TruncatedBody(const std::string& strBody);
std::string MalformedBody(const std::string& strBody);
// Gives the first member named `strMember` a value of another type: a string
// becomes a number, anything else a string. Unchanged when there is none.
std::string WrongTypedBody(const std::string& strBody, const std::string& strMember);

}  // namespace afs_sim
