#pragma once

#include <cstdint>
#include <string>

#include "tools/afs-sim/DiffEngine.h"

namespace afs_sim {

// Appends one object of a difference page. Paths are written as the file
// server writes them: "/.snapshot/<name>/<path in the share>", with the newer
// snapshot's name, the older one's for a deletion and for a rename's old path.
void AppendDiffObject(std::string& strOut, const DiffObject& object, const std::string& strNewerName,
                      const std::string& strOlderName);

// Appends the generated object number `uIndex` of a synthetic difference.
// The same index always gives the same object; nothing is kept in memory.
void AppendSyntheticObject(std::string& strOut, uint64_t uIndex, const std::string& strNewerName,
                           const std::string& strOlderName);

// Rewrites a difference page as a file server with other habits might write
// it: object and operation types in lower case, timestamps with nine
// fraction digits and the offset "+00:00" instead of "Z".
std::string OddlySpelledPage(const std::string& strBody);

}  // namespace afs_sim
