#pragma once

#include <string>

#include "host/HostExport.h"
#include "host/RhError.h"

// Path helpers for "/"-delimited byte paths.
class HOST_EXPORT FXPath {
public:
    // Appends `component` after exactly one "/". Flags are reserved (pass 0).
    static CRhError Append(std::string& path, const std::string& component, int flags);
    // True when `path` lies below `base`, comparing whole components and letter
    // case; with bIncludeSelf a path equal to the base counts too. Trailing
    // delimiters on either side are ignored.
    static bool IsAncestorOf(const std::string& base, const std::string& path, bool bIncludeSelf);
    static bool IsDescendantOf(const std::string& path, const std::string& base, bool bIncludeSelf) {
        return IsAncestorOf(base, path, bIncludeSelf);
    }
    // Removes one trailing "/" (not from the root "/" itself). Always succeeds.
    static CRhError RemoveTrailingDelimiter(std::string& path);
    // The mount point of the mounted volume that holds `path`, from the host's
    // mount table; an error when no mount holds it.
    static CRhError ZKGetVolumeNameForVolumeMountPoint(const std::string& path, std::string& volumeName);
};
