#include "host/FXPath.h"

#include <vector>

#include "host/MntTab.h"

namespace {

std::string WithoutTrailingDelimiters(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

CRhError FXPath::Append(std::string& path, const std::string& component, int /*flags*/) {
    size_t skip = 0;
    while (skip < component.size() && component[skip] == '/') ++skip;
    // Exactly one delimiter between: a path ending in "//" must not keep both.
    while (!path.empty() && path.back() == '/') path.pop_back();
    path += '/';
    path.append(component, skip, std::string::npos);
    return CRhError::Success();
}

bool FXPath::IsAncestorOf(const std::string& base, const std::string& path, bool bIncludeSelf) {
    const std::string strBase = WithoutTrailingDelimiters(base);
    const std::string strPath = WithoutTrailingDelimiters(path);
    if (strBase.empty()) return false;
    if (strPath == strBase) return bIncludeSelf;
    if (strPath.size() <= strBase.size() || strPath.compare(0, strBase.size(), strBase) != 0) {
        return false;
    }
    return strBase == "/" || strPath[strBase.size()] == '/';
}

CRhError FXPath::RemoveTrailingDelimiter(std::string& path) {
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return CRhError::Success();
}

CRhError FXPath::ZKGetVolumeNameForVolumeMountPoint(const std::string& path, std::string& volumeName) {
    ZkMntTab mountTable;
    std::vector<ZkMntTab::Entry> listEntries;
    CRhError error = mountTable.getAll(listEntries);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    const ZkMntTab::Entry* ptrEntry = mountTable.find(listEntries, path);
    if (ptrEntry == nullptr) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "No mounted volume holds [%s]", path.c_str());
    }
    volumeName = ptrEntry->strDirectory;
    return CRhError::Success();
}
