#include "tools/afs-sim/CommandLine.h"

#include <charconv>  // std::from_chars: strict number parsing

#include "tools/afs-sim/FileText.h"

namespace afs_sim {
namespace {

bool ParseCount(const std::string& strText, uint64_t& uValue) {
    auto result = std::from_chars(strText.data(), strText.data() + strText.size(), uValue);
    return !strText.empty() && result.ec == std::errc() && result.ptr == strText.data() + strText.size();
}

// "NAME=VALUE" with a usable share name.
bool SplitShareSetting(const std::string& strText, std::string& strName, std::string& strValue) {
    size_t uEqual = strText.find('=');
    if (uEqual == std::string::npos) return false;
    strName = strText.substr(0, uEqual);
    strValue = strText.substr(uEqual + 1);
    return IsSafeEntryName(strName) && strName[0] != '.';
}

ShareOverride& OverrideFor(std::vector<ShareOverride>& listOverrides, const std::string& strName) {
    for (ShareOverride& override : listOverrides) {
        if (override.strName == strName) return override;
    }
    listOverrides.push_back({});
    listOverrides.back().strName = strName;
    return listOverrides.back();
}

}  // namespace

const char* UsageText() {
    return "usage: afs-sim --shares DIR [options]\n"
           "  --state DIR                 state folder (default DIR/.afs-sim-state)\n"
           "  --host ADDRESS              address to bind (default 127.0.0.1)\n"
           "  --port N                    port (default 0: the system picks one)\n"
           "  --user NAME                 basic-auth user (default admin)\n"
           "  --password-file FILE        password (else $AFS_SIM_PASSWORD, else nutanix/4u)\n"
           "  --tls-cert FILE --tls-key FILE   serve HTTPS\n"
           "  --share-type NAME=TYPE      share type of share NAME (default GENERAL)\n"
           "  --share-capabilities NAME=CAP1,CAP2  capabilities of share NAME (default CFT_BACKUP)\n"
           "  --scenario FILE             JSON scenario of knobs and faults\n"
           "  --page-size-cap N --default-page-size N --objects-per-diff N\n"
           "  --retry-pages N --delay-ms N --synthetic N\n"
           "  --log FILE                  request log (default standard error)\n"
           "  --quiet                     no request log\n"
           "  --no-control                do not serve the /_sim/ test endpoints\n"
           "  --help                      this text\n"
           "  --version                   the version\n";
}

std::string ParseCommandLine(const std::vector<std::string>& listArgs, const char* pszEnvPassword,
                             CommandLine& commandLine) {
    SimulatorOptions& options = commandLine.options;
    if (pszEnvPassword) options.strPassword = pszEnvPassword;
    std::string strScenarioFile;
    std::vector<std::pair<std::string, std::string>> listKnobs;
    for (size_t i = 0; i < listArgs.size(); ++i) {
        const std::string& strArg = listArgs[i];
        if (strArg == "--help" || strArg == "-h") {
            commandLine.bHelp = true;
            continue;
        }
        if (strArg == "--version") {
            commandLine.bVersion = true;
            continue;
        }
        if (strArg == "--quiet") {
            commandLine.bQuiet = true;
            continue;
        }
        if (strArg == "--no-control") {
            options.bControl = false;
            continue;
        }
        static const char* const kValued[] = {"--shares", "--state", "--host", "--port", "--user", "--password-file",
                                              "--tls-cert", "--tls-key", "--share-type", "--share-capabilities",
                                              "--scenario", "--log", "--page-size-cap", "--default-page-size",
                                              "--objects-per-diff", "--retry-pages", "--delay-ms", "--synthetic"};
        bool bKnown = false;
        for (const char* szName : kValued) bKnown = bKnown || strArg == szName;
        if (!bKnown) return "unknown option " + strArg;
        if (i + 1 == listArgs.size()) return strArg + " needs a value";
        const std::string& strValue = listArgs[++i];
        uint64_t uNumber = 0;
        if (strArg == "--shares") options.strSharesDir = strValue;
        else if (strArg == "--state") options.strStateDir = strValue;
        else if (strArg == "--host") options.strHost = strValue;
        else if (strArg == "--port") {
            if (!ParseCount(strValue, uNumber) || uNumber > 65535) return "--port needs a port number";
            options.nPort = static_cast<int>(uNumber);
        } else if (strArg == "--user") options.strUser = strValue;
        else if (strArg == "--password-file") {
            std::string strText;
            if (!ReadFileText(strValue, strText)) return "cannot read password file " + strValue;
            while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r')) strText.pop_back();
            options.strPassword = strText;
        } else if (strArg == "--tls-cert") options.strTlsCert = strValue;
        else if (strArg == "--tls-key") options.strTlsKey = strValue;
        else if (strArg == "--share-type" || strArg == "--share-capabilities") {
            std::string strName;
            std::string strSetting;
            if (!SplitShareSetting(strValue, strName, strSetting)) return strArg + " needs NAME=VALUE";
            ShareOverride& override = OverrideFor(options.listShareOverrides, strName);
            if (strArg == "--share-type") {
                override.bHasType = true;
                override.strShareType = strSetting;
            } else {
                override.bHasCapabilities = true;
                override.listCapabilities.clear();
                size_t uStart = 0;
                while (uStart < strSetting.size()) {
                    size_t uComma = strSetting.find(',', uStart);
                    if (uComma == std::string::npos) uComma = strSetting.size();
                    if (uComma > uStart) override.listCapabilities.push_back(strSetting.substr(uStart, uComma - uStart));
                    uStart = uComma + 1;
                }
            }
        } else if (strArg == "--scenario") strScenarioFile = strValue;
        else if (strArg == "--log") commandLine.strLogFile = strValue;
        else if (strArg == "--page-size-cap" || strArg == "--default-page-size" || strArg == "--objects-per-diff" ||
                 strArg == "--retry-pages" || strArg == "--delay-ms" || strArg == "--synthetic") {
            if (!ParseCount(strValue, uNumber)) return strArg + " needs a non-negative integer";
            listKnobs.emplace_back(strArg.substr(2), strValue);
        } else {
            return "unknown option " + strArg;
        }
    }
    if (commandLine.bHelp || commandLine.bVersion) return {};
    if (options.strSharesDir.empty()) return "--shares DIR is required";
    if (!strScenarioFile.empty()) {
        std::string strText;
        if (!ReadFileText(strScenarioFile, strText)) return "cannot read scenario file " + strScenarioFile;
        std::string strError = ParseScenario(strText, options.scenario);
        if (!strError.empty()) return strScenarioFile + ": " + strError;
    }
    // Command-line knobs win over the scenario file.
    std::string strKnobs = "{";
    for (auto& [strName, strValue] : listKnobs) {
        for (char& c : strName) {
            if (c == '-') c = '_';
        }
        if (strKnobs.size() > 1) strKnobs += ",";
        strKnobs += "\"" + strName + "\":" + strValue;
    }
    strKnobs += "}";
    return ParseScenario(strKnobs, options.scenario);
}

}  // namespace afs_sim
