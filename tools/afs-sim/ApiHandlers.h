#pragma once

// The protocol's operations, free of HTTP: each takes the request's body (and
// path or query values) and returns the status and body to answer.

#include <string>

#include "tools/afs-sim/DiffStore.h"
#include "tools/afs-sim/FaultInjector.h"
#include "tools/afs-sim/PagePrefetcher.h"
#include "tools/afs-sim/SimState.h"

namespace afs_sim {

struct ApiReply {
    int nStatus = 200;
    std::string strBody;
};

class CApiHandlers {
public:
    // The references must outlive this object.
    CApiHandlers(CSimState& state, CDiffStore& diffStore, CFaultInjector& faults);

    ApiReply ListPartnerServers(const std::string& strBody);
    // With the knob partner_conflict, a name already registered answers 409.
    ApiReply CreatePartnerServer(const std::string& strBody, const Scenario& knobs);
    ApiReply ListMountTargets(const std::string& strBody);
    ApiReply ListSnapshots(const std::string& strBody);
    ApiReply CreateSnapshot(const std::string& strBody);
    ApiReply DeleteSnapshot(const std::string& strUuid);
    ApiReply IncrementalDiff(const std::string& strBody, const Scenario& knobs);
    // `bHasPageSize` false: the knobs' default page size.
    ApiReply DiffPage(const std::string& strDiffUuid, bool bHasPageSize, const std::string& strPageSize,
                      const std::string& strToken, const Scenario& knobs);

private:
    CSimState& state;
    CDiffStore& diffStore;
    CFaultInjector& faults;
    CPagePrefetcher prefetcher;
};

}  // namespace afs_sim
