#include "tools/afs-sim/DiffEngine.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace afs_sim {
namespace {

bool PathMatches(const std::string& strPath, const std::string& strPrefix) {
    size_t uStart = 0;
    while (uStart < strPrefix.size() && strPrefix[uStart] == '/') ++uStart;
    size_t uEnd = strPrefix.size();
    while (uEnd > uStart && strPrefix[uEnd - 1] == '/') --uEnd;
    if (uEnd == uStart) return true;
    std::string_view prefix(strPrefix.data() + uStart, uEnd - uStart);
    if (strPath.compare(0, prefix.size(), prefix) != 0) return false;
    return strPath.size() == prefix.size() || strPath[prefix.size()] == '/';
}

bool Keep(const DiffObject& object, const DiffFilter& filter) {
    if (filter.bOnlyType && object.entry.eType != filter.eType) return false;
    return PathMatches(object.entry.strPath, filter.strPathPrefix) ||
           (object.eOperation == EOperation::eRename && PathMatches(object.strOldPath, filter.strPathPrefix));
}

}  // namespace

std::vector<DiffObject> ComputeDifference(const Manifest& older, const Manifest& newer,
                                          const DiffFilter& filter) {
    std::vector<bool> listOlderUsed(older.size(), false);
    std::vector<bool> listNewerUsed(newer.size(), false);
    std::vector<DiffObject> listChanges;

    // Both manifests are sorted by path: walk them side by side.
    size_t o = 0;
    size_t n = 0;
    while (o < older.size() && n < newer.size()) {
        int nCompare = older[o].strPath.compare(newer[n].strPath);
        if (nCompare < 0) {
            ++o;
            continue;
        }
        if (nCompare > 0) {
            ++n;
            continue;
        }
        const ManifestEntry& before = older[o];
        const ManifestEntry& after = newer[n];
        if (before.eType == after.eType) {
            listOlderUsed[o] = true;
            listNewerUsed[n] = true;
            if (before.uInode != after.uInode || before.llSize != after.llSize ||
                before.llModifyNs != after.llModifyNs || before.llChangeNs != after.llChangeNs) {
                listChanges.push_back({EOperation::eModify, after, {}});
            }
        }
        ++o;
        ++n;
    }

    std::unordered_multimap<uint64_t, size_t> mapOlderByInode;
    for (size_t i = 0; i < older.size(); ++i) {
        if (!listOlderUsed[i]) mapOlderByInode.emplace(older[i].uInode, i);
    }
    for (size_t i = 0; i < newer.size(); ++i) {
        if (listNewerUsed[i]) continue;
        auto range = mapOlderByInode.equal_range(newer[i].uInode);
        for (auto it = range.first; it != range.second; ++it) {
            const ManifestEntry& before = older[it->second];
            if (before.eType != newer[i].eType) continue;
            if (before.bBirthTime && newer[i].bBirthTime && before.llCreateNs != newer[i].llCreateNs)
                continue;
            listOlderUsed[it->second] = true;
            listNewerUsed[i] = true;
            listChanges.push_back({EOperation::eRename, newer[i], older[it->second].strPath});
            mapOlderByInode.erase(it);
            break;
        }
        if (!listNewerUsed[i]) listChanges.push_back({EOperation::eAdd, newer[i], {}});
    }

    std::vector<DiffObject> listResult;
    for (size_t i = 0; i < older.size(); ++i) {
        if (listOlderUsed[i]) continue;
        DiffObject object{EOperation::eDelete, older[i], {}};
        if (Keep(object, filter)) listResult.push_back(std::move(object));
    }
    std::stable_sort(listChanges.begin(), listChanges.end(), [](const DiffObject& a, const DiffObject& b) {
        return a.entry.strPath < b.entry.strPath;
    });
    for (DiffObject& object : listChanges) {
        if (Keep(object, filter)) listResult.push_back(std::move(object));
    }
    return listResult;
}

void LeaveOutChanges(std::vector<DiffObject>& listObjects, uint64_t uDropObject, bool bRenameWithoutOldPath,
                     bool bOmitNewChildren) {
    std::unordered_set<std::string> setAddedDirectories;
    for (const DiffObject& object : listObjects) {
        if (object.eOperation == EOperation::eAdd && object.entry.eType == EObjectType::eDirectory)
            setAddedDirectories.insert(object.entry.strPath);
    }
    std::vector<DiffObject> listKept;
    for (size_t i = 0; i < listObjects.size(); ++i) {
        DiffObject& object = listObjects[i];
        const size_t uSlash = object.entry.strPath.rfind('/');
        if (i + 1 == uDropObject ||
            (bOmitNewChildren && object.eOperation == EOperation::eAdd && uSlash != std::string::npos &&
             setAddedDirectories.count(object.entry.strPath.substr(0, uSlash)) > 0)) {
            continue;
        }
        if (bRenameWithoutOldPath) object.strOldPath.clear();
        listKept.push_back(std::move(object));
    }
    listObjects.swap(listKept);
}

void AddOddObjects(std::vector<DiffObject>& listObjects, uint64_t uOddPaths) {
    if (uOddPaths == 4) {
        DiffObject root{EOperation::eModify, {}, {}};
        root.entry.eType = EObjectType::eDirectory;
        auto it = std::find_if(listObjects.begin(), listObjects.end(), [](const DiffObject& object) {
            return object.eOperation != EOperation::eDelete;
        });
        listObjects.insert(it, root);
    } else if (uOddPaths == 5) {
        std::vector<DiffObject> listTwice;
        for (const DiffObject& object : listObjects) listTwice.insert(listTwice.end(), 2, object);
        listObjects.swap(listTwice);
    } else if (uOddPaths == 6) {
        // Names no file system here holds: one the page writer turns into a
        // lone surrogate escape, and 86 CJK characters (258 bytes).
        DiffObject unreadable{EOperation::eAdd, {}, {}};
        unreadable.entry.strPath = kLoneSurrogateMark;
        DiffObject longName = unreadable;
        longName.entry.strPath.clear();
        for (int i = 0; i < 86; ++i) longName.entry.strPath += "\xe4\xb8\xad";
        listObjects.push_back(unreadable);
        listObjects.push_back(longName);
    }
}

}  // namespace afs_sim
