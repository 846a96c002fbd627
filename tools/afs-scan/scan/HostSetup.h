#pragma once

#include <string>

#include "host/RhError.h"

namespace afs_scan {

// Points the plug-in and the host services at their settings: with a mount
// table or overrides (settings text such as "[FileSystemAgent]\nMaxDiffItems
// = 10\n"), writes `strStateDir`/`strFileName` holding the text of
// `strSettings` (when given), the overrides and [Host] MountTableFile (when
// given), and uses that; otherwise
// uses `strSettings` as it is; with neither the environment is left alone.
// Sets AFS_HOST_SETTINGS to an absolute path. Must run before the plug-in
// is loaded. Fills `strUsed` with the file in force (may be empty).
CRhError SetUpSettings(const std::string& strSettings, const std::string& strMountTable,
                       const std::string& strOverrides, const std::string& strStateDir, std::string& strUsed,
                       const std::string& strFileName = "settings.ini");

// Replaces the process-wide log writer (shared with the plug-in) by one with
// the settings' [Host] LogLevel writing to `strLogFile`, or, when that is
// empty, to [Host] LogDir/afs-host.log when LogDir is set, else to
// `strDefaultLogFile`. Keeps the plug-in's chatter off the terminal, but
// shows the REST client's level-0 lines (the wait for an unreachable file
// server, transport warnings) on stderr.
void SetUpLog(const std::string& strLogFile, const std::string& strDefaultLogFile);

// Items the plug-in skipped in its comparisons so far (its progress counter).
unsigned long long DifferenceItemsSkipped();

}  // namespace afs_scan
