#include "tools/afs-scan/scan/JobSummary.h"

#include <sstream>

#include "host/PrivateFile.h"

#include "tools/afs-scan/scan/ItemOutput.h"
#include "tools/common/Handles.h"

namespace afs_scan {

namespace {

const NutanixAFSChangeType kTypesInOrder[] = {eNutanixAFSChangeAdd, eNutanixAFSChangeModify,
                                              eNutanixAFSChangeRename, eNutanixAFSChangeDelete,
                                              eNutanixAFSChangeOther};

long long Total(const ChangeCounts& arrCounts) {
    long long llTotal = 0;
    for (long long llCount : arrCounts) llTotal += llCount;
    return llTotal;
}

std::string Quoted(const std::string& text) { return "\"" + CItemOutput::JsonEscape(text) + "\""; }

}  // namespace

const char* ShareModeName(EShareMode eMode) {
    switch (eMode) {
        case eShareDifference:
            return "snapshot difference";
        case eShareFullListing:
            return "full listing";
        case eShareSnapshotOnly:
            return "snapshot only";
        case eShareNotBackedUp:
            return "not backed up";
    }
    return "unknown";
}

void PrintShareSummaries(const JobSummary& summary, std::FILE* ptrStream) {
    for (const ShareSummary& share : summary.listShares) {
        std::fprintf(ptrStream, "share %s: %s", share.strMountPath.c_str(), ShareModeName(share.eMode));
        if (share.eMode == eShareNotBackedUp) {
            std::fputc('\n', ptrStream);
            continue;
        }
        if (share.eMode == eShareSnapshotOnly) {
            const std::string& strPath = share.strSnapshotPath;
            std::fprintf(ptrStream, ": took %s at %s\n", strPath.substr(strPath.rfind('/') + 1).c_str(),
                         strPath.c_str());
            continue;
        }
        if (!summary.bOk) {
            const long long llItems = Total(share.arrCounts);
            std::fprintf(ptrStream,
                         share.bFailed ? ": failed after %lld items (nothing stored)\n"
                                       : ": %lld items, nothing stored: the job failed\n",
                         llItems);
            continue;
        }
        const char* pszSeparator = ": ";
        for (NutanixAFSChangeType eType : kTypesInOrder) {
            std::fprintf(ptrStream, "%s%s %lld", pszSeparator, ChangeTypeName(eType), share.arrCounts[eType]);
            pszSeparator = ", ";
        }
        const long long llTotal = Total(share.arrCounts);
        std::fprintf(ptrStream, "; %.3f s, %.0f items/s\n", share.dSeconds,
                     share.dSeconds > 0 ? static_cast<double>(llTotal) / share.dSeconds : 0.0);
        if (share.bPartial) {
            std::fprintf(ptrStream, "share %s: partial: %s; the next job lists it in full\n",
                         share.strMountPath.c_str(), share.strReason.c_str());
        }
    }
}

bool WriteSummaryJson(const JobSummary& summary, const std::string& strFile) {
    std::ostringstream out;
    out << "{\"job_id\":" << summary.identity.llJobId << ",\"kind\":\""
        << (summary.identity.IsFull() ? "full" : "incremental")
        << "\",\"previous_job_id\":" << summary.identity.llPreviousJobId
        << ",\"full_job_id\":" << summary.identity.llFullJobId << ",\"status\":\""
        << (summary.bOk ? "ok" : "failed") << "\",\"error\":" << Quoted(summary.strError) << ",\"shares\":[";
    bool bFirst = true;
    for (const ShareSummary& share : summary.listShares) {
        out << (bFirst ? "" : ",") << "{\"mount_path\":" << Quoted(share.strMountPath)
            << ",\"scan_path\":" << Quoted(share.strScanPath)
            << ",\"snapshot_path\":" << Quoted(share.strSnapshotPath)
            << ",\"mode\":" << Quoted(ShareModeName(share.eMode)) << ",\"status\":"
            << Quoted(share.bFailed    ? "failed"
                      : share.bPartial ? "partial"
                                       : "ok")
            << ",\"reason\":" << Quoted(share.strReason) << ",\"items\":" << Total(share.arrCounts)
            << ",\"seconds\":" << share.dSeconds;
        for (NutanixAFSChangeType eType : kTypesInOrder) {
            out << ",\"" << ChangeTypeName(eType) << "\":" << share.arrCounts[eType];
        }
        out << "}";
        bFirst = false;
    }
    out << "]}\n";
    const std::string text = out.str();
    if (strFile == "-")
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    std::string why;
    afs_cli::UniqueStream ptrFile(afs_private_file::OpenStream(strFile, "w", why));
    const bool bWritten = ptrFile && std::fwrite(text.data(), 1, text.size(), ptrFile.get()) == text.size();
    return afs_cli::CloseChecked(ptrFile) && bWritten;
}

}  // namespace afs_scan
