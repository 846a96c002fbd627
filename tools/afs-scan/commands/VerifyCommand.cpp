#include "tools/afs-scan/commands/CommandTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <set>

#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/scan/ItemOutput.h"
#include "tools/afs-scan/scan/ProgressLine.h"
#include "tools/afs-scan/scan/ScanTargets.h"
#include "tools/afs-scan/verify/ChangeMatcher.h"
#include "tools/afs-scan/verify/PendingChanges.h"
#include "tools/afs-scan/verify/TreeDiff.h"

namespace afs_scan {

namespace {

// What the tree at `strRoot` holds at the share-relative `strPath`.
PathState LookUp(const std::string& strRoot, const std::string& strPath) {
    PathState state;
    struct stat attributes;
    if (lstat((strRoot + "/" + strPath).c_str(), &attributes) != 0) return state;
    state.bExists = true;
    state.bIsDirectory = S_ISDIR(attributes.st_mode);
    state.ullInode = attributes.st_ino;
    return state;
}

// A snapshot folder verify can read: a directory, not a link to one (what a
// link points to is not the snapshot the job took).
CRhError CheckSnapshotFolder(const std::string& strFolder) {
    struct stat attributes;
    const bool bThere = lstat(strFolder.c_str(), &attributes) == 0;
    if (bThere && S_ISLNK(attributes.st_mode)) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                     "snapshot folder %s is a symbolic link: verify reads the job's own "
                                     "snapshot, never what a link points to",
                                     strFolder.c_str());
    }
    if (!bThere || !S_ISDIR(attributes.st_mode)) {
        return FXErrorUtil::ErrorInt(
            FX_CODE_LOCATION, 1,
            "snapshot folder %s is gone: only the last job of a cycle can be verified, "
            "while its snapshot and its reference's are kept",
            strFolder.c_str());
    }
    return CRhError::Success();
}

// What the two trees show of one share, and what the job reported for it.
struct ShareCheck {
    ScanTarget target;
    std::string strOlder;  // the snapshot folders of the reference job and of the job
    std::string strNewer;
    CRhError error;  // a snapshot folder that cannot be read: the share is not verified
    CChangeMatcher matcher;
    size_t uTrueChanges = 0;
    ShareCheck(const ScanTarget& targetIn, const std::string& strPrefix, const JobRecord& job)
        : target(targetIn),
          strOlder(strPrefix + std::to_string(job.llPreviousJobId)),
          strNewer(strPrefix + std::to_string(job.llJobId)),
          matcher([this](const std::string& strPath, bool bNewer) {
              return LookUp(bNewer ? strNewer : strOlder, strPath);
          }) {
        error = CheckSnapshotFolder(strOlder);
        if (error.IsSuccess()) error = CheckSnapshotFolder(strNewer);
    }
};

bool IsAtOrBelow(const std::string& strPath, const std::string& strRoot) {
    if (strRoot.empty()) return true;
    return strPath.compare(0, strRoot.size(), strRoot) == 0 &&
           (strPath.size() == strRoot.size() || strPath[strRoot.size()] == '/');
}

// `strPath` relative to `strRoot` ("." for the root itself); false when it
// is neither the root nor below it.
bool Relative(const std::string& strPath, const std::string& strRoot, std::string& strRelative) {
    if (!IsAtOrBelow(strPath, strRoot)) return false;
    strRelative = strPath.size() <= strRoot.size() + 1 ? "." : strPath.substr(strRoot.size() + 1);
    return true;
}

// A share-relative path as the job named it.
std::string Named(const std::string& strRoot, const std::string& strRelative) {
    return strRelative == "." ? strRoot : strRoot + "/" + strRelative;
}

const JobRecord* PickJob(const ScanOptions& options, const CJobHistory& history, CRhError& error) {
    const JobRecord* ptrJob = nullptr;
    if (options.llJobId > 0) {
        ptrJob = history.Find(options.llJobId);
    } else {
        for (const JobRecord& record : history.GetJobs()) {
            if (record.strKind == "incremental" && record.strStatus == "ok" &&
                record.uClientId == options.uClientId && record.uAppId == options.uAppId)
                ptrJob = &record;
        }
    }
    if (ptrJob == nullptr) {
        error = options.llJobId > 0
                    ? FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "job %lld is not in the job history",
                                            options.llJobId)
                    : FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                            "no incremental job of client %u, application %u ended ok: give "
                                            "the jobs' --client-id and --app-id, or --job-id",
                                            options.uClientId, options.uAppId);
    } else if (ptrJob->strKind != "incremental" || ptrJob->strStatus != "ok") {
        error =
            FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                  "job %lld is a %s job that ended %s: only an incremental job that ended ok "
                                  "has a difference to verify",
                                  ptrJob->llJobId, ptrJob->strKind.c_str(), ptrJob->strStatus.c_str());
        ptrJob = nullptr;
    }
    return ptrJob;
}

// N directories of the newer tree, each reached by a random walk down from
// the root that stops at each level with the chance of one in (subfolders + 1);
// one directory of the tree is read per level. A directory below another
// chosen one is dropped: the other's subtree holds it. The choice ends after
// 4 N walks, or after kFruitlessWalks in a row that found no new directory:
// a sample larger than the tree must not walk it a billion times.
constexpr long long kFruitlessWalks = 64;
CRhError PickSample(const std::string& strRoot, long long llCount, std::vector<std::string>& listDirs) {
    std::mt19937_64 random(std::random_device{}());
    std::set<std::string> setChosen;
    const long long llWalks = llCount > LLONG_MAX / 4 ? LLONG_MAX : llCount * 4;
    for (long long i = 0, llFruitless = 0;
         i < llWalks && llFruitless < kFruitlessWalks && static_cast<long long>(setChosen.size()) < llCount;
         ++i) {
        std::string strDir;
        for (std::vector<std::string> listSubdirs;;) {
            CRhError error = ListSubdirectories(strRoot, strDir, listSubdirs);
            if (error.IsError()) return error;
            const size_t uPick = std::uniform_int_distribution<size_t>(0, listSubdirs.size())(random);
            if (uPick == listSubdirs.size()) break;
            strDir = listSubdirs[uPick];
        }
        llFruitless = setChosen.insert(strDir).second ? 0 : llFruitless + 1;
    }
    listDirs.clear();
    for (const std::string& strDir : setChosen) {
        if (listDirs.empty() || !IsAtOrBelow(strDir, listDirs.back())) listDirs.push_back(strDir);
    }
    return CRhError::Success();
}

// Walks the share's two snapshots (or a sample of --sample
// directories of them) and matches the true changes against the job's items.
CRhError CheckShare(const ScanOptions& options, ShareCheck& share, std::vector<std::string>& listDirs) {
    const std::string& strOlder = share.strOlder;
    const std::string& strNewer = share.strNewer;
    listDirs = {""};
    if (options.llSampleDirs > 0) {
        CRhError error = PickSample(strNewer, options.llSampleDirs, listDirs);
        if (error.IsError()) return error;
    }
    CPendingChanges pending;
    CTreeDiff diff(
        strOlder, strNewer, [&](ETreeChange eChange, const TreeEntry* ptrOlder, const TreeEntry* ptrNewer) {
            if (eChange == eTreeModified) {
                ++share.uTrueChanges;
                share.matcher.AddTrue(
                    {eNutanixAFSChangeModify, ptrNewer->strPath, "", ptrNewer->bIsDirectory, false});
            } else {
                pending.Note(eChange, ptrOlder ? *ptrOlder : *ptrNewer);
            }
            return CRhError::Success();
        });
    // As scan's: cut to the width, and ended before an error is told.
    std::atomic<uint64_t> uCompared{0};
    std::unique_ptr<CProgressLine> ptrProgress;
    if (CProgressLine::Wanted(options.bQuiet)) {
        ptrProgress = std::make_unique<CProgressLine>([&uCompared, &share] {
            return "verify: share " + share.target.strMountPath + ": " + std::to_string(uCompared.load()) +
                   " entries compared";
        });
        diff.SetProgress([&uCompared](uint64_t uEntries) { uCompared = uEntries; });
    }
    for (const std::string& strDir : listDirs) {
        CRhError error = diff.Compare(strDir);
        if (error.IsError()) {
            if (ptrProgress) ptrProgress->Finish(true);
            return error;
        }
    }
    if (ptrProgress) ptrProgress->Finish(false);
    CRhError error = pending.Resolve([&](const ShareChange& change) {
        ++share.uTrueChanges;
        share.matcher.AddTrue(change);
    });
    if (error.IsError()) return error;
    share.matcher.FinishUnused([&](const ShareChange& item) {
        for (const std::string& strDir : listDirs) {
            if (!strDir.empty() && item.strPath == strDir) continue;
            if (IsAtOrBelow(item.strPath, strDir) ||
                (item.eType == eNutanixAFSChangeRename && IsAtOrBelow(item.strOldPath, strDir)))
                return true;
        }
        return false;
    });
    return share.matcher.GetError();
}

void PrintFinding(const ShareCheck& share, const Finding& finding, bool bJsonLines) {
    const std::string& strRoot = share.target.strScanForm;
    const std::string strPath = Named(strRoot, finding.change.strPath);
    const std::string strOldPath =
        finding.change.strOldPath.empty() ? "" : Named(strRoot, finding.change.strOldPath);
    const char* pszType = ChangeTypeName(finding.change.eType);
    if (!bJsonLines) {
        std::printf("%s %s %s%s%s\n", FindingKindName(finding.eKind), pszType, strPath.c_str(),
                    strOldPath.empty() ? "" : " <- ", strOldPath.c_str());
        return;
    }
    std::printf(
        "{\"share\":\"%s\"%s,\"finding\":\"%s\",\"change_type\":\"%s\",\"is_dir\":%s,\"path\":\"%s\"%s,"
        "\"old_path\":\"%s\"%s}\n",
        CItemOutput::JsonEscape(share.target.strMountPath).c_str(),
        CItemOutput::ExactBytes("share", share.target.strMountPath).c_str(), FindingKindName(finding.eKind),
        pszType, finding.change.bIsDirectory ? "true" : "false", CItemOutput::JsonEscape(strPath).c_str(),
        CItemOutput::ExactBytes("path", strPath).c_str(), CItemOutput::JsonEscape(strOldPath).c_str(),
        CItemOutput::ExactBytes("old_path", strOldPath).c_str());
}

}  // namespace

int RunVerifyCommand(ScanOptions& options) {
    if (options.strStateDir.empty()) return UsageError("verify needs --state (the scan jobs' state folder)");
    if (options.listScanPaths.empty()) return UsageError("verify needs the jobs' --scan-path");
    CRhError error = SetUpHostServices(options);
    CScanDatabase database;
    CJobHistory history;
    if (error.IsSuccess()) error = OpenHistory(options, database, history, true);
    const JobRecord* ptrJob = error.IsSuccess() ? PickJob(options, history, error) : nullptr;
    std::vector<ScanTarget> listTargets;
    if (error.IsError()) return ReportError(error, options);
    if (!ResolveTargets(options, listTargets)) return kExitUsage;

    std::FILE* ptrSummary = options.bJsonLines ? stderr : stdout;
    std::vector<std::unique_ptr<ShareCheck>> listShares;
    const std::string strSnapshots = "/.snapshot/" + SnapshotPrefix(ptrJob->uClientId, ptrJob->uAppId);
    for (ScanTarget& target : listTargets) {
        // The job's own naming of the share, whatever --map this run was given.
        const ShareRecord* ptrRecord = history.FindShare(ptrJob->llJobId, target.strMountPath);
        if (ptrRecord != nullptr) target.strScanForm = ptrRecord->strScanPath;
        if (ptrRecord != nullptr && ptrRecord->strMode != "snapshot difference") {
            std::fprintf(ptrSummary,
                         "share %s: job %lld stored no difference of it (%s): nothing to verify\n",
                         target.strMountPath.c_str(), ptrJob->llJobId, ptrRecord->strMode.c_str());
            continue;
        }
        listShares.emplace_back(new ShareCheck(target, target.strMountPath + strSnapshots, *ptrJob));
    }
    size_t uJobItems = 0;
    error = database.ForEachItem(ptrJob->llJobId, [&](const ScanItem& item) {
        ++uJobItems;
        for (auto& ptrShare : listShares) {
            ShareChange change{item.eChangeType, "", "", item.bIsDirectory, false};
            if (!Relative(item.strPath, ptrShare->target.strScanForm, change.strPath)) continue;
            if (item.eChangeType == eNutanixAFSChangeRename)
                Relative(item.strOldPath, ptrShare->target.strScanForm, change.strOldPath);
            if (ptrShare->error.IsSuccess()) ptrShare->matcher.AddReported(change);
            break;
        }
        return CRhError::Success();
    });
    if (error.IsError()) return ReportError(error, options);

    int nFailed = kExitOk;
    bool bMissing = false;
    for (auto& ptrShare : listShares) {
        if (ptrShare->error.IsSuccess() && ptrShare->matcher.ReportedCount() == 0 && uJobItems > 0) {
            std::fprintf(stderr,
                         "afs-scan: warning: none of job %lld's %zu items lies below %s; give the --map the "
                         "job ran with\n",
                         ptrJob->llJobId, uJobItems, ptrShare->target.strScanForm.c_str());
        }
        std::vector<std::string> listDirs;
        error = ptrShare->error.IsError() ? ptrShare->error : CheckShare(options, *ptrShare, listDirs);
        if (error.IsError()) {
            std::fprintf(ptrSummary, "share %s: not verified\n", ptrShare->target.strMountPath.c_str());
            nFailed = CombinedExit(nFailed, ReportError(error.Push(FX_CODE_LOCATION, "share %s",
                                                                   ptrShare->target.strMountPath.c_str()),
                                                        options));
            continue;
        }
        size_t arrCounts[3] = {0, 0, 0};
        for (const Finding& finding : ptrShare->matcher.GetFindings()) {
            ++arrCounts[finding.eKind];
            PrintFinding(*ptrShare, finding, options.bJsonLines);
        }
        bMissing = bMissing || arrCounts[eFindingMissing] + arrCounts[eFindingWrong] > 0;
        std::string strSample;
        if (options.llSampleDirs > 0)
            strSample = "; sample of " + std::to_string(listDirs.size()) + " directories with their subtrees";
        std::fflush(stdout);
        std::fprintf(ptrSummary,
                     "share %s: job %lld against job %lld: %zu changes, %zu items; missing %zu, wrong %zu, "
                     "extra %zu%s\n",
                     ptrShare->target.strMountPath.c_str(), ptrJob->llJobId, ptrJob->llPreviousJobId,
                     ptrShare->uTrueChanges, ptrShare->matcher.ReportedCount(), arrCounts[eFindingMissing],
                     arrCounts[eFindingWrong], arrCounts[eFindingExtra], strSample.c_str());
    }
    std::fflush(stdout);
    return nFailed != kExitOk ? nFailed : bMissing ? kExitMissing : kExitOk;
}

}  // namespace afs_scan
