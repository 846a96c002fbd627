#include "tools/afs-scan/scan/PluginLoader.h"

#include <unistd.h>  // readlink: the folder of the running program

#include <climits>
#include <filesystem>

namespace afs_scan {

namespace {

const char* const kPluginFile = "libNutanixAFSManager.so";

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t nLength = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (nLength <= 0) return ".";
    std::string strPath(buffer, static_cast<size_t>(nLength));
    const size_t uSlash = strPath.rfind('/');
    return uSlash == std::string::npos || uSlash == 0 ? "/" : strPath.substr(0, uSlash);
}

}  // namespace

std::vector<std::string> PluginCandidates(const std::string& strExplicit) {
    if (!strExplicit.empty()) return {strExplicit};
    const std::string strFolder = ProgramFolder();
    // Relative to the program, so an installed tree still works after it was moved.
    const std::string strInstalled =
        (std::filesystem::path(strFolder) / AFS_SCAN_PLUGIN_DIR / kPluginFile).lexically_normal().string();
    const std::string strBeside = strFolder + "/" + kPluginFile;
    std::vector<std::string> listCandidates{strInstalled};
    if (strInstalled != strBeside) listCandidates.push_back(strBeside);
    // Run from its build tree, the program takes the plug-in built beside it.
    if (std::filesystem::exists(strFolder + "/CMakeFiles")) {
        listCandidates.push_back((std::filesystem::path(strFolder) / AFS_SCAN_BUILD_PLUGIN_DIR / kPluginFile)
                                     .lexically_normal()
                                     .string());
    }
    return listCandidates;
}

CRhError LoadPlugin(const std::vector<std::string>& listCandidates,
                    std::unique_ptr<CPluginLibrary>& ptrLibrary) {
    std::string strTried;
    for (const std::string& strPath : listCandidates) {
        std::unique_ptr<CPluginLibrary> ptrCandidate(new CPluginLibrary(strPath));
        if (ptrCandidate->IsLoaded()) {
            ptrLibrary = std::move(ptrCandidate);
            return CRhError::Success();
        }
        if (!strTried.empty()) strTried += "; ";
        strTried += strPath + ": " + ptrCandidate->GetError();
    }
    return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1,
                                 "cannot load the plug-in (tried %s); give its path with --plugin",
                                 strTried.c_str());
}

}  // namespace afs_scan
