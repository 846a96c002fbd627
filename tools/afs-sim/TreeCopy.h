#pragma once

#include <string>

namespace afs_sim {

// Copies the tree below `strSource` into the new folder `strTarget`, keeping
// symbolic links as links and the access and modification times, as an NFS
// client sees them in a snapshot. The source's top-level ".snapshot" folder
// is skipped. On failure the partial copy is removed and the error returned;
// an empty text means success.
std::string CopyShareTree(const std::string& strSource, const std::string& strTarget);

}  // namespace afs_sim
