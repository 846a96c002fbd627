#include "tools/afs-sim/CommandLine.h"

#include <getopt.h>

#include <charconv>  // std::from_chars: strict number parsing

#include "tools/afs-sim/FileText.h"
#include "tools/common/Cli.h"

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

// Flags first, then the options with a value; the last six are scenario knobs.
constexpr int kFirstOption = 256;
const option kOptions[] = {
    {"version", no_argument, nullptr, kFirstOption + 0},
    {"quiet", no_argument, nullptr, kFirstOption + 1},
    {"no-control", no_argument, nullptr, kFirstOption + 2},
    {"open-control", no_argument, nullptr, kFirstOption + 3},
    {"shares", required_argument, nullptr, kFirstOption + 4},
    {"state", required_argument, nullptr, kFirstOption + 5},
    {"host", required_argument, nullptr, kFirstOption + 6},
    {"port", required_argument, nullptr, kFirstOption + 7},
    {"user", required_argument, nullptr, kFirstOption + 8},
    {"password-file", required_argument, nullptr, kFirstOption + 9},
    {"tls-cert", required_argument, nullptr, kFirstOption + 10},
    {"tls-key", required_argument, nullptr, kFirstOption + 11},
    {"share-type", required_argument, nullptr, kFirstOption + 12},
    {"share-capabilities", required_argument, nullptr, kFirstOption + 13},
    {"scenario", required_argument, nullptr, kFirstOption + 14},
    {"log", required_argument, nullptr, kFirstOption + 15},
    {"page-size-cap", required_argument, nullptr, kFirstOption + 16},
    {"default-page-size", required_argument, nullptr, kFirstOption + 17},
    {"objects-per-diff", required_argument, nullptr, kFirstOption + 18},
    {"retry-pages", required_argument, nullptr, kFirstOption + 19},
    {"delay-ms", required_argument, nullptr, kFirstOption + 20},
    {"synthetic", required_argument, nullptr, kFirstOption + 21},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

const char* UsageText() {
    return "usage: afs-sim --shares DIR [options]\n"
           "  --state DIR                 state folder (default DIR/.afs-sim-state)\n"
           "  --host ADDRESS              address to bind (default 127.0.0.1)\n"
           "  --port N                    port (default 0: the system picks one)\n"
           "  --user NAME                 basic-auth user (default admin)\n"
           "  --password-file FILE        file whose first line is the password (else $AFS_SIM_PASSWORD;\n"
           "                              one of them is required)\n"
           "  --open-control              serve /_sim/ without credentials (else they need the user's)\n"
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
           "  --version                   the version\n"
           "An option's value is the next argument or follows '=' (--port 9440, --port=9440).\n"
           "Prints its URL on stdout once it listens; SIGINT or SIGTERM stop it.\n"
           "Exit status: 0 stopped by a signal, 1 cannot serve (e.g. the port is in use), 2 usage error.\n";
}

std::string ParseCommandLine(const std::vector<std::string>& listArgs, const char* pszEnvPassword,
                             CommandLine& commandLine) {
    SimulatorOptions& options = commandLine.options;
    // No password built into the program: a shared test server must not
    // answer to one that everybody knows.
    options.strPassword.clear();
    if (pszEnvPassword) options.strPassword = pszEnvPassword;
    std::string strScenarioFile;
    std::vector<std::pair<std::string, std::string>> listKnobs;
    // getopt_long wants argv; it keeps its place in globals, so start afresh
    // and quietly (the messages are ours).
    std::vector<std::string> listCopy{"afs-sim"};
    listCopy.insert(listCopy.end(), listArgs.begin(), listArgs.end());
    std::vector<char*> listArgv;
    for (std::string& strArg : listCopy) listArgv.push_back(strArg.data());
    listArgv.push_back(nullptr);
    const int nArgs = static_cast<int>(listCopy.size());
    optind = 0;
    opterr = 0;
    for (int nOption; (nOption = getopt_long(nArgs, listArgv.data(), ":h", kOptions, nullptr)) != -1;) {
        std::string strWord = listArgv[optind - 1];
        strWord = strWord.substr(0, strWord.find('='));
        if (nOption == '?' && optopt >= kFirstOption) return "option '" + strWord + "' takes no value";
        if (nOption == '?')
            return "unknown option '" + (optopt ? "-" + std::string(1, char(optopt)) : strWord) + "'";
        if (nOption == ':') return "option '" + strWord + "' requires a value";
        const std::string strArg = nOption == 'h' ? std::string("--help")
                                                  : "--" + std::string(kOptions[nOption - kFirstOption].name);
        const std::string strValue = optarg ? optarg : "";
        uint64_t uNumber = 0;
        if (strArg == "--help")
            commandLine.bHelp = true;
        else if (strArg == "--version")
            commandLine.bVersion = true;
        else if (strArg == "--quiet")
            commandLine.bQuiet = true;
        else if (strArg == "--no-control")
            options.bControl = false;
        else if (strArg == "--open-control")
            options.bOpenControl = true;
        else if (strArg == "--shares")
            options.strSharesDir = strValue;
        else if (strArg == "--state")
            options.strStateDir = strValue;
        else if (strArg == "--host")
            options.strHost = strValue;
        else if (strArg == "--port") {
            if (!ParseCount(strValue, uNumber) || uNumber > 65535) return "--port needs a port number";
            options.nPort = static_cast<int>(uNumber);
        } else if (strArg == "--user")
            options.strUser = strValue;
        else if (strArg == "--password-file") {
            std::string strError = afs_cli::ReadPasswordFile(strValue, options.strPassword);
            if (!strError.empty()) return strError;
        } else if (strArg == "--tls-cert")
            options.strTlsCert = strValue;
        else if (strArg == "--tls-key")
            options.strTlsKey = strValue;
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
                    if (uComma > uStart)
                        override.listCapabilities.push_back(strSetting.substr(uStart, uComma - uStart));
                    uStart = uComma + 1;
                }
            }
        } else if (strArg == "--scenario")
            strScenarioFile = strValue;
        else if (strArg == "--log")
            commandLine.strLogFile = strValue;
        else {
            if (!ParseCount(strValue, uNumber)) return strArg + " needs a non-negative integer";
            listKnobs.emplace_back(strArg.substr(2), strValue);
        }
    }
    if (optind < nArgs) return "unexpected argument '" + listCopy[optind] + "'";
    if (commandLine.bHelp || commandLine.bVersion) return {};
    if (options.strPassword.empty()) return "no password: give --password-file FILE or set AFS_SIM_PASSWORD";
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
