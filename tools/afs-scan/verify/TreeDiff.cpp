#include "tools/afs-scan/verify/TreeDiff.h"

#include <dirent.h>    // readdir: one directory at a time, no recursion state
#include <sys/stat.h>  // lstat: links are compared, not followed

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/common/Handles.h"

namespace afs_scan {

namespace {

std::string Join(const std::string& strDirectory, const std::string& strName) {
    return strDirectory.empty() ? strName : strDirectory + "/" + strName;
}

// The sorted entries of one directory; a directory that does not exist is
// empty when bMayBeMissing.
CRhError ReadEntries(const std::string& strRoot, const std::string& strRelative, bool bMayBeMissing,
                     std::vector<TreeEntry>& listEntries) {
    listEntries.clear();
    const std::string strDirectory = strRelative.empty() ? strRoot : strRoot + "/" + strRelative;
    afs_cli::UniqueDirectory ptrDir(opendir(strDirectory.c_str()));
    if (!ptrDir) {
        if (bMayBeMissing && errno == ENOENT) return CRhError::Success();
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "cannot list %s: %s", strDirectory.c_str(),
                                     std::strerror(errno));
    }
    errno = 0;
    while (const dirent* ptrEntry = readdir(ptrDir.get())) {
        const std::string strName = ptrEntry->d_name;
        if (strName == "." || strName == ".." || (strRelative.empty() && strName == ".snapshot")) continue;
        TreeEntry entry;
        entry.strPath = Join(strRelative, strName);
        struct stat attributes;
        const std::string strFull = strDirectory + "/" + strName;
        if (lstat(strFull.c_str(), &attributes) != 0) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "cannot read %s: %s", strFull.c_str(),
                                         std::strerror(errno));
        }
        entry.uType = attributes.st_mode & S_IFMT;
        entry.bIsDirectory = S_ISDIR(attributes.st_mode);
        entry.ullInode = attributes.st_ino;
        entry.llSize = attributes.st_size;
        entry.llMTimeNs = attributes.st_mtim.tv_sec * 1000000000LL + attributes.st_mtim.tv_nsec;
        entry.llCTimeNs = attributes.st_ctim.tv_sec * 1000000000LL + attributes.st_ctim.tv_nsec;
        listEntries.push_back(std::move(entry));
        errno = 0;
    }
    if (errno != 0) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, errno, "cannot list %s: %s", strDirectory.c_str(),
                                     std::strerror(errno));
    }
    std::sort(listEntries.begin(), listEntries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.strPath < b.strPath; });
    return CRhError::Success();
}

bool Differs(const TreeEntry& older, const TreeEntry& newer) {
    if (older.bIsDirectory) return older.llMTimeNs != newer.llMTimeNs;
    return older.ullInode != newer.ullInode || older.llSize != newer.llSize ||
           older.llMTimeNs != newer.llMTimeNs || older.llCTimeNs != newer.llCTimeNs;
}

}  // namespace

CRhError ListSubdirectories(const std::string& strRoot, const std::string& strRelative,
                            std::vector<std::string>& listPaths) {
    std::vector<TreeEntry> listEntries;
    CRhError error = ReadEntries(strRoot, strRelative, false, listEntries);
    listPaths.clear();
    for (const TreeEntry& entry : listEntries) {
        if (entry.bIsDirectory) listPaths.push_back(entry.strPath);
    }
    return error;
}

CTreeDiff::CTreeDiff(std::string strOlderRootIn, std::string strNewerRootIn, FTreeChange fnChangeIn)
    : strOlderRoot(std::move(strOlderRootIn)),
      strNewerRoot(std::move(strNewerRootIn)),
      fnChange(std::move(fnChangeIn)) {}

CRhError CTreeDiff::Compare(const std::string& strRelative) {
    return CompareDirectory(strRelative, true, true);
}

void CTreeDiff::Count() {
    if (++uEntriesSeen % 4096 == 0 && fnProgress) fnProgress(uEntriesSeen);
}

// bOlder / bNewer: whether the directory is looked for in that tree at all.
CRhError CTreeDiff::CompareDirectory(const std::string& strRelative, bool bOlder, bool bNewer) {
    std::vector<TreeEntry> listOlder;
    std::vector<TreeEntry> listNewer;
    CRhError error;
    if (bOlder) error = ReadEntries(strOlderRoot, strRelative, true, listOlder);
    if (error.IsSuccess() && bNewer) error = ReadEntries(strNewerRoot, strRelative, true, listNewer);
    size_t o = 0;
    size_t n = 0;
    while (error.IsSuccess() && (o < listOlder.size() || n < listNewer.size())) {
        const int nCompare = o == listOlder.size()   ? 1
                             : n == listNewer.size() ? -1
                                                     : listOlder[o].strPath.compare(listNewer[n].strPath);
        const TreeEntry* ptrOlder = nCompare <= 0 ? &listOlder[o++] : nullptr;
        const TreeEntry* ptrNewer = nCompare >= 0 ? &listNewer[n++] : nullptr;
        if (ptrOlder) Count();
        if (ptrNewer) Count();
        if (ptrOlder && ptrNewer && ptrOlder->uType == ptrNewer->uType) {
            if (Differs(*ptrOlder, *ptrNewer)) error = fnChange(eTreeModified, ptrOlder, ptrNewer);
            if (error.IsSuccess() && ptrOlder->bIsDirectory)
                error = CompareDirectory(ptrOlder->strPath, true, true);
            continue;
        }
        if (ptrOlder) {
            error = fnChange(eTreeOnlyOlder, ptrOlder, nullptr);
            if (error.IsSuccess() && ptrOlder->bIsDirectory)
                error = CompareDirectory(ptrOlder->strPath, true, false);
        }
        if (error.IsSuccess() && ptrNewer) {
            error = fnChange(eTreeOnlyNewer, nullptr, ptrNewer);
            if (error.IsSuccess() && ptrNewer->bIsDirectory)
                error = CompareDirectory(ptrNewer->strPath, false, true);
        }
    }
    return error;
}

}  // namespace afs_scan
