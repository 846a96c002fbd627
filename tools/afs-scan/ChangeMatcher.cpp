#include "tools/afs-scan/ChangeMatcher.h"

#include "tools/afs-scan/ReportedItems.h"

namespace {

bool ReadsNewer(NutanixAFSChangeType eType) {
    return eType == eNutanixAFSChangeAdd || eType == eNutanixAFSChangeModify ||
           eType == eNutanixAFSChangeRename;
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

size_t CChangeMatcher::ReportedCount() const { return ptrReported->Count(); }

const CRhError& CChangeMatcher::GetError() const { return ptrReported->GetError(); }

void CChangeMatcher::AddReported(const ShareChange& item) { ptrReported->Add(item); }

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
    ptrReported->ForEachUnused([&](const ShareChange& item) {
        if (!fnInScope(item)) return;
        bool bWrong = false;
        if (item.eType == eNutanixAFSChangeDelete) {
            bWrong = fnLookUp(item.strPath, true).bExists;
        } else if (ReadsNewer(item.eType)) {
            bWrong = !fnLookUp(item.strPath, true).bExists;
        }
        listFindings.push_back({bWrong ? eFindingWrong : eFindingExtra, item});
    });
}
