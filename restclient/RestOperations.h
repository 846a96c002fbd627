#pragma once

#include <cstddef>
#include <string>

// The file server's REST operations, named once for the client, the
// simulator and the docs. The name is the client's: its error texts say
// "NAME failed: ..." and hosts classify failures on them, so a name never
// changes. The simulator routes each path to the operation and counts fault
// rules per name; a rule may still use the simulator's former name.
// No dependencies: the simulator links it without the client.
namespace afs_rest {

enum class ERestOperation {
    eGetPartnerServer,
    eCreatePartnerServer,
    eGetMountTarget,
    eGetMountTargetSnapshot,
    eCreateMountTargetSnapshot,
    eDeleteMountTargetSnapshot,
    eCreateIncrementalDiff,
    eGetDiffPage,
};

struct RestOperation {
    ERestOperation eOperation;
    const char* pszName;        // the client's name, as in its error texts
    const char* pszMethod;      // "GET", "POST" or "DELETE"
    const char* pszPath;        // below the API base; "{uuid}" is the one path parameter
    const char* pszFormerName;  // what the simulator's scenarios called it first
};

// In ERestOperation's order.
extern const RestOperation kRestOperations[];
extern const size_t kRestOperationCount;

const RestOperation& RestOperationOf(ERestOperation eOperation);

// The operation `name` names, by its name or its former one; nullptr for none.
const RestOperation* FindRestOperation(const std::string& name);

// The operation's path with "{uuid}" replaced by `parameter`, which the
// caller has percent-encoded (or made a route pattern).
std::string RestPath(const RestOperation& operation, const std::string& parameter = std::string());

}  // namespace afs_rest
