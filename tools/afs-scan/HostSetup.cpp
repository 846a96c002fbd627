#include "tools/afs-scan/HostSetup.h"

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/LogWriter.h"
#include "host/PlatformInfo.h"

namespace {

std::string Absolute(const std::string& strPath) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(strPath, error);
    return error ? strPath : path.lexically_normal().string();
}

}  // namespace

CRhError SetUpSettings(const std::string& strSettings, const std::string& strMountTable,
                       const std::string& strStateDir, std::string& strUsed) {
    strUsed.clear();
    if (strMountTable.empty()) {
        if (strSettings.empty()) return CRhError::Success();
        std::ifstream probe(strSettings);
        if (!probe) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot read settings file %s",
                                         strSettings.c_str());
        }
        strUsed = Absolute(strSettings);
    } else {
        std::ostringstream text;
        if (!strSettings.empty()) {
            std::ifstream in(strSettings);
            if (!in) {
                return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot read settings file %s",
                                             strSettings.c_str());
            }
            text << in.rdbuf() << "\n";
        }
        // A later key wins, so this overrides a MountTableFile in the given file.
        text << "[Host]\nMountTableFile = " << Absolute(strMountTable) << "\n";
        strUsed = Absolute(strStateDir + "/settings.ini");
        std::ofstream out(strUsed, std::ios::trunc);
        out << text.str();
        out.close();
        if (!out) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot write settings file %s",
                                         strUsed.c_str());
        }
    }
    setenv(ZKPlatformInfo::kEnvSettingsFile, strUsed.c_str(), 1);
    return CRhError::Success();
}

void SetUpLog(const std::string& strLogFile, const std::string& strDefaultLogFile) {
    ZKPlatformInfo settings;
    unsigned long long ullLevel = 0;
    const int nLevel = settings.getNumber("Host", "LogLevel", ullLevel) ? static_cast<int>(ullLevel) : 0;
    std::string strFile = strLogFile;
    std::string strLogDir;
    if (strFile.empty() && settings.getString("Host", "LogDir", strLogDir))
        strFile = strLogDir + "/afs-host.log";
    if (strFile.empty()) strFile = strDefaultLogFile;
    g_ptrLogWriter = boost::make_shared<CLogWriter>(nLevel, strFile);
}
