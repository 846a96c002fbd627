#pragma once

#include <map>
#include <string>
#include <vector>

// What one afs-scan run was asked to do, as parsed from the command line and
// the environment. Job ids of -1 mean "take it from the job history".
struct ScanOptions {
    // "scan" (the default: run one backup job), "verify", "snapshots", "jobs"
    // or "forget"; named by the first argument when it is not an option.
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
    bool bVerbose = false;           // the full error chain on stderr too
    long long llHaWaitSeconds = -1;  // -1: [FileSystemAgent] uHAWaitTime
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

// Parses argv[1..] (argv[1] may name a sub-command; the options are shared
// by all of them) with getopt_long, so "--opt value" and "--opt=value" both
// work. Paths are made absolute against the current folder. Returns an
// empty text on success, else the usage error as one line. The options every
// scan job needs are checked here; a sub-command checks the ones it needs
// itself.
std::string ParseScanOptions(int argc, char** argv, ScanOptions& options);

// Fills options.strPassword from --password-file (its first line) or
// $AFS_PASSWORD. Returns an empty text on success, else why not.
std::string ReadPassword(ScanOptions& options);

// The --help text.
std::string ScanUsageText();
