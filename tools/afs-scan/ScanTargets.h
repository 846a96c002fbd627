#pragma once

#include <string>
#include <vector>

#include "host/ContentMapper.h"
#include "host/RhError.h"

// One share the job was asked to back up.
struct ScanTarget {
    std::string strScanPath;   // as given on the command line
    std::string strMountPath;  // the mount-table directory holding it
    std::string strDevice;     // the mount's source, e.g. "fs1:/share1"
    std::string strScanForm;   // the share root as the plug-in names it (mapped, or the mount path)
};

// The shares of `listScanPaths` by the mount table the settings name, checked
// before the file server is touched: a path on no mount would be dropped
// silently by the plug-in, and two paths on one share would make it take and
// compare that share twice. `ptrMapper` (may be null) gives the scan form.
CRhError ResolveScanTargets(const std::vector<std::string>& listScanPaths, const ContentMapperAPIPtr& ptrMapper,
                            std::vector<ScanTarget>& listTargets);

// `strPath` without trailing slashes ("/" stays "/").
std::string WithoutTrailingSlash(std::string strPath);
