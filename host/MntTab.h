#pragma once

#include <string>
#include <vector>

#include "host/HostExport.h"
#include "host/RhError.h"

// The mount table: /proc/self/mounts, or the file named by the setting
// [Host] MountTableFile (same format: device, directory, type, options, ...
// separated by blanks, octal escapes such as \040 for a blank) for machines on
// which the shares cannot really be mounted.
class HOST_EXPORT ZkMntTab {
public:
    struct Entry {
        std::string strDevice;     // e.g. "fs1:/share1"
        std::string strDirectory;  // local mount point
        std::string strType;
    };

    ZkMntTab();                                            // the table the settings name
    explicit ZkMntTab(const std::string& mountTableFile);  // this file instead

    // Fills `entries` with the whole table; an error when it cannot be read.
    CRhError getAll(std::vector<Entry>& entries) const;
    // The entry whose directory is the longest whole-component prefix of
    // `path` (the path itself included); null when none holds it. The pointer
    // points into `entries`.
    const Entry* find(const std::vector<Entry>& entries, const std::string& path) const;

    // Decodes the mount table's octal escapes (\040, \011, \012, \134).
    static std::string DecodeField(const std::string& field);
    // Parses one mount-table line; false for a line with fewer than two fields.
    static bool ParseLine(const std::string& line, Entry& entry);

private:
    std::string strFile;
};
