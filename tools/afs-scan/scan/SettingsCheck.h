#pragma once

#include <set>
#include <string>
#include <vector>

namespace afs_scan {

// Reads a host settings file the user gave and names what the plug-in and
// the host will not use: unknown sections, unknown keys and malformed lines,
// each as "FILE:LINE: ..." (a typo in a key would otherwise silently leave
// the default in force). Fills `setKeysSet` with "Section/key" of every key
// given a value. Returns false, with `strError` set, when the file cannot be
// read.
bool CheckSettingsFile(const std::string& strFile, std::vector<std::string>& listWarnings,
                       std::set<std::string>& setKeysSet, std::string& strError);

}  // namespace afs_scan
