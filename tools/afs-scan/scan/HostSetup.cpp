#include "tools/afs-scan/scan/HostSetup.h"

#include <algorithm>
#include <atomic>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "host/FXString.h"
#include "host/LogWriter.h"
#include "host/PlatformInfo.h"
#include "host/PrivateFile.h"
#include "host/Progress.h"
#include "tools/afs-scan/cli/Interrupt.h"
#include "tools/afs-scan/scan/ProgressLine.h"
#include "tools/common/Cli.h"
#include "tools/common/Handles.h"

namespace afs_scan {

namespace {

std::string Absolute(const std::string& strPath) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(strPath, error);
    return error ? strPath : path.lexically_normal().string();
}

const char kSkippedNote[] = " items of the snapshot difference were skipped";
const char kWaitSetting[] = ", [FileSystemAgent] uHAWaitTime";

// Writes everything to the host's log and shows the operator, on stderr,
// what the file-server side says at level 0 while a job runs: the wait for
// an unreachable server (every attempt, so the user sees at once why
// nothing happens), TLS and transport warnings (once each), and the
// plug-in's note that items of a difference were skipped.
class CTerminalLogWriter : public CLogWriterInterface {
public:
    explicit CTerminalLogWriter(boost::shared_ptr<CLogWriter> ptrLog) : ptrTarget(std::move(ptrLog)) {}
    int GetLevel() const override { return ptrTarget->GetLevel(); }
    void Write(int level, const char* function, int line, int, int, const char* format, ...) override
        __attribute__((format(printf, 7, 8))) {
        va_list args;
        va_start(args, format);
        const std::string message = FXString::FormatV(format, args);
        va_end(args);
        ptrTarget->Write(level, function, line, 0, 0, "%s", message.c_str());
        if (level != 0) return;
        // Shown only: the count that makes a share partial is a progress counter.
        const size_t uSkipped = message.find(kSkippedNote);
        if (InterruptSignal() != 0) return;
        // afs-scan gives its own warning about plain http:// before the job.
        const bool bClient = std::strstr(function, "afs_rest::") != nullptr &&
                             message.find(" is plain http://") == std::string::npos;
        const bool bWait = bClient && message.compare(0, 12, "file server ") == 0;
        if (!bWait && !(bClient || uSkipped != std::string::npos)) return;
        std::lock_guard<std::mutex> lock(mutexShown);
        if (!bWait && !setShown.insert(message).second) return;
        // The option is what an afs-scan user sets the wait with.
        const size_t uSetting = bWait ? message.rfind(kWaitSetting) : std::string::npos;
        CProgressLine::Say(uSetting == std::string::npos ||
                                   uSetting + sizeof(kWaitSetting) - 1 != message.size()
                               ? message
                               : message.substr(0, uSetting) + "; --ha-wait SECONDS");
    }

private:
    boost::shared_ptr<CLogWriter> ptrTarget;
    std::mutex mutexShown;
    std::set<std::string> setShown;  // a client is built more than once per job
};

}  // namespace

CRhError SetUpSettings(const std::string& strSettings, const std::string& strMountTable,
                       const std::string& strOverrides, const std::string& strStateDir, std::string& strUsed,
                       const std::string& strFileName) {
    strUsed.clear();
    if (strMountTable.empty() && strOverrides.empty()) {
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
        text << strOverrides;
        if (!strMountTable.empty()) text << "[Host]\nMountTableFile = " << Absolute(strMountTable) << "\n";
        strUsed = Absolute(strStateDir + "/" + strFileName);
        const std::string strText = text.str();
        std::string why;
        afs_cli::UniqueStream ptrOut(afs_private_file::OpenStream(strUsed, "w", why));
        const bool bWritten =
            ptrOut && std::fwrite(strText.data(), 1, strText.size(), ptrOut.get()) == strText.size();
        if (!afs_cli::CloseChecked(ptrOut) || !bWritten) {
            return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "cannot write settings file %s %s",
                                         strUsed.c_str(), why.c_str());
        }
    }
    setenv(ZKPlatformInfo::kEnvSettingsFile, strUsed.c_str(), 1);
    return CRhError::Success();
}

void SetUpLog(const std::string& strLogFile, const std::string& strDefaultLogFile) {
    // The default writer prints on stderr; the settings' malformed lines have
    // been reported against the user's own file already.
    g_ptrLogWriter.reset();
    ZKPlatformInfo settings;
    unsigned long long ullLevel = 0;
    // Not cast: 4294967295 became -1, and the plug-in's level-0 note of
    // skipped items, which makes a share partial, never reached the writer.
    const int nLevel = settings.getNumber("Host", "LogLevel", ullLevel)
                           ? static_cast<int>(std::min<unsigned long long>(ullLevel, INT_MAX))
                           : 0;
    std::string strFile = strLogFile;
    std::string strLogDir;
    if (strFile.empty() && settings.getString("Host", "LogDir", strLogDir))
        strFile = strLogDir + "/afs-host.log";
    if (strFile.empty()) strFile = strDefaultLogFile;
    g_ptrLogWriter = boost::make_shared<CTerminalLogWriter>(boost::make_shared<CLogWriter>(nLevel, strFile));
}

unsigned long long DifferenceItemsSkipped() { return GetProgress(eProgressItemsSkipped); }

}  // namespace afs_scan
