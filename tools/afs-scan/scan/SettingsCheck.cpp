#include "tools/afs-scan/scan/SettingsCheck.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

namespace afs_scan {

namespace {

// Every setting read through the host's settings reader, by section.
const std::map<std::string, std::set<std::string>> kKnownKeys = {
    {"Host", {"LogLevel", "LogDir", "MountTableFile"}},
    {"EventManager", {"dEVLOGDIR"}},
    {"FileSystemAgent",
     {"uHAWaitTime", "NutanixRetrySleep", "MaxScanRetries", "MaxDiffItems", "MaxListEntities",
      "MaxEmptyDiffPages"}},
    {"RestClient",
     {"ConnectTimeoutSeconds", "TransferTimeoutSeconds", "CABundle", "InsecureSkipTLSVerify", "Proxy"}},
};

std::string Trim(const std::string& strText) {
    const size_t uStart = strText.find_first_not_of(" \t\r");
    if (uStart == std::string::npos) return {};
    return strText.substr(uStart, strText.find_last_not_of(" \t\r") - uStart + 1);
}

}  // namespace

bool CheckSettingsFile(const std::string& strFile, std::vector<std::string>& listWarnings,
                       std::set<std::string>& setKeysSet, std::string& strError) {
    std::ifstream in(strFile);
    if (!in) {
        strError = "cannot read settings file " + strFile + ": " + std::strerror(errno);
        return false;
    }
    std::string strSection;
    bool bKnownSection = true;
    int nLine = 0;
    for (std::string strRaw; std::getline(in, strRaw);) {
        const std::string strText = Trim(strRaw);
        const std::string strWhere = strFile + ":" + std::to_string(++nLine) + ": ";
        if (strText.empty() || strText[0] == ';' || strText[0] == '#') continue;
        if (strText[0] == '[') {
            strSection = strText.back() == ']' ? Trim(strText.substr(1, strText.size() - 2)) : std::string();
            bKnownSection = kKnownKeys.count(strSection) != 0;
            if (strSection.empty()) {
                listWarnings.push_back(strWhere + "malformed section header '" + strText +
                                       "'; its keys are ignored");
            } else if (!bKnownSection) {
                listWarnings.push_back(strWhere + "unknown section [" + strSection +
                                       "]; its keys are ignored");
            }
            continue;
        }
        const size_t uEqual = strText.find('=');
        const std::string strKey =
            uEqual == std::string::npos ? std::string() : Trim(strText.substr(0, uEqual));
        if (strKey.empty()) {
            listWarnings.push_back(strWhere + "malformed line '" + strText +
                                   "' (expected KEY = VALUE); ignored");
        } else if (strSection.empty()) {
            if (bKnownSection)
                listWarnings.push_back(strWhere + "key '" + strKey + "' outside any section; ignored");
        } else if (bKnownSection && kKnownKeys.at(strSection).count(strKey) == 0) {
            listWarnings.push_back(strWhere + "unknown key '" + strKey + "' in [" + strSection +
                                   "]; ignored");
        } else if (bKnownSection && !Trim(strText.substr(uEqual + 1)).empty()) {
            setKeysSet.insert(strSection + "/" + strKey);
        }
    }
    return true;
}

}  // namespace afs_scan
