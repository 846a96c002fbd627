#include "restclient/RestOperations.h"

namespace afs_rest {

// One row per operation: docs/wire-protocol.md shows this table, and the kit
// checks that it does.
const RestOperation kRestOperations[] = {
    {ERestOperation::eGetPartnerServer, "get_partner_server", "POST", "partner_servers/list",
     "list_partner_servers"},
    {ERestOperation::eCreatePartnerServer, "create_partner_server", "POST", "partner_servers",
     "create_partner_server"},
    {ERestOperation::eGetMountTarget, "get_mount_target", "POST", "mount_targets/list", "list_mount_targets"},
    {ERestOperation::eGetMountTargetSnapshot, "get_mount_target_snapshot", "POST",
     "mount_target_snapshots/list", "list_snapshots"},
    {ERestOperation::eCreateMountTargetSnapshot, "create_mount_target_snapshot", "POST",
     "mount_target_snapshots", "create_snapshot"},
    {ERestOperation::eDeleteMountTargetSnapshot, "delete_mount_target_snapshot", "DELETE",
     "mount_target_snapshots/{uuid}", "delete_snapshot"},
    {ERestOperation::eCreateIncrementalDiff, "create_mount_target_snapshot_incremental_diff", "POST",
     "mount_target_snapshots/incremental_diff", "incremental_diff"},
    {ERestOperation::eGetDiffPage, "get_mount_target_snapshot_diff_page", "GET",
     "mount_target_snapshots/diff/{uuid}", "diff_page"},
};
const size_t kRestOperationCount = sizeof(kRestOperations) / sizeof(kRestOperations[0]);
static_assert(sizeof(kRestOperations) / sizeof(kRestOperations[0]) ==
                  static_cast<size_t>(ERestOperation::eGetDiffPage) + 1,
              "one row per operation");

const RestOperation& RestOperationOf(ERestOperation eOperation) {
    return kRestOperations[static_cast<size_t>(eOperation)];
}

const RestOperation* FindRestOperation(const std::string& name) {
    for (const RestOperation& operation : kRestOperations) {
        if (name == operation.pszName || name == operation.pszFormerName) return &operation;
    }
    return nullptr;
}

std::string RestPath(const RestOperation& operation, const std::string& parameter) {
    std::string path = operation.pszPath;
    const size_t at = path.find("{uuid}");
    if (at != std::string::npos) path.replace(at, 6, parameter);
    return path;
}

}  // namespace afs_rest
