#pragma once

#include <map>
#include <string>

namespace afs_sim {

// Copies the tree below `strSource` into the new folder `strTarget`, keeping
// symbolic links as links and the access and modification times, as an NFS
// client sees them in a snapshot. The source's top-level ".snapshot" folder
// is skipped. On failure the partial copy is removed and the error returned;
// an empty text means success.
//
// An entry named in `mapLinks` (path relative to the source -> a file of an
// earlier copy) becomes a hard link to that file instead of a copy, as long
// as the link can be made: an unchanged file keeps its inode number from one
// snapshot to the next, as it does on the file server.
std::string CopyShareTree(const std::string& strSource, const std::string& strTarget,
                          const std::map<std::string, std::string>& mapLinks = {});

}  // namespace afs_sim
