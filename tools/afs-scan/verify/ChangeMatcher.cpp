#include "tools/afs-scan/verify/ChangeMatcher.h"

#include "tools/afs-scan/verify/ReportedItems.h"

namespace afs_scan {

namespace {

bool ReadsNewer(NutanixAFSChangeType eType) {
    return eType == eNutanixAFSChangeAdd || eType == eNutanixAFSChangeModify ||
           eType == eNutanixAFSChangeRename;
}

// A path a difference can name: not the share root ("."), nothing in its
// .snapshot folder (never compared), no empty, "." or ".." part (which would
// also lead a look-up out of the snapshot).
bool NamesAnEntry(const std::string& strPath) {
    if (strPath == ".snapshot" || strPath.compare(0, 10, ".snapshot/") == 0) return false;
    for (size_t uStart = 0;;) {
        const size_t uEnd = strPath.find('/', uStart);
        const std::string strPart = strPath.substr(uStart, uEnd - uStart);
        if (strPart.empty() || strPart == "." || strPart == "..") return false;
        if (uEnd == std::string::npos) return true;
        uStart = uEnd + 1;
    }
}

}  // namespace

const char* FindingKindName(EFindingKind eKind) {
    switch (eKind) {
        case eFindingMissing:
            return "missing";
        case eFindingWrong:
            return "wrong";
        case eFindingExtra:
            break;
    }
    return "extra";
}

CChangeMatcher::CChangeMatcher(FLookUpPath fnLookUpIn)
    : fnLookUp(std::move(fnLookUpIn)), ptrReported(new CReportedItems) {}

CChangeMatcher::~CChangeMatcher() = default;

const CRhError& CChangeMatcher::GetError() const { return ptrReported->GetError(); }

bool CChangeMatcher::Contradicted(const ShareChange& item) const {
    const bool bRename = item.eType == eNutanixAFSChangeRename;
    // A RENAME without its old path is judged by its new path alone.
    const bool bHasOldSide = item.eType == eNutanixAFSChangeDelete || (bRename && !item.strOldPath.empty());
    const std::string& strGone = bRename ? item.strOldPath : item.strPath;
    if (!NamesAnEntry(item.strPath) || (bHasOldSide && !NamesAnEntry(strGone))) return true;
    if (ReadsNewer(item.eType)) {
        const PathState there = fnLookUp(item.strPath, true);
        if (!there.bExists || there.bIsDirectory != item.bIsDirectory) return true;
    }
    if (!bHasOldSide) return false;
    const PathState before = fnLookUp(strGone, false);
    if (before.bExists && before.bIsDirectory != item.bIsDirectory) return true;
    const PathState after = fnLookUp(strGone, true);
    return after.bExists && (!before.bExists || (before.ullInode == after.ullInode &&
                                                 before.bIsDirectory == after.bIsDirectory));
}

void CChangeMatcher::AddReported(const ShareChange& item) {
    ++uReported;
    if (Contradicted(item)) {
        listContradicted.push_back(item);
    } else {
        ptrReported->Add(item);
    }
}

bool CChangeMatcher::CoverNewSide(const std::string& strPath) {
    const long long llId = ptrReported->FindNewSide(strPath);
    if (llId != 0) ptrReported->MarkUsed(llId);
    return llId != 0;
}

bool CChangeMatcher::CoverOldSide(const std::string& strPath) {
    const long long llId = ptrReported->FindOldSide(strPath);
    if (llId != 0) {
        ptrReported->MarkUsed(llId);
        return true;
    }
    // A directory deleted or renamed away takes everything below it along.
    for (size_t uSlash = strPath.rfind('/'); uSlash != std::string::npos && uSlash > 0;
         uSlash = strPath.rfind('/', uSlash - 1)) {
        if (ptrReported->FindOldSide(strPath.substr(0, uSlash)) != 0) return true;
    }
    return false;
}

bool CChangeMatcher::RenamedAlongWithParent(const std::string& strPath, const std::string& strOldPath) {
    std::string strRenamedTo;
    for (size_t uSlash = strPath.rfind('/'); uSlash != std::string::npos && uSlash > 0;
         uSlash = strPath.rfind('/', uSlash - 1)) {
        const size_t uTail = strPath.size() - uSlash;  // "/rest"
        if (strOldPath.size() <= uTail ||
            strOldPath.compare(strOldPath.size() - uTail, uTail, strPath, uSlash, uTail) != 0)
            return false;
        if (ptrReported->FindRenameFrom(strOldPath.substr(0, strOldPath.size() - uTail), strRenamedTo) != 0 &&
            strRenamedTo.compare(0, std::string::npos, strPath, 0, uSlash) == 0)
            return true;
    }
    return false;
}

bool CChangeMatcher::AddTrue(const ShareChange& change) {
    bool bCovered = false;
    switch (change.eType) {
        case eNutanixAFSChangeDelete:
            bCovered = CoverOldSide(change.strPath);
            break;
        case eNutanixAFSChangeRename: {
            std::string strRenamedTo;
            const long long llExact = ptrReported->FindRenameFrom(change.strOldPath, strRenamedTo);
            if (llExact != 0 && strRenamedTo == change.strPath) {
                ptrReported->MarkUsed(llExact);
                bCovered = true;
                break;
            }
            const bool bNewSide =
                CoverNewSide(change.strPath) ||
                (!change.bContentChanged && RenamedAlongWithParent(change.strPath, change.strOldPath));
            bCovered = CoverOldSide(change.strOldPath) && bNewSide;
            break;
        }
        default:
            bCovered = CoverNewSide(change.strPath);
            break;
    }
    if (!bCovered) listFindings.push_back({eFindingMissing, change});
    return bCovered;
}

void CChangeMatcher::FinishUnused(const std::function<bool(const ShareChange&)>& fnInScope) {
    for (const ShareChange& item : listContradicted) {
        if (fnInScope(item)) listFindings.push_back({eFindingWrong, item});
    }
    ptrReported->ForEachUnused([&](const ShareChange& item) {
        if (!fnInScope(item)) return;
        // Not contradicted, so a path still there was replaced: its DELETE
        // is needed even when the true change is a MODIFY.
        if (item.eType == eNutanixAFSChangeDelete && fnLookUp(item.strPath, true).bExists) return;
        listFindings.push_back({eFindingExtra, item});
    });
}

}  // namespace afs_scan
