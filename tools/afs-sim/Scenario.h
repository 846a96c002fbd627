#pragma once

// The test knobs: settable from the command line, a scenario file and at
// runtime through POST /_sim/scenario.

#include <cstdint>
#include <string>
#include <vector>

namespace afs_sim {

enum class EFaultKind {
    eStatus,       // answer nStatus with an error body; the operation is not performed
    eDrop,         // close the connection without an answer; not performed
    eDropAfter,    // perform the operation, then close without an answer
    eDropMidBody,  // send the headers and half the body, then close
    eTruncate,     // a complete answer whose body is the first half of the JSON
    eMalformed,    // a complete answer whose body is not valid JSON
    eWrongType,    // the first member named strMember gets a value of another type
    eDelay,        // wait uDelayMs before answering
    eKill,         // SIGKILL to process uPid (a client under test, or the simulator), then as without a fault
};

// Applies to requests number uNth .. uNth + uCount - 1 (counted from 1) of
// strOperation since the scenario was applied; "*" counts every API request.
// strOperation is a name of afs_rest::kRestOperations; parsing turns a former
// name into it.
struct FaultRule {
    std::string strOperation = "*";
    uint64_t uNth = 1;
    uint64_t uCount = 1;
    EFaultKind eKind = EFaultKind::eStatus;
    int nStatus = 503;
    std::string strMember;  // eWrongType; empty picks the operation's main member
    uint64_t uDelayMs = 0;  // eDelay
    uint64_t uPid = 0;      // eKill
};

struct Scenario {
    uint64_t uPageSizeCap = 10000;
    uint64_t uDefaultPageSize = 1000;  // when a page request has no page_size
    uint64_t uObjectsPerDiff = 100000;
    uint64_t uRetryPages = 0;       // should_retry_page answers before each page
    uint64_t uDelayMs = 0;          // before every API answer
    uint64_t uSynthetic = 0;        // > 0: every difference serves this many generated objects
    uint64_t uPartnerConflict = 0;  // > 0: creating a partner server of a known name answers 409
    uint64_t uOddSpellings = 0;     // > 0: difference pages spelled as OddlySpelledPage() does
    // A server that makes a client's work endless: 1 the last difference page
    // points back to the first, 2 every difference is listed twice, 3 list
    // pages hold one entity whatever the offset (total 2147483647), 4 as 3 but
    // the total grows with the offset.
    uint64_t uHostilePaging = 0;
    uint64_t uEchoAuthorization = 0;  // > 0: "status" faults echo the credentials and a line break
    uint64_t uForeignPaths = 0;       // 1: new items lie in a snapshot named "other"; 2: in no snapshot
    // A server whose difference misses changes: the Nth object of every real
    // difference left out, renames without their old path, and the entries
    // of a new directory left out (the directory itself is reported).
    uint64_t uDropObject = 0;
    uint64_t uRenameWithoutOldPath = 0;
    uint64_t uOmitNewChildren = 0;
    // A server that names its items oddly (see docs/simulator.md): 1 a
    // RENAME's old path in the newer snapshot, 2 a "/./" and 3 a "//" after
    // the snapshot's name, 4 one more item naming the share root, 5 every
    // item twice, 6 odd values (null, empty and year-1 times, names no file
    // system holds).
    uint64_t uOddPaths = 0;
    // A busy server: this many snapshots of other prefixes, and partner
    // servers of other products, listed before the real ones, which come and
    // go while a listing is paged (CFaultInjector::BusyNeighbours).
    uint64_t uBusySnapshots = 0;
    uint64_t uBusyPartners = 0;
    std::vector<FaultRule> listFaults;
};

// Sets the members present in the JSON object `strJson` on `scenario`; the
// others keep their values. "faults", when present, replaces the list.
// Returns an empty text on success, else what is wrong (scenario untouched).
std::string ParseScenario(const std::string& strJson, Scenario& scenario);
std::string ScenarioToJson(const Scenario& scenario);

}  // namespace afs_sim
