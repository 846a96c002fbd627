#include "tools/afs-scan/ChangeMatcher.h"

namespace {

bool ReadsNewer(NutanixAFSChangeType eType) {
    return eType == eNutanixAFSChangeAdd || eType == eNutanixAFSChangeModify || eType == eNutanixAFSChangeRename;
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

CChangeMatcher::CChangeMatcher(std::function<bool(const std::string&)> fnExistsInNewerIn)
    : fnExistsInNewer(std::move(fnExistsInNewerIn)) {}

void CChangeMatcher::AddReported(const ShareChange& item) {
    const size_t uIndex = listReported.size();
    listReported.push_back(item);
    listUsed.push_back(false);
    if (item.eType == eNutanixAFSChangeDelete) {
        mapByOldPath.emplace(item.strPath, uIndex);
        return;
    }
    mapByPath.emplace(item.strPath, uIndex);
    if (item.eType == eNutanixAFSChangeRename) mapByOldPath.emplace(item.strOldPath, uIndex);
}

bool CChangeMatcher::CoverNewSide(const std::string& strPath) {
    auto range = mapByPath.equal_range(strPath);
    for (auto it = range.first; it != range.second; ++it) {
        if (!ReadsNewer(listReported[it->second].eType)) continue;
        listUsed[it->second] = true;
        return true;
    }
    return false;
}

size_t CChangeMatcher::FindRenameFrom(const std::string& strOldPath) const {
    auto range = mapByOldPath.equal_range(strOldPath);
    for (auto it = range.first; it != range.second; ++it) {
        if (listReported[it->second].eType == eNutanixAFSChangeRename) return it->second;
    }
    return std::string::npos;
}

bool CChangeMatcher::CoverOldSide(const std::string& strPath) {
    auto range = mapByOldPath.equal_range(strPath);
    if (range.first != range.second) {
        listUsed[range.first->second] = true;
        return true;
    }
    // A directory deleted or renamed away takes everything below it along.
    for (size_t uSlash = strPath.rfind('/'); uSlash != std::string::npos && uSlash > 0;
         uSlash = strPath.rfind('/', uSlash - 1)) {
        if (mapByOldPath.count(strPath.substr(0, uSlash)) > 0) return true;
    }
    return false;
}

bool CChangeMatcher::RenamedAlongWithParent(const std::string& strPath, const std::string& strOldPath) const {
    for (size_t uSlash = strPath.rfind('/'); uSlash != std::string::npos && uSlash > 0;
         uSlash = strPath.rfind('/', uSlash - 1)) {
        const size_t uTail = strPath.size() - uSlash;  // "/rest"
        if (strOldPath.size() <= uTail || strOldPath.compare(strOldPath.size() - uTail, uTail, strPath, uSlash, uTail) != 0)
            return false;
        const size_t uRename = FindRenameFrom(strOldPath.substr(0, strOldPath.size() - uTail));
        if (uRename != std::string::npos && listReported[uRename].strPath.compare(0, std::string::npos, strPath, 0, uSlash) == 0)
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
            const size_t uExact = FindRenameFrom(change.strOldPath);
            if (uExact != std::string::npos && listReported[uExact].strPath == change.strPath) {
                listUsed[uExact] = true;
                bCovered = true;
                break;
            }
            const bool bNewSide = CoverNewSide(change.strPath) ||
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
    for (size_t i = 0; i < listReported.size(); ++i) {
        const ShareChange& item = listReported[i];
        if (listUsed[i] || !fnInScope(item)) continue;
        bool bWrong = false;
        if (item.eType == eNutanixAFSChangeDelete) {
            bWrong = fnExistsInNewer(item.strPath);
        } else if (ReadsNewer(item.eType)) {
            bWrong = !fnExistsInNewer(item.strPath);
        }
        listFindings.push_back({bWrong ? eFindingWrong : eFindingExtra, item});
    }
}
