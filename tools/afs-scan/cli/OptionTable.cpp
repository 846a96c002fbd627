#include "tools/afs-scan/cli/OptionTable.h"

#include <charconv>  // std::from_chars: ids must be whole decimal numbers
#include <climits>

#include "tools/afs-scan/store/JobHistory.h"
#include "tools/common/Cli.h"

namespace afs_scan {
namespace {

// clang-format off
const OptionSpec kOptions[] = {
    {EOption::eHelp, "help", nullptr, "this text"},
    {EOption::eVersion, "version", nullptr, "the version"},
    {EOption::eVerbose, "verbose", nullptr,
     "also print the full error chain on stderr (it always\ngoes to the log)"},
    {EOption::eQuiet, "quiet", nullptr, "no progress line and no plain-http warning"},
    {EOption::eFull, "full", nullptr, "start a new cycle with a full job"},
    {EOption::eListFull, "list-full", nullptr,
     "on a full job, also store a full listing of the\nsnapshots"},
    {EOption::eTakeOver, "take-over", nullptr,
     "a new history's first job may delete the snapshots of\nthis client and application that another "
     "history left"},
    {EOption::eJsonl, "jsonl", nullptr, "also print every item as one JSON object per line"},
    {EOption::eCsv, "csv", nullptr, "also print every item as CSV (with a header line)"},
    {EOption::eJson, "json", nullptr, "print one JSON object per line instead of the table"},
    {EOption::ePrune, "prune", nullptr, "delete the orphans (of failed or killed jobs, or\nunknown)"},
    {EOption::eDryRun, "dry-run", nullptr, "only print what would be deleted"},
    {EOption::ePassword, "password", nullptr, nullptr},
    {EOption::ePlugin, "plugin", "PATH",
     "plug-in library (default: the installed one, then the\none next to afs-scan)"},
    {EOption::eServer, "server", "ADDRESS",
     "file server: HOST, HOST:PORT or URL\n(http://HOST:PORT/api/nutanix/v3)"},
    {EOption::eUser, "user", "NAME", "user for basic authentication"},
    {EOption::ePasswordFile, "password-file", "FILE",
     "file whose first line is the password (else\n$AFS_PASSWORD; never on the command line)"},
    {EOption::eState, "state", "DIR",
     "job history, record files and default database\n(created when missing)"},
    {EOption::eDb, "db", "FILE", "SQLite scan database (default DIR/scan.db)"},
    {EOption::eSettings, "settings", "FILE", "host settings INI given to the plug-in\n(AFS_HOST_SETTINGS)"},
    {EOption::eMountTable, "mount-table", "FILE",
     "mount table to use ([Host] MountTableFile; merged with\n--settings)"},
    {EOption::eLog, "log", "FILE",
     "host and plug-in log (default: [Host] LogDir, else\nDIR/afs-scan.log)"},
    {EOption::eSummaryJson, "summary-json", "FILE", "write the job summary as JSON (- for stdout)"},
    {EOption::eCaBundle, "ca-bundle", "FILE",
     "PEM file of the CAs to trust for the server\n([RestClient] CABundle)"},
    {EOption::eHaWait, "ha-wait", "SECONDS",
     "how long to wait for an unreachable file server\n([FileSystemAgent] uHAWaitTime; default 600)"},
    {EOption::eLockWait, "lock-wait", "SECONDS",
     "wait this long for another run to free the state\nfolder (default 0: fail at once)"},
    {EOption::eScanPath, "scan-path", "PATH",
     "local path of a share to back up (repeatable, at least\none)"},
    {EOption::ePartner, "partner", "ENTRY",
     "partner-server entry to register (repeatable;\ndefault: this host's name)"},
    {EOption::eMap, "map", "LOCAL=SCAN",
     "content-mapper prefix: local directory -> scan-form\ndirectory (repeatable)"},
    {EOption::eClientId, "client-id", "N", "client id (default 0)"},
    {EOption::eAppId, "app-id", "N", "application id (default 0)"},
    {EOption::eJobId, "job-id", "N", "this job's id (default: the history's highest id + 1)"},
    {EOption::ePreviousJobId, "previous-job-id", "N",
     "reference job (default: the last successful job; 0\nmeans full)"},
    {EOption::eFullJobId, "full-job-id", "N", "the cycle's full job (default: from the history)"},
    {EOption::eSynthFullJobId, "synth-full-job-id", "N", "synthetic full job (default 0)"},
    {EOption::eMaxItems, "max-items", "N",
     "end a comparison whose difference holds more than N\nitems ([FileSystemAgent] MaxDiffItems)"},
    {EOption::eSample, "sample", "N", "only N randomly chosen directories with their subtrees"},
    {EOption::eMinAge, "min-age", "SECONDS", "keep orphans younger than this (default 3600)"},
    {EOption::eKeepLast, "keep-last", "N",
     "keep the newest N ok jobs, the failed ones after them,\nand the next job's reference and full job"},
    {EOption::eBatchRows, "batch-rows", "N",
     "rows handed to the database writer at once (default\n4096)"},
};
// clang-format on

template <typename TNumber>
bool ParseNumber(const std::string& text, TNumber& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// kMaxJobId: the next job's id is the history's highest + 1.
bool ParseJobId(const std::string& text, long long& value) {
    return ParseNumber(text, value) && value >= 0 && value <= kMaxJobId;
}

bool ParseSeconds(const std::string& text, long long& value) {
    return ParseNumber(text, value) && value >= 0 && value <= 0xFFFFFFFFLL;
}
const std::string kIdRange = " to " + std::to_string(kMaxJobId);

// These paths become values of STATE/settings.ini, where a line end would
// start a setting of the path's own making and trailing blanks are trimmed
// off.
std::string SettingsPathError(EOption eOption, const std::string& strValue) {
    if (eOption != EOption::eState && eOption != EOption::eMountTable && eOption != EOption::eCaBundle)
        return {};
    if (strValue.find_first_of("\r\n") == std::string::npos &&
        (strValue.empty() || (strValue.back() != ' ' && strValue.back() != '\t')))
        return {};
    return std::string("--") + SpecOf(eOption).pszName +
           " cannot hold a line end or end in a blank: the path goes into STATE/settings.ini";
}

std::string ApplyFlag(EOption eOption, ScanOptions& options) {
    switch (eOption) {
        case EOption::eHelp:
            options.bHelp = true;
            break;
        case EOption::eVersion:
            options.bVersion = true;
            break;
        case EOption::eVerbose:
            options.bVerbose = true;
            break;
        case EOption::eQuiet:
            options.bQuiet = true;
            break;
        case EOption::eFull:
            options.bForceFull = true;
            break;
        case EOption::eListFull:
            options.bListFull = true;
            break;
        case EOption::eTakeOver:
            options.bTakeOver = true;
            break;
        case EOption::eJsonl:
            options.bJsonLines = true;
            break;
        case EOption::eCsv:
            options.bCsv = true;
            break;
        case EOption::eJson:
            options.bJson = true;
            break;
        case EOption::ePrune:
            options.bPrune = true;
            break;
        case EOption::eDryRun:
            options.bDryRun = true;
            break;
        case EOption::ePassword:
            return "--password is not accepted: use --password-file or $AFS_PASSWORD";
        default:
            break;
    }
    return {};
}

}  // namespace

const OptionSpec* OptionSpecs(size_t& uCount) {
    uCount = sizeof(kOptions) / sizeof(kOptions[0]);
    return kOptions;
}

const OptionSpec& SpecOf(EOption eOption) { return kOptions[static_cast<size_t>(eOption)]; }

std::string ApplyOption(EOption eOption, const std::string& strValue, ScanOptions& options) {
    using afs_cli::ResolvePath;
    if (SpecOf(eOption).pszValue == nullptr) return ApplyFlag(eOption, options);
    std::string strError = SettingsPathError(eOption, strValue);
    if (!strError.empty()) return strError;
    switch (eOption) {
        case EOption::ePlugin:
            options.strPlugin = ResolvePath(strValue);
            break;
        case EOption::eServer:
            options.strServer = strValue;
            break;
        case EOption::eUser:
            options.strUser = strValue;
            break;
        case EOption::ePasswordFile:
            options.strPasswordFile = ResolvePath(strValue);
            break;
        case EOption::eState:
            options.strStateDir = ResolvePath(strValue);
            break;
        case EOption::eDb:
            options.strDb = ResolvePath(strValue);
            break;
        case EOption::eSettings:
            options.strSettingsFile = ResolvePath(strValue);
            break;
        case EOption::eMountTable:
            options.strMountTable = ResolvePath(strValue);
            break;
        case EOption::eLog:
            options.strLogFile = ResolvePath(strValue);
            break;
        case EOption::eSummaryJson:
            options.strSummaryJson = strValue == "-" ? strValue : ResolvePath(strValue);
            break;
        case EOption::eCaBundle:
            options.strCaBundle = ResolvePath(strValue);
            break;
        case EOption::eScanPath:
            options.listScanPaths.push_back(ResolvePath(strValue));
            break;
        case EOption::ePartner:
            options.listPartnerEntries.push_back(strValue);
            break;
        case EOption::eMap: {
            // The scan form is the host's naming, not a local path: it stays as written.
            const size_t uEqual = strValue.find('=');
            if (uEqual == std::string::npos || uEqual == 0 || uEqual + 1 == strValue.size() ||
                strValue[uEqual + 1] != '/') {
                return "--map needs LOCAL=SCAN, SCAN an absolute path";
            }
            options.mapContent[ResolvePath(strValue.substr(0, uEqual))] = strValue.substr(uEqual + 1);
            break;
        }
        case EOption::eHaWait:
            if (!ParseSeconds(strValue, options.llHaWaitSeconds))
                return "--ha-wait needs a number of seconds >= 0";
            break;
        case EOption::eLockWait:
            if (!ParseSeconds(strValue, options.llLockWaitSeconds))
                return "--lock-wait needs a number of seconds >= 0";
            break;
        case EOption::eClientId:
            if (!ParseNumber(strValue, options.uClientId)) return "--client-id needs an unsigned number";
            break;
        case EOption::eAppId:
            if (!ParseNumber(strValue, options.uAppId)) return "--app-id needs an unsigned number";
            break;
        case EOption::eJobId:
            if (!ParseJobId(strValue, options.llJobId) || options.llJobId == 0)
                return "--job-id needs a number from 1" + kIdRange;
            break;
        case EOption::ePreviousJobId:
            if (!ParseJobId(strValue, options.llPreviousJobId))
                return "--previous-job-id needs a number from 0" + kIdRange;
            break;
        case EOption::eFullJobId:
            if (!ParseJobId(strValue, options.llFullJobId))
                return "--full-job-id needs a number from 0" + kIdRange;
            break;
        case EOption::eSynthFullJobId:
            if (!ParseJobId(strValue, options.llSynthFullJobId))
                return "--synth-full-job-id needs a number from 0" + kIdRange;
            break;
        case EOption::eMaxItems:
            if (!ParseNumber(strValue, options.ullMaxItems) || options.ullMaxItems == 0)
                return "--max-items needs a number > 0";
            break;
        case EOption::eSample:
            if (!ParseNumber(strValue, options.llSampleDirs) || options.llSampleDirs <= 0)
                return "--sample needs a number > 0";
            break;
        case EOption::eMinAge:
            if (!ParseNumber(strValue, options.llMinAgeSeconds) || options.llMinAgeSeconds < 0)
                return "--min-age needs a number of seconds >= 0";
            break;
        case EOption::eKeepLast:
            if (!ParseNumber(strValue, options.llKeepLast) || options.llKeepLast < 1)
                return "--keep-last needs a number > 0";
            break;
        case EOption::eBatchRows:
            if (!ParseNumber(strValue, options.nBatchRows) || options.nBatchRows <= 0)
                return "--batch-rows needs a number > 0";
            break;
        default:
            break;
    }
    return {};
}

}  // namespace afs_scan
