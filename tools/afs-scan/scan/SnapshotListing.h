#pragma once

#include <string>

#include "host/RhError.h"
#include "tools/afs-scan/scan/ScanItemSink.h"

namespace afs_scan {

// Reports every entry below `strSnapshotRoot` (not the root itself) as an
// ADD item named `strScanRoot` + the entry's path relative to the root,
// parents before children, names in byte order. Symbolic links are reported,
// never followed. A ".snapshot" folder directly under the root is skipped
// (the server's own snapshot folder). Stops at the first entry that cannot be
// read or that the sink rejects, with that error.
CRhError ListSnapshotAsAdds(const std::string& strSnapshotRoot, const std::string& strScanRoot,
                            CScanItemSink& sink);

}  // namespace afs_scan
