#include "tools/afs-scan/ScanOptions.h"

#include <getopt.h>

#include <charconv>  // std::from_chars: ids must be whole decimal numbers
#include <cstdlib>
#include <vector>

#include "tools/common/Cli.h"

namespace {

template <typename TNumber>
bool ParseNumber(const std::string& text, TNumber& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseJobId(const std::string& text, long long& value) { return ParseNumber(text, value) && value >= 0; }

// getopt_long's value of each long option; flags first, then those with a value.
enum EOption {
    eHelp = 'h',
    eVersion = 256,
    eVerbose,
    eFull,
    eListFull,
    eTakeOver,
    eJsonl,
    eCsv,
    ePrune,
    eDryRun,
    ePassword,
    ePlugin,
    eServer,
    eUser,
    ePasswordFile,
    eState,
    eDb,
    eSettings,
    eMountTable,
    eLog,
    eSummaryJson,
    eCaBundle,
    eHaWait,
    eScanPath,
    ePartner,
    eMap,
    eClientId,
    eAppId,
    eJobId,
    ePreviousJobId,
    eFullJobId,
    eSynthFullJobId,
    eMaxItems,
    eSample,
    eMinAge,
    eKeepLast,
    eBatchRows,
};

const option kOptions[] = {
    {"help", no_argument, nullptr, eHelp},
    {"version", no_argument, nullptr, eVersion},
    {"verbose", no_argument, nullptr, eVerbose},
    {"full", no_argument, nullptr, eFull},
    {"list-full", no_argument, nullptr, eListFull},
    {"take-over", no_argument, nullptr, eTakeOver},
    {"jsonl", no_argument, nullptr, eJsonl},
    {"csv", no_argument, nullptr, eCsv},
    {"prune", no_argument, nullptr, ePrune},
    {"dry-run", no_argument, nullptr, eDryRun},
    {"password", optional_argument, nullptr, ePassword},
    {"plugin", required_argument, nullptr, ePlugin},
    {"server", required_argument, nullptr, eServer},
    {"user", required_argument, nullptr, eUser},
    {"password-file", required_argument, nullptr, ePasswordFile},
    {"state", required_argument, nullptr, eState},
    {"db", required_argument, nullptr, eDb},
    {"settings", required_argument, nullptr, eSettings},
    {"mount-table", required_argument, nullptr, eMountTable},
    {"log", required_argument, nullptr, eLog},
    {"summary-json", required_argument, nullptr, eSummaryJson},
    {"ca-bundle", required_argument, nullptr, eCaBundle},
    {"ha-wait", required_argument, nullptr, eHaWait},
    {"scan-path", required_argument, nullptr, eScanPath},
    {"partner", required_argument, nullptr, ePartner},
    {"map", required_argument, nullptr, eMap},
    {"client-id", required_argument, nullptr, eClientId},
    {"app-id", required_argument, nullptr, eAppId},
    {"job-id", required_argument, nullptr, eJobId},
    {"previous-job-id", required_argument, nullptr, ePreviousJobId},
    {"full-job-id", required_argument, nullptr, eFullJobId},
    {"synth-full-job-id", required_argument, nullptr, eSynthFullJobId},
    {"max-items", required_argument, nullptr, eMaxItems},
    {"sample", required_argument, nullptr, eSample},
    {"min-age", required_argument, nullptr, eMinAge},
    {"keep-last", required_argument, nullptr, eKeepLast},
    {"batch-rows", required_argument, nullptr, eBatchRows},
    {nullptr, 0, nullptr, 0},
};

// The option as the user wrote it, without "=value".
std::string OptionWord(const char* pszArg) {
    const std::string strArg = pszArg;
    return strArg.substr(0, strArg.find('='));
}

// One option with a value; an empty text when it was accepted.
std::string TakeValue(int nOption, const std::string& strValue, ScanOptions& options) {
    using afs_cli::ResolvePath;
    // These paths become values of STATE/settings.ini, where a line end
    // would start a setting of the path's own making and trailing blanks are
    // trimmed off.
    const bool bSettingsPath = nOption == eState || nOption == eMountTable || nOption == eCaBundle;
    if (bSettingsPath && (strValue.find_first_of("\r\n") != std::string::npos ||
                          (!strValue.empty() && (strValue.back() == ' ' || strValue.back() == '\t')))) {
        const char* pszOption = nOption == eState        ? "--state"
                                : nOption == eMountTable ? "--mount-table"
                                                         : "--ca-bundle";
        return std::string(pszOption) +
               " cannot hold a line end or end in a blank: the path goes into STATE/settings.ini";
    }
    switch (nOption) {
        case ePlugin:
            options.strPlugin = ResolvePath(strValue);
            break;
        case eServer:
            options.strServer = strValue;
            break;
        case eUser:
            options.strUser = strValue;
            break;
        case ePasswordFile:
            options.strPasswordFile = ResolvePath(strValue);
            break;
        case eState:
            options.strStateDir = ResolvePath(strValue);
            break;
        case eDb:
            options.strDb = ResolvePath(strValue);
            break;
        case eSettings:
            options.strSettingsFile = ResolvePath(strValue);
            break;
        case eMountTable:
            options.strMountTable = ResolvePath(strValue);
            break;
        case eLog:
            options.strLogFile = ResolvePath(strValue);
            break;
        case eSummaryJson:
            options.strSummaryJson = strValue == "-" ? strValue : ResolvePath(strValue);
            break;
        case eCaBundle:
            options.strCaBundle = ResolvePath(strValue);
            break;
        case eScanPath:
            if (strValue.empty()) return "--scan-path needs a path";
            options.listScanPaths.push_back(ResolvePath(strValue));
            break;
        case ePartner:
            options.listPartnerEntries.push_back(strValue);
            break;
        case eMap: {
            // The scan form is the host's naming, not a local path: it stays as written.
            const size_t uEqual = strValue.find('=');
            if (uEqual == std::string::npos || uEqual == 0 || uEqual + 1 == strValue.size() ||
                strValue[uEqual + 1] != '/') {
                return "--map needs LOCAL=SCAN, SCAN an absolute path";
            }
            options.mapContent[ResolvePath(strValue.substr(0, uEqual))] = strValue.substr(uEqual + 1);
            break;
        }
        case eHaWait:
            if (!ParseNumber(strValue, options.llHaWaitSeconds) || options.llHaWaitSeconds < 0 ||
                options.llHaWaitSeconds > 0xFFFFFFFFLL)
                return "--ha-wait needs a number of seconds >= 0";
            break;
        case eClientId:
            if (!ParseNumber(strValue, options.uClientId)) return "--client-id needs an unsigned number";
            break;
        case eAppId:
            if (!ParseNumber(strValue, options.uAppId)) return "--app-id needs an unsigned number";
            break;
        case eJobId:
            if (!ParseJobId(strValue, options.llJobId) || options.llJobId == 0)
                return "--job-id needs a number > 0";
            break;
        case ePreviousJobId:
            if (!ParseJobId(strValue, options.llPreviousJobId))
                return "--previous-job-id needs a number >= 0";
            break;
        case eFullJobId:
            if (!ParseJobId(strValue, options.llFullJobId)) return "--full-job-id needs a number >= 0";
            break;
        case eSynthFullJobId:
            if (!ParseJobId(strValue, options.llSynthFullJobId))
                return "--synth-full-job-id needs a number >= 0";
            break;
        case eMaxItems:
            if (!ParseNumber(strValue, options.ullMaxItems) || options.ullMaxItems == 0)
                return "--max-items needs a number > 0";
            break;
        case eSample:
            if (!ParseNumber(strValue, options.llSampleDirs) || options.llSampleDirs <= 0)
                return "--sample needs a number > 0";
            break;
        case eMinAge:
            if (!ParseNumber(strValue, options.llMinAgeSeconds) || options.llMinAgeSeconds < 0)
                return "--min-age needs a number of seconds >= 0";
            break;
        case eKeepLast:
            if (!ParseNumber(strValue, options.llKeepLast) || options.llKeepLast < 1)
                return "--keep-last needs a number > 0";
            break;
        case eBatchRows:
            if (!ParseNumber(strValue, options.nBatchRows) || options.nBatchRows <= 0)
                return "--batch-rows needs a number > 0";
            break;
    }
    return {};
}

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
           "  --password-file FILE    file whose first line is the password (else $AFS_PASSWORD; never on\n"
           "                          the command line)\n"
           "  --ca-bundle FILE        PEM file of the CAs to trust for the server ([RestClient] CABundle)\n"
           "  --ha-wait SECONDS       how long to wait for an unreachable file server\n"
           "                          ([FileSystemAgent] uHAWaitTime for this run; default 600)\n"
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
           "  --take-over             a new history's first job may delete the snapshots of this\n"
           "                          client and application that another history left\n"
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
           "  --csv                   also print every item as CSV (with a header line) on stdout\n"
           "  --summary-json FILE     write the job summary as JSON (- for stdout)\n"
           "  --verbose               also print the full error chain on stderr (it always goes to the log)\n"
           "  --help                  this text\n"
           "  --version               the version\n"
           "Commands (the first argument; without one, a scan job runs):\n"
           "  verify                  compare the last incremental job (or --job-id) with the true "
           "difference\n"
           "                          of its snapshots, read under each --scan-path share's .snapshot "
           "folder\n"
           "  snapshots               this client's and application's snapshots of the --scan-path shares,\n"
           "                          with their jobs and states\n"
           "  jobs                    the job history\n"
           "  forget                  remove older jobs from the scan database\n"
           "  --sample N              verify: only N randomly chosen directories with their subtrees\n"
           "  --prune                 snapshots: delete the orphans (of failed or killed jobs, or unknown)\n"
           "  --dry-run               snapshots --prune, forget: only print what would be deleted\n"
           "  --min-age SECONDS       snapshots --prune: keep orphans younger than this (default 3600)\n"
           "  --keep-last N           forget: keep the newest N ok jobs, the failed ones after them, and "
           "the\n"
           "                          next job's reference and full job\n"
           "\n"
           "An option's value is the next argument or follows '=' (--state DIR, --state=DIR); relative\n"
           "paths are resolved against the current folder.\n"
           "\n"
           "Exit status: 0 success; 1 the job failed; 2 usage or configuration error (no job was run);\n"
           "3 partial: the job ended but a requested share was not backed up, or its difference\n"
           "skipped items (verify: a change is missing); 130 or 143 interrupted by SIGINT or SIGTERM (the "
           "job is recorded as failed and\n"
           "stores nothing).\n";
}

std::string ParseScanOptions(int argc, char** argv, ScanOptions& options) {
    int nFirst = 1;
    if (argc > 1 && argv[1][0] != '-') {
        options.strCommand = argv[1];
        if (options.strCommand != "verify" && options.strCommand != "snapshots" &&
            options.strCommand != "jobs" && options.strCommand != "forget") {
            return "unknown command '" + options.strCommand + "'";
        }
        nFirst = 2;
    }
    // getopt_long keeps its place in globals: start afresh, quietly (the
    // messages are ours), and never permute past a sub-command word.
    optind = 0;
    opterr = 0;
    std::vector<char*> listArgs{argv[0]};
    listArgs.insert(listArgs.end(), argv + nFirst, argv + argc);
    listArgs.push_back(nullptr);
    const int nArgs = static_cast<int>(listArgs.size()) - 1;
    for (int nOption; (nOption = getopt_long(nArgs, listArgs.data(), ":h", kOptions, nullptr)) != -1;) {
        const std::string strWord = OptionWord(listArgs[optind - 1]);
        switch (nOption) {
            case '?':
                if (optopt >= eVersion) return "option '" + strWord + "' takes no value";
                return "unknown option '" +
                       (optopt != 0 ? "-" + std::string(1, static_cast<char>(optopt)) : strWord) + "'";
            case ':':
                return "option '" + strWord + "' requires a value";
            case eHelp:
                options.bHelp = true;
                return {};
            case eVersion:
                options.bVersion = true;
                return {};
            case eVerbose:
                options.bVerbose = true;
                break;
            case eFull:
                options.bForceFull = true;
                break;
            case eListFull:
                options.bListFull = true;
                break;
            case eTakeOver:
                options.bTakeOver = true;
                break;
            case eJsonl:
                options.bJsonLines = true;
                break;
            case eCsv:
                options.bCsv = true;
                break;
            case ePrune:
                options.bPrune = true;
                break;
            case eDryRun:
                options.bDryRun = true;
                break;
            case ePassword:
                return "--password is not accepted: use --password-file or $AFS_PASSWORD";
            default: {
                std::string strError = TakeValue(nOption, optarg, options);
                if (!strError.empty()) return strError;
            }
        }
    }
    if (optind < nArgs) return "unexpected argument '" + std::string(listArgs[optind]) + "'";
    // Any other command would act for real.
    if (options.bDryRun && options.strCommand != "snapshots" && options.strCommand != "forget")
        return "--dry-run goes with snapshots --prune or forget";
    if (options.strCommand != "scan") return {};
    if (options.strServer.empty()) return "--server is required";
    if (options.strUser.empty()) return "--user is required";
    if (options.strStateDir.empty()) return "--state is required";
    if (options.listScanPaths.empty()) return "at least one --scan-path is required";
    if (options.bJsonLines && options.bCsv) return "--jsonl and --csv exclude each other";
    return {};
}

std::string ReadPassword(ScanOptions& options) {
    if (!options.strPasswordFile.empty())
        return afs_cli::ReadPasswordFile(options.strPasswordFile, options.strPassword);
    const char* pszPassword = std::getenv("AFS_PASSWORD");
    if (pszPassword == nullptr || *pszPassword == '\0')
        return "no password: give --password-file FILE or set AFS_PASSWORD";
    options.strPassword = pszPassword;
    return {};
}
