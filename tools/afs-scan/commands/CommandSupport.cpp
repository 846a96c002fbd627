#include "tools/afs-scan/commands/CommandSupport.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numeric>

#include "host/ErrorCategory.h"
#include "host/LogWriter.h"
#include "tools/afs-scan/cli/ErrorHeadline.h"
#include "tools/afs-scan/scan/HostSetup.h"

namespace afs_scan {

namespace {
// Until a log is set up the host log writes to stderr, where only the one
// line is wanted.
bool g_bLogSetUp = false;

std::string UserName(uid_t uid) {
    const passwd* ptrUser = getpwuid(uid);
    return ptrUser != nullptr ? ptrUser->pw_name : "uid " + std::to_string(uid);
}

// Empty when `strFolder` is missing or safe, else the line that refuses it.
std::string FolderRefusal(const char* pszWhat, const std::string& strFolder) {
    struct stat status {};
    if (stat(strFolder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return {};
    char szMode[8];
    std::snprintf(szMode, sizeof(szMode), "%04o", static_cast<unsigned>(status.st_mode & 07777));
    const std::string strHead = std::string("refusing ") + pszWhat + " " + strFolder + " (owner " +
                                UserName(status.st_uid) + ", mode " + szMode + "): ";
    if (status.st_uid != geteuid()) {
        const std::string strMe = UserName(geteuid());
        return strHead + "it is not owned by " + strMe + ", who runs afs-scan, so another user controls " +
               "what it holds; chown " + strMe + " " + strFolder + ", or choose a folder of your own";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return strHead + "group or others may write in it; chmod go-w " + strFolder;
    return {};
}

}  // namespace

bool StateFoldersAreSafe(const ScanOptions& options) {
    std::string strWhy;
    if (!options.strStateDir.empty()) strWhy = FolderRefusal("state folder", options.strStateDir);
    if (strWhy.empty() && !options.strDb.empty()) {
        // A bare file name lies in the current folder, which must be as safe.
        const std::string strFolder = std::filesystem::path(options.strDb).parent_path().string();
        strWhy = FolderRefusal("database folder", strFolder.empty() ? "." : strFolder);
    }
    if (!strWhy.empty()) afs_cli::Say(strWhy);
    return strWhy.empty();
}

int ReportError(const CRhError& error, const ScanOptions& options) {
    if (g_bLogSetUp)
        HOST_LOG(-1, "afs-scan %s failed: %s", options.strCommand.c_str(), error.AsString().c_str());
    if (options.bVerbose) afs_cli::Say("error: " + error.AsString());
    const bool bStateLock = error.GetCode() == kStateInUseCode || error.GetCode() == kStateLockUnusableCode;
    afs_cli::Say(error.GetCode() == kStateLockUnusableCode ? error.GetMessage()
                                                           : ErrorHeadline(error, options));
    // As the headline: without --server no failure is the server's.
    if (options.strServer.empty() && !bStateLock) return kExitError;
    return ExitStatusOf(error);
}

int ExitStatusOf(const CRhError& error) {
    if (error.GetCode() == kStateInUseCode) return kExitRetryLater;
    if (error.GetCode() == kStateLockUnusableCode) return kExitUsage;
    switch (ClassifyError(error)) {
        case eCategoryUnreachable:
            return kExitRetryLater;
        case eCategoryAuthentication:
        case eCategoryCertificate:
            return kExitRefused;
        default:
            return kExitError;
    }
}

int CombinedExit(int nFirst, int nSecond) {
    return nFirst == kExitOk || nFirst == kExitRetryLater ? nSecond : nFirst;
}

CRhError AcquireStateLock(const ScanOptions& options, CStateLock& stateLock) {
    return stateLock.Acquire(
        options.strStateDir, options.llLockWaitSeconds, [&](const std::string& strHolder) {
            afs_cli::Say("state folder " + options.strStateDir +
                         " is in use by another afs-scan run (process " + strHolder + "); waiting up to " +
                         std::to_string(options.llLockWaitSeconds) + " s (--lock-wait)");
        });
}

bool ResolveTargets(const ScanOptions& options, std::vector<ScanTarget>& listTargets) {
    const std::string strError = ResolveScanTargets(options, MountTableInForce(), listTargets);
    if (!strError.empty()) afs_cli::Say(strError);
    return strError.empty();
}

CRhError LoadHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history,
                     bool bReadOnly) {
    CRhError error =
        database.Open(options.strDb.empty() ? options.strStateDir + "/scan.db" : options.strDb,
                      options.strStateDir.empty() ? "" : options.strStateDir + "/jobs.txt", bReadOnly);
    std::vector<JobRecord> listJobs;
    std::vector<ShareRecord> listShares;
    if (error.IsSuccess()) error = database.LoadJobs(listJobs);
    if (error.IsSuccess()) error = database.LoadShares(listShares);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    history.Assign(std::move(listJobs), std::move(listShares));
    if (!options.strStateDir.empty()) history.NoteJobFolders(options.strStateDir);
    return CRhError::Success();
}

CRhError OpenHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history,
                     bool bReadOnly) {
    const std::string strDb = options.strDb.empty() ? options.strStateDir + "/scan.db" : options.strDb;
    std::error_code fsError;
    if (!std::filesystem::is_regular_file(strDb, fsError)) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                     "no scan database %s: give the --state or --db of the scan jobs",
                                     strDb.c_str());
    }
    return LoadHistory(options, database, history, bReadOnly);
}

int OpenJobHistory(const ScanOptions& options, CScanDatabase& database, CJobHistory& history) {
    if (options.strStateDir.empty() && options.strDb.empty())
        return UsageError(options.strCommand + " needs --state or --db (the scan jobs' database)");
    const CRhError error =
        OpenHistory(options, database, history, options.strCommand != "forget" || options.bDryRun);
    return error.IsError() ? ReportError(error, options) : kExitOk;
}

std::string TimeText(long long llTime) {
    if (llTime == 0) return "-";
    const std::time_t time = static_cast<std::time_t>(llTime);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

long long ItemCount(const JobRecord& record) {
    return std::accumulate(record.arrCounts.begin(), record.arrCounts.end(), 0LL);
}

void WarnOfPlainHttp(const ScanOptions& options) {
    if (options.strServer.compare(0, 7, "http://") == 0 && !options.bQuiet) {
        afs_cli::Say("warning: " + options.strServer +
                     " is plain http://: the password crosses the network unencrypted; use https://");
    }
}

std::string ServerSettings(const ScanOptions& options) {
    std::string strText;
    if (options.llHaWaitSeconds >= 0)
        strText += "[FileSystemAgent]\nuHAWaitTime = " + std::to_string(options.llHaWaitSeconds) + "\n";
    if (!options.strCaBundle.empty()) strText += "[RestClient]\nCABundle = " + options.strCaBundle + "\n";
    return strText;
}

CRhError SetUpHostServices(const ScanOptions& options) {
    std::string strUsed;
    CRhError error = SetUpSettings(options.strSettingsFile, options.strMountTable, ServerSettings(options),
                                   options.strStateDir, strUsed, "settings-" + options.strCommand + ".ini");
    if (error.IsError()) return error;
    SetUpLog(options.strLogFile, options.strStateDir + "/afs-scan.log");
    g_bLogSetUp = true;
    return CRhError::Success();
}

std::string SnapshotPrefix(unsigned int uClientId, unsigned int uAppId) {
    return "zkop__" + std::to_string(uClientId) + "_" + std::to_string(uAppId) + "_";
}

}  // namespace afs_scan
