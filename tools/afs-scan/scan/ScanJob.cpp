#include "tools/afs-scan/scan/ScanJob.h"

#include <unistd.h>  // gethostname

#include <boost/make_shared.hpp>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>

#include "host/LogWriter.h"
#include "tools/afs-scan/cli/ErrorHeadline.h"
#include "tools/afs-scan/cli/Interrupt.h"
#include "tools/afs-scan/commands/CommandSupport.h"
#include "tools/afs-scan/fileserver/ShareDiagnosis.h"
#include "tools/afs-scan/scan/HostSetup.h"
#include "tools/afs-scan/scan/PluginCall.h"
#include "tools/afs-scan/scan/ProgressLine.h"
#include "tools/afs-scan/scan/ShareReference.h"
#include "tools/afs-scan/scan/SnapshotListing.h"

namespace afs_scan {

namespace {

const char* const kFactoryName = "GetNutanixAFSManager";
// Batches waiting for the writer: enough to ride out a slow commit of
// SQLite's cache, few enough to keep memory small.
constexpr size_t kQueuedBatches = 4;

bool IsAtOrBelow(const std::string& strPath, const std::string& strRoot) {
    if (strPath.compare(0, strRoot.size(), strRoot) != 0) return false;
    return strPath.size() == strRoot.size() || strRoot == "/" || strPath[strRoot.size()] == '/';
}

std::list<std::string> DefaultPartnerEntries() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0 || buffer[0] == '\0') return {"localhost"};
    return {buffer};
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

CScanJob::CScanJob(const ScanOptions& optionsIn, std::vector<ScanTarget> listTargetsIn)
    : options(optionsIn), listTargets(std::move(listTargetsIn)) {}

CRhError CScanJob::Run(JobSummary& summary) {
    // A plug-in that cannot be loaded is the configuration's fault: found
    // before the job takes an id.
    FGetNutanixAFSManager factory = nullptr;
    CRhError error = LoadPlugin(PluginCandidates(options.strPlugin), ptrLibrary);
    if (error.IsSuccess()) {
        factory = ptrLibrary->ResolveFunction<FGetNutanixAFSManager>(kFactoryName);
        if (factory == nullptr) {
            error =
                FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "%s has no %s: %s", ptrLibrary->GetPath().c_str(),
                                      kFactoryName, ptrLibrary->GetError().c_str());
        }
    }
    summary.bConfigError = error.IsError();
    if (error.IsSuccess()) error = Prepare(summary);
    if (error.IsError()) {
        summary.strError = error.AsString();
        return error;
    }
    JobRecord record{identity.llJobId,
                     "ok",
                     identity.IsFull() ? "full" : "incremental",
                     options.uClientId,
                     options.uAppId,
                     identity.llPreviousJobId,
                     identity.llFullJobId,
                     std::time(nullptr)};
    {
        // Declared after the library, so deleted while its code is still loaded.
        std::unique_ptr<CNutanixAFSManagerBase> ptrManager;
        error = CallPlugin(kFactoryName, [&] {
            ptrManager.reset(factory());
            return ptrManager ? CRhError::Success()
                              : FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "the factory returned null");
        });
        if (error.IsSuccess()) error = DriveManager(*ptrManager, summary);
        CRhError deleteError = CallPlugin("deleting the job manager", [&] {
            ptrManager.reset();
            return CRhError::Success();
        });
        if (error.IsSuccess()) error = deleteError;
    }
    ExplainSharesNotBackedUp(error, summary);
    CRhError writeError = ptrWriter->Finish();
    if (error.IsSuccess()) error = writeError;
    record.llEndTime = std::time(nullptr);
    if (error.IsSuccess()) {
        record.arrCounts = ptrSink->GetJobCounts();
        error = database.FinishJob(record, ShareRecords(summary));
    }
    if (error.IsError()) {
        // The rows are gone, so the record counts none.
        record.strStatus = "failed";
        record.arrCounts = {};
        CRhError discardError = database.DiscardJob(record);
        if (discardError.IsError()) error.Push(FX_CODE_LOCATION, "%s", discardError.AsString().c_str());
    }
    // Only after the commit is it known whether the figures shown are stored.
    ptrSink->EndProgress(error.IsError());
    summary.bOk = error.IsSuccess();
    if (error.IsError()) summary.strError = error.AsString();
    return error;
}

std::vector<ShareRecord> CScanJob::ShareRecords(const JobSummary& summary) const {
    std::vector<ShareRecord> listRecords;
    for (const ShareSummary& share : summary.listShares) {
        ShareRecord record;
        record.llJobId = identity.llJobId;
        record.strMountPath = share.strMountPath;
        record.strScanPath = share.strScanPath;
        record.strShareUuid = share.strShareUuid;
        record.strSnapshotName = SnapshotName(identity.llJobId);
        record.strSnapshotUuid = share.strSnapshotUuid;
        record.strMode = ShareModeName(share.eMode);
        record.strStatus = share.bPartial ? "partial" : "ok";
        record.strReason = share.strReason;
        listRecords.push_back(std::move(record));
    }
    return listRecords;
}

std::string CScanJob::SnapshotName(long long llJobId) const {
    return SnapshotPrefix(options.uClientId, options.uAppId) + std::to_string(llJobId);
}

CRhError CScanJob::CheckUnknownSnapshots(JobSummary& summary) {
    if (options.bTakeOver || history.LastSuccessful(options.uClientId, options.uAppId) != nullptr)
        return CRhError::Success();
    // The plug-in would delete these snapshots as stale, and the history
    // that made them would then compare against a snapshot of ours.
    CFileServerSnapshots server(options);
    std::string strFound;
    std::set<std::string> setShares;
    for (const ScanTarget& target : listTargets) {
        const ShareSnapshots now = ReadShareSnapshots(server, target);
        // A share the job cannot snap either, or one met on another mount.
        if (now.error.IsError() || !setShares.insert(now.strShareUuid).second) continue;
        const std::vector<std::string> listUnknown =
            UnknownJobSnapshots(history, options.uClientId, options.uAppId,
                                SnapshotPrefix(options.uClientId, options.uAppId), now.listSnapshots);
        for (const std::string& strName : listUnknown)
            strFound += (strFound.empty() ? "" : ", ") + ShareNameOf(target.strDevice) + ":" + strName;
    }
    if (strFound.empty()) return CRhError::Success();
    summary.bConfigError = true;
    return FXErrorUtil::ErrorInt(
        FX_CODE_LOCATION, 1,
        "the file server holds snapshots of client %u and application %u that this history does not know "
        "(%s): "
        "another state folder backs up with these ids; use that --state, or other --client-id/--app-id, or "
        "--take-over to let this job delete them",
        options.uClientId, options.uAppId, strFound.c_str());
}

CRhError CScanJob::Prepare(JobSummary& summary) {
    if (!options.mapContent.empty()) ptrMapper = boost::make_shared<CPrefixContentMapper>(options.mapContent);
    // Until the job folder is made, every failure is the configuration's:
    // no job id is used and no job recorded.
    summary.bConfigError = true;
    CRhError error = LoadHistory(options, database, history);
    if (error.IsError()) return error;
    const std::string strNoNextId = options.llJobId > 0 ? std::string() : history.NextIdRefusal();
    if (!strNoNextId.empty()) return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "%s", strNoNextId.c_str());
    identity = history.Resolve(options.llJobId, options.llPreviousJobId, options.llFullJobId,
                               options.bForceFull, options.uClientId, options.uAppId);
    summary.identity = identity;
    const JobRecord* ptrPrevious = history.Find(identity.llPreviousJobId);
    if (!identity.IsFull() && (ptrPrevious == nullptr || ptrPrevious->uClientId != options.uClientId ||
                               ptrPrevious->uAppId != options.uAppId)) {
        // Its snapshot would be another history's, or no job's.
        return FXErrorUtil::ErrorInt(
            FX_CODE_LOCATION, 1,
            "previous job %lld is no job of client %u and application %u in the history of %s: give one of "
            "its jobs (afs-scan jobs), or leave --previous-job-id out",
            identity.llPreviousJobId, options.uClientId, options.uAppId, options.strStateDir.c_str());
    }
    const JobRecord* ptrFormer = history.Find(identity.llJobId);
    if (ptrFormer != nullptr && ptrFormer->strStatus == "ok") {
        // Its items may be in a host's catalog already, and later jobs rest
        // on its snapshot: a new run would rewrite, or on failure erase, them.
        return FXErrorUtil::ErrorInt(
            FX_CODE_LOCATION, 1,
            "job %lld ended ok already: a new run would rewrite what later jobs rest on; "
            "give another --job-id, or none",
            identity.llJobId);
    }
    // The chain is applied in job order: a job between the reference and a
    // later good job would rest on a snapshot that job has changed since.
    const JobRecord* ptrNewest = history.LastSuccessful(options.uClientId, options.uAppId);
    if (!identity.IsFull() && ptrNewest != nullptr && ptrNewest->llJobId > identity.llJobId) {
        return FXErrorUtil::ErrorInt(
            FX_CODE_LOCATION, 1,
            "job %lld of client %u and application %u ended ok already: an incremental job %lld would come "
            "before it in the chain; give a --job-id above %lld, or --full",
            ptrNewest->llJobId, options.uClientId, options.uAppId, identity.llJobId, ptrNewest->llJobId);
    }
    if (identity.llPreviousJobId >= identity.llJobId) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "previous job %lld is not older than job %lld",
                                     identity.llPreviousJobId, identity.llJobId);
    }
    error = CheckUnknownSnapshots(summary);
    if (error.IsError()) return error;
    strJobDir = options.strStateDir + "/job-" + std::to_string(identity.llJobId);
    std::error_code fsError;
    std::filesystem::create_directories(strJobDir, fsError);
    summary.bConfigError = false;
    if (fsError) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot create job folder %s: %s",
                                     strJobDir.c_str(), fsError.message().c_str());
    }
    error = database.BeginJob(identity.llJobId);
    if (error.IsError()) return error;
    const EItemFormat eFormat = options.bJsonLines ? eItemFormatJsonLines
                                : options.bCsv     ? eItemFormatCsv
                                                   : eItemFormatNone;
    ptrOutput.reset(new CItemOutput(eFormat, stdout));
    ptrWriter.reset(new CScanWriter(database, static_cast<size_t>(options.nBatchRows), kQueuedBatches));
    ptrSink = boost::make_shared<CScanItemSink>(*ptrWriter, *ptrOutput, identity.llJobId,
                                                CProgressLine::Wanted(options.bQuiet));
    return CRhError::Success();
}

CRhError CScanJob::DriveManager(CNutanixAFSManagerBase& manager, JobSummary& summary) {
    CRhError error = CallPlugin("Initialize", [&] {
        return manager.Initialize(strJobDir, strJobDir + "/snapinfo", strJobDir + "/snapmap",
                                  options.strServer, options.strUser, options.strPassword, identity.llJobId,
                                  identity.llPreviousJobId, identity.llFullJobId, identity.llPreviousJobId,
                                  options.llSynthFullJobId, options.uClientId, options.uAppId, ptrMapper);
    });
    if (error.IsError()) return error;

    std::list<std::string> listPartner(options.listPartnerEntries.begin(), options.listPartnerEntries.end());
    if (listPartner.empty()) listPartner = DefaultPartnerEntries();
    error = CallPlugin("CreatePartnerServer", [&] { return manager.CreatePartnerServer(listPartner); });
    if (error.IsError()) return error;

    std::list<std::string> listScanPaths;
    for (const ScanTarget& target : listTargets) listScanPaths.push_back(target.strScanPath);
    error = CallPlugin("CreateAndMountSnap", [&] { return manager.CreateAndMountSnap(listScanPaths); });
    if (error.IsError()) return error;

    std::map<std::string, std::string> mapSourceToLocal;
    error = CallPlugin("GetSourceToLocalMap", [&] {
        mapSourceToLocal = manager.GetSourceToLocalMap();
        return CRhError::Success();
    });
    if (error.IsError()) return error;

    std::map<std::string, std::string> mapScanToMount;
    if (ptrMapper) {
        for (const ScanTarget& target : listTargets) mapScanToMount[target.strScanForm] = target.strMountPath;
    }
    error = CallPlugin("OverWriteSnapDevInfo",
                       [&] { return manager.OverWriteSnapDevInfo(options.mapContent, mapScanToMount); });
    if (error.IsError()) return error;

    CFileServerSnapshots server(options);
    for (const ScanTarget& target : listTargets) {
        ShareSummary share;
        share.strMountPath = target.strMountPath;
        share.strScanPath = target.strScanForm;
        auto it = mapSourceToLocal.find(target.strMountPath);
        const std::string strSnapshot = it == mapSourceToLocal.end() ? std::string() : it->second;
        // Only a share the server offered for backup gets a snapshot under
        // the mount's .snapshot folder; the others keep a placeholder path.
        if (!IsAtOrBelow(strSnapshot, target.strMountPath + "/.snapshot") ||
            strSnapshot.size() <= target.strMountPath.size() + 11) {
            share.eMode = eShareNotBackedUp;
            summary.listShares.push_back(share);
            continue;
        }
        share.strSnapshotPath = strSnapshot;
        const ShareSnapshots now = ReadShareSnapshots(server, target);
        share.strShareUuid = now.strShareUuid;
        share.strSnapshotUuid = OnlySnapshotUuid(now.listSnapshots, SnapshotName(identity.llJobId));
        if (share.strSnapshotUuid.empty()) {
            // Without it, no later job can tell this snapshot from another of its name.
            HOST_LOG(0, "share %s: this job's snapshot cannot be identified: %s", target.strMountPath.c_str(),
                     now.error.IsError() ? now.error.GetMessage().c_str() : "none or several of its name");
        }
        error = ScanShare(manager, target, strSnapshot, now, share);
        share.bFailed = error.IsError();
        summary.listShares.push_back(share);
        if (error.IsError()) return error.Push(FX_CODE_LOCATION, "share %s", target.strMountPath.c_str());
    }
    return CRhError::Success();
}

CRhError CScanJob::ScanShare(CNutanixAFSManagerBase& manager, const ScanTarget& target,
                             const std::string& strSnapshot, const ShareSnapshots& now, ShareSummary& share) {
    const auto start = std::chrono::steady_clock::now();
    ptrSink->BeginShare(target.strScanForm);
    CRhError error;
    if (identity.IsFull()) {
        share.eMode = eShareSnapshotOnly;
        if (options.bListFull) {
            share.eMode = eShareFullListing;
            error = ListSnapshotAsAdds(strSnapshot, target.strScanForm, *ptrSink);
        }
    } else {
        long long llMark = 0;
        error = MarkShareRows(llMark);
        if (error.IsSuccess()) error = CompareOrList(manager, target, strSnapshot, now, llMark, share);
        // Each item once: a file server may list a change twice.
        if (error.IsSuccess() && ptrSink->MayHaveRepeats()) {
            ChangeCounts arrCounts{};
            error = ptrWriter->Drain();
            if (error.IsSuccess()) error = database.RemoveRepeatedRows(llMark, arrCounts);
            if (error.IsSuccess()) ptrSink->SetShareCounts(arrCounts);
        }
    }
    share.arrCounts = ptrSink->GetShareCounts();
    share.dSeconds = SecondsSince(start);
    return error;
}

CRhError CScanJob::MarkShareRows(long long& llMark) {
    CRhError error = ptrWriter->Drain();
    if (error.IsSuccess()) error = database.MarkRows(llMark);
    return error;
}

CRhError CScanJob::CompareOrList(CNutanixAFSManagerBase& manager, const ScanTarget& target,
                                 const std::string& strSnapshot, const ShareSnapshots& now, long long llMark,
                                 ShareSummary& share) {
    // Without a scan map the plug-in resolves shares by their mount path.
    const std::string strKey = ptrMapper ? target.strScanForm : target.strMountPath;
    const std::string strPreviousName = SnapshotName(identity.llPreviousJobId);
    bool bPrevious = false;
    CRhError error = CallPlugin("IsPreviousSnapAvailable", [&] {
        bPrevious = manager.IsPreviousSnapAvailable(strKey);
        return CRhError::Success();
    });
    if (error.IsError()) return error;
    std::string strWhy = bPrevious ? ReferenceDoubt(history, identity.llPreviousJobId, identity.llJobId,
                                                    target, now, strPreviousName)
                                   : "it has no reference snapshot of job " +
                                         std::to_string(identity.llPreviousJobId) + " on the file server";
    if (strWhy.empty()) {
        share.eMode = eShareDifference;
        const unsigned long long ullSkippedBefore = DifferenceItemsSkipped();
        CNutanixDBHelperPtr ptrHelper = ptrSink;
        error = CallPlugin("CompareSnapAndLoadItem",
                           [&] { return manager.CompareSnapAndLoadItem(strKey, std::string(), ptrHelper); });
        if (error.IsSuccess()) {
            NoteIncompleteDifference(DifferenceItemsSkipped() - ullSkippedBefore, share);
            return error;
        }
        // A stop the user asked for, or rows that could not be written, end
        // the job; anything the server did costs only this share's difference.
        if (InterruptSignal() != 0 || ptrWriter->HasFailed()) return error;
        HOST_LOG(-1, "share %s: the difference failed: %s", target.strMountPath.c_str(),
                 error.AsString().c_str());
        strWhy = DifferenceFailure(error);
        error = ptrWriter->Drain();
        if (error.IsSuccess()) error = database.WithdrawRows(llMark);
        if (error.IsError()) return error;
        ptrSink->ForgetShareItems();
    }
    share.eMode = eShareFullListing;
    CProgressLine::Say("share " + target.strMountPath + ": " + strWhy + "; listing its whole snapshot " +
                       strSnapshot + " instead");
    return ListSnapshotAsAdds(strSnapshot, target.strScanForm, *ptrSink);
}

void CScanJob::NoteIncompleteDifference(unsigned long long ullSkipped, ShareSummary& share) {
    const long long llOther = ptrSink->GetShareCounts()[eNutanixAFSChangeOther];
    if (ullSkipped > 0)
        share.strReason = std::to_string(ullSkipped) + " items of its difference were skipped";
    if (llOther > 0) {
        share.strReason += std::string(share.strReason.empty() ? "" : ", ") + std::to_string(llOther) +
                           " items of its difference have an unknown change type";
    }
    share.bPartial = !share.strReason.empty();
}

void CScanJob::ExplainSharesNotBackedUp(const CRhError& error, JobSummary& summary) {
    // The plug-in's own words when it found nothing to back up.
    const bool bNothing =
        error.IsError() &&
        error.AsString().find("Nothing to be back-up since all volumes are not CFT_BACKUP marked") !=
            std::string::npos;
    CShareDiagnosis diagnosis(options, options.strStateDir);
    for (const ScanTarget& target : listTargets) {
        bool bExplain = bNothing;
        for (const ShareSummary& share : summary.listShares)
            bExplain =
                bExplain || (share.strMountPath == target.strMountPath && share.eMode == eShareNotBackedUp);
        if (!bExplain || InterruptSignal() != 0) continue;
        const std::string strWhy = diagnosis.Explain(target);
        if (bNothing && summary.strHeadline.empty())
            summary.strHeadline = strWhy;
        else
            CProgressLine::Say(strWhy);
    }
}

}  // namespace afs_scan
