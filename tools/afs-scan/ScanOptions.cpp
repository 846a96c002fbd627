#include "tools/afs-scan/ScanOptions.h"

#include <charconv>  // std::from_chars: ids must be whole decimal numbers
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

template <typename TNumber>
bool ParseNumber(const std::string& text, TNumber& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseJobId(const std::string& text, long long& value) { return ParseNumber(text, value) && value >= 0; }

}  // namespace

std::string ScanUsageText() {
    return "usage: afs-scan --server ADDRESS --user NAME --state DIR --scan-path PATH [options]\n"
           "       afs-scan verify|snapshots|jobs|forget [options]\n"
           "Runs one backup scan job through libNutanixAFSManager.so and stores the changed items\n"
           "in a SQLite scan database.\n"
           "\n"
           "Connection:\n"
           "  --server ADDRESS        file server: HOST, HOST:PORT or URL (http://HOST:PORT/api/nutanix/v3)\n"
           "  --user NAME             user for basic authentication\n"
           "  --password-file FILE    file holding the password (else $AFS_PASSWORD; never on the command "
           "line)\n"
           "Content:\n"
           "  --scan-path PATH        local path of a share to back up (repeatable, at least one)\n"
           "  --map LOCAL=SCAN        content-mapper prefix: local directory -> scan-form directory "
           "(repeatable)\n"
           "  --partner ENTRY         partner-server entry to register (repeatable; default: this host's "
           "name)\n"
           "Job:\n"
           "  --state DIR             job history, record files and default database (created when missing)\n"
           "  --client-id N           client id (default 0)\n"
           "  --app-id N              application id (default 0)\n"
           "  --full                  start a new cycle with a full job\n"
           "  --job-id N              this job's id (default: the history's highest id + 1)\n"
           "  --previous-job-id N     reference job (default: the last successful job; 0 means full)\n"
           "  --full-job-id N         the cycle's full job (default: from the history)\n"
           "  --synth-full-job-id N   synthetic full job (default 0)\n"
           "  --list-full             on a full job, also store a full listing of the snapshots\n"
           "Settings:\n"
           "  --plugin PATH           plug-in library (default: the installed one, then next to afs-scan)\n"
           "  --settings FILE         host settings INI given to the plug-in (AFS_HOST_SETTINGS)\n"
           "  --mount-table FILE      mount table to use ([Host] MountTableFile; merged with --settings)\n"
           "  --log FILE              host and plug-in log (default: [Host] LogDir, else DIR/afs-scan.log)\n"
           "Output:\n"
           "  --db FILE               SQLite scan database (default DIR/scan.db)\n"
           "  --batch-rows N          rows handed to the database writer at once (default 4096)\n"
           "  --max-items N           end a comparison whose difference holds more than N items\n"
           "                          ([FileSystemAgent] MaxDiffItems for this run)\n"
           "  --jsonl                 also print every item as one JSON object per line on stdout\n"
           "  --csv                   also print every item as CSV on stdout\n"
           "  --summary-json FILE     write the job summary as JSON\n"
           "  --help                  this text\n"
           "  --version               the version\n"
           "Commands (the first argument; without one, a scan job runs):\n"
           "  verify                  compare the last incremental job (or --job-id) with the true difference\n"
           "                          of its snapshots, read under each --scan-path share's .snapshot folder\n"
           "  snapshots               this client's and application's snapshots of the --scan-path shares,\n"
           "                          with their jobs and states\n"
           "  jobs                    the job history\n"
           "  forget                  remove older jobs from the scan database\n"
           "  --sample N              verify: only N randomly chosen directories with their subtrees\n"
           "  --prune                 snapshots: delete the orphans (of failed or killed jobs, or unknown)\n"
           "  --dry-run               snapshots --prune: only print what would be deleted\n"
           "  --min-age SECONDS       snapshots --prune: keep orphans younger than this (default 3600)\n"
           "  --keep-last N           forget: keep the newest N jobs (and the next job's reference and full job)\n"
           "\n"
           "Exit status: 0 success, 1 job failed, 2 usage error; verify: 3 a change is missing.\n";
}

std::string ParseScanOptions(int argc, char** argv, ScanOptions& options) {
    int iFirst = 1;
    if (argc > 1 && argv[1][0] != '-') {
        options.strCommand = argv[1];
        if (options.strCommand != "verify" && options.strCommand != "snapshots" && options.strCommand != "jobs" &&
            options.strCommand != "forget") {
            return "unknown command '" + options.strCommand + "'";
        }
        iFirst = 2;
    }
    for (int i = iFirst; i < argc; ++i) {
        const std::string strArg = argv[i];
        if (strArg == "--help" || strArg == "-h") {
            options.bHelp = true;
            return {};
        }
        if (strArg == "--version") {
            options.bVersion = true;
            return {};
        }
        if (strArg == "--full") {
            options.bForceFull = true;
            continue;
        }
        if (strArg == "--list-full") {
            options.bListFull = true;
            continue;
        }
        if (strArg == "--jsonl") {
            options.bJsonLines = true;
            continue;
        }
        if (strArg == "--csv") {
            options.bCsv = true;
            continue;
        }
        if (strArg == "--prune") {
            options.bPrune = true;
            continue;
        }
        if (strArg == "--dry-run") {
            options.bDryRun = true;
            continue;
        }
        if (strArg == "--password") return "--password is not accepted: use --password-file or $AFS_PASSWORD";
        if (i + 1 >= argc) return strArg + " needs a value (or is unknown)";
        const std::string strValue = argv[++i];
        if (strArg == "--plugin")
            options.strPlugin = strValue;
        else if (strArg == "--server")
            options.strServer = strValue;
        else if (strArg == "--user")
            options.strUser = strValue;
        else if (strArg == "--password-file")
            options.strPasswordFile = strValue;
        else if (strArg == "--state")
            options.strStateDir = strValue;
        else if (strArg == "--db")
            options.strDb = strValue;
        else if (strArg == "--settings")
            options.strSettingsFile = strValue;
        else if (strArg == "--mount-table")
            options.strMountTable = strValue;
        else if (strArg == "--log")
            options.strLogFile = strValue;
        else if (strArg == "--summary-json")
            options.strSummaryJson = strValue;
        else if (strArg == "--scan-path") {
            if (strValue.empty() || strValue[0] != '/') return "--scan-path needs an absolute path";
            options.listScanPaths.push_back(strValue);
        } else if (strArg == "--partner")
            options.listPartnerEntries.push_back(strValue);
        else if (strArg == "--map") {
            const size_t uEqual = strValue.find('=');
            if (uEqual == std::string::npos || uEqual == 0 || uEqual + 1 == strValue.size() ||
                strValue[0] != '/' || strValue[uEqual + 1] != '/') {
                return "--map needs LOCAL=SCAN with two absolute paths";
            }
            options.mapContent[strValue.substr(0, uEqual)] = strValue.substr(uEqual + 1);
        } else if (strArg == "--client-id") {
            if (!ParseNumber(strValue, options.uClientId)) return "--client-id needs an unsigned number";
        } else if (strArg == "--app-id") {
            if (!ParseNumber(strValue, options.uAppId)) return "--app-id needs an unsigned number";
        } else if (strArg == "--job-id") {
            if (!ParseJobId(strValue, options.llJobId) || options.llJobId == 0)
                return "--job-id needs a number > 0";
        } else if (strArg == "--previous-job-id") {
            if (!ParseJobId(strValue, options.llPreviousJobId))
                return "--previous-job-id needs a number >= 0";
        } else if (strArg == "--full-job-id") {
            if (!ParseJobId(strValue, options.llFullJobId)) return "--full-job-id needs a number >= 0";
        } else if (strArg == "--synth-full-job-id") {
            if (!ParseJobId(strValue, options.llSynthFullJobId))
                return "--synth-full-job-id needs a number >= 0";
        } else if (strArg == "--max-items") {
            if (!ParseNumber(strValue, options.ullMaxItems) || options.ullMaxItems == 0) {
                return "--max-items needs a number > 0";
            }
        } else if (strArg == "--sample") {
            if (!ParseNumber(strValue, options.llSampleDirs) || options.llSampleDirs <= 0)
                return "--sample needs a number > 0";
        } else if (strArg == "--min-age") {
            if (!ParseNumber(strValue, options.llMinAgeSeconds) || options.llMinAgeSeconds < 0)
                return "--min-age needs a number of seconds >= 0";
        } else if (strArg == "--keep-last") {
            if (!ParseNumber(strValue, options.llKeepLast) || options.llKeepLast < 1)
                return "--keep-last needs a number > 0";
        } else if (strArg == "--batch-rows") {
            if (!ParseNumber(strValue, options.nBatchRows) || options.nBatchRows <= 0) {
                return "--batch-rows needs a number > 0";
            }
        } else {
            return "unknown option " + strArg;
        }
    }
    if (options.strCommand != "scan") return {};
    if (options.strServer.empty()) return "--server is required";
    if (options.strUser.empty()) return "--user is required";
    if (options.strStateDir.empty()) return "--state is required";
    if (options.listScanPaths.empty()) return "at least one --scan-path is required";
    if (options.bJsonLines && options.bCsv) return "--jsonl and --csv exclude each other";
    return {};
}

std::string ReadPassword(ScanOptions& options) {
    if (!options.strPasswordFile.empty()) {
        std::ifstream in(options.strPasswordFile, std::ios::binary);
        if (!in) return "cannot read password file " + options.strPasswordFile;
        std::ostringstream text;
        text << in.rdbuf();
        options.strPassword = text.str();
        if (!options.strPassword.empty() && options.strPassword.back() == '\n')
            options.strPassword.pop_back();
        if (!options.strPassword.empty() && options.strPassword.back() == '\r')
            options.strPassword.pop_back();
        return {};
    }
    const char* pszPassword = std::getenv("AFS_PASSWORD");
    if (pszPassword == nullptr) return "no password: give --password-file FILE or set AFS_PASSWORD";
    options.strPassword = pszPassword;
    return {};
}
