#include "tools/afs-scan/PluginLoader.h"

#include <unistd.h>  // readlink: the folder of the running program

#include <climits>

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
    std::vector<std::string> listCandidates;
#ifdef AFS_SCAN_PLUGIN_DEFAULT_PATH
    listCandidates.push_back(AFS_SCAN_PLUGIN_DEFAULT_PATH);
#endif
    const std::string strBeside = ProgramFolder() + "/" + kPluginFile;
    if (listCandidates.empty() || listCandidates.front() != strBeside) listCandidates.push_back(strBeside);
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
    return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot load the plug-in (tried %s)", strTried.c_str());
}
