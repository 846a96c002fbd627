#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ContentMapper.h"
#include "host/NutanixAFSManagerBase.h"
#include "host/RhError.h"
#include "tools/afs-scan/cli/ScanOptions.h"
#include "tools/afs-scan/scan/JobSummary.h"
#include "tools/afs-scan/scan/PluginLoader.h"
#include "tools/afs-scan/scan/ScanItemSink.h"
#include "tools/afs-scan/scan/ScanTargets.h"
#include "tools/afs-scan/scan/ShareReference.h"
#include "tools/afs-scan/store/JobHistory.h"
#include "tools/afs-scan/store/ScanDatabase.h"
#include "tools/afs-scan/store/ScanWriter.h"

namespace afs_scan {

// Runs one backup scan job through the plug-in, in the host's order:
// Initialize, CreatePartnerServer, CreateAndMountSnap, GetSourceToLocalMap,
// OverWriteSnapDevInfo, then per share IsPreviousSnapAvailable and
// CompareSnapAndLoadItem (or a full listing of the share's snapshot when it
// has no reference snapshot), then deletes the job manager before the
// library is unloaded. The job's rows and its history record are one
// transaction of the scan database: they become visible together when the
// job ends well; a failed job leaves only its "failed" record, a killed one
// nothing but its job folder. The settings and log must be set up, and the
// state folder locked, before Run(). A share that got no snapshot is
// explained on stderr once, after the plug-in is done (CShareDiagnosis);
// when no share got one, that explanation is the summary's headline.
// Once InterruptSignal() is set, no further call goes into the plug-in.
//
// The plug-in stays loaded until this object is destroyed. Run()'s error
// may be rendered after that: a chain copies every text it holds
// (host/RhError.h), the plug-in's source locations included.
class CScanJob {
public:
    CScanJob(const ScanOptions& options, std::vector<ScanTarget> listTargets);

    // `summary` is filled whatever the outcome; the error is the failure's chain.
    CRhError Run(JobSummary& summary);

private:
    CRhError Prepare(JobSummary& summary);
    void ExplainSharesNotBackedUp(const CRhError& error, JobSummary& summary);
    CRhError DriveManager(CNutanixAFSManagerBase& manager, JobSummary& summary);
    CRhError CheckUnknownSnapshots(JobSummary& summary);
    CRhError ScanShare(CNutanixAFSManagerBase& manager, const ScanTarget& target,
                       const std::string& strSnapshot, const ShareSnapshots& now, ShareSummary& share);
    CRhError MarkShareRows(long long& llMark);
    // The share's difference when its reference can be trusted and the
    // server delivers it, else a full listing of its snapshot.
    CRhError CompareOrList(CNutanixAFSManagerBase& manager, const ScanTarget& target,
                           const std::string& strSnapshot, const ShareSnapshots& now, long long llMark,
                           ShareSummary& share);
    // Makes the share partial when the plug-in skipped items or handed over
    // items of unknown change type: their changes may be lost.
    void NoteIncompleteDifference(unsigned long long ullSkipped, ShareSummary& share);
    std::vector<ShareRecord> ShareRecords(const JobSummary& summary) const;
    std::string SnapshotName(long long llJobId) const;

    std::unique_ptr<CPluginLibrary> ptrLibrary;  // first: unloaded last
    const ScanOptions& options;
    CJobHistory history;
    JobIdentity identity;
    std::string strJobDir;
    CScanDatabase database;
    std::unique_ptr<CScanWriter> ptrWriter;  // after the database: gone first
    ContentMapperAPIPtr ptrMapper;
    std::vector<ScanTarget> listTargets;
    std::unique_ptr<CItemOutput> ptrOutput;
    boost::shared_ptr<CScanItemSink> ptrSink;
};

}  // namespace afs_scan
