#pragma once

#include <map>
#include <string>
#include <vector>

namespace afs_scan {

// What one afs-scan run was asked to do, as parsed from the command line and
// the environment. Job ids of -1 mean "take it from the job history".
struct ScanOptions {
    // The command table's name of the command (commands/CommandTable.cpp).
    std::string strCommand = "scan";
    std::string strPlugin;  // empty: the installed plug-in, then the one next to afs-scan
    std::string strServer;
    std::string strUser;
    std::string strPasswordFile;  // empty: $AFS_PASSWORD
    std::string strPassword;      // filled by ReadPassword()
    std::string strStateDir;
    std::string strDb;  // empty: <state>/scan.db
    std::string strSettingsFile;
    std::string strMountTable;
    std::string strLogFile;      // empty: [Host] LogDir, else <state>/afs-scan.log
    std::string strSummaryJson;  // "-": standard output
    std::string strCaBundle;     // empty: [RestClient] CABundle, else the system's CAs
    std::vector<std::string> listScanPaths;
    std::map<std::string, std::string> mapContent;  // local prefix -> scan prefix
    std::vector<std::string> listPartnerEntries;
    unsigned int uClientId = 0;
    unsigned int uAppId = 0;
    long long llJobId = -1;
    long long llPreviousJobId = -1;
    long long llFullJobId = -1;
    long long llSynthFullJobId = 0;
    bool bForceFull = false;
    bool bListFull = false;
    // A history without a job of this client and application may start
    // although the file server holds snapshots of theirs it does not know.
    bool bTakeOver = false;
    bool bJsonLines = false;
    bool bCsv = false;
    bool bHelp = false;
    bool bVersion = false;
    bool bVerbose = false;            // the full error chain on stderr too
    bool bQuiet = false;              // no progress line, no plain-http warning
    bool bJson = false;               // jobs, snapshots: JSON lines instead of the table
    long long llLockWaitSeconds = 0;  // how long to wait for a held state folder
    long long llHaWaitSeconds = -1;   // -1: [FileSystemAgent] uHAWaitTime
    int nBatchRows = 4096;
    unsigned long long ullMaxItems = 0;  // 0: the settings' MaxDiffItems
    // verify
    long long llSampleDirs = 0;  // 0: every directory
    // snapshots
    bool bPrune = false;
    bool bDryRun = false;
    long long llMinAgeSeconds = 3600;
    // forget
    long long llKeepLast = -1;  // -1: not given
};

// Fills options.strPassword from --password-file (its first line) or
// $AFS_PASSWORD. Returns an empty text on success, else why not.
std::string ReadPassword(ScanOptions& options);

}  // namespace afs_scan
