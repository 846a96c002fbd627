#include "host/LogWriter.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "host/FXString.h"
#include "host/PlatformInfo.h"
#include "host/PrivateFile.h"

boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter(new CLogWriter());

namespace {

struct FileCloser {
    void operator()(FILE* file) const {
        if (file != nullptr) fclose(file);
    }
};

}  // namespace

struct CLogWriter::Impl {
    std::mutex mutexWrite;
    std::string strFile;
    bool bOpenTried = false;
    std::unique_ptr<FILE, FileCloser> ptrFile;

    // A log file that cannot be opened, or is refused (said once on stderr),
    // gives way to stderr: never to where another user points it.
    FILE* Target() {
        if (strFile.empty()) return stderr;
        if (!bOpenTried) {
            bOpenTried = true;
            ptrFile.reset(afs_private_file::OpenLogStream(strFile, "host log"));
        }
        return ptrFile ? ptrFile.get() : stderr;
    }
};

// Errors only unless the settings ask for more: the plug-in's progress lines
// are for whoever looks into a job, not for every host's terminal.
CLogWriter::CLogWriter() : nLevel(-1), ptrImpl(new Impl) {
    ZKPlatformInfo settings;
    unsigned long long level = 0;
    // A level past int's range asks for everything; a plain cast made it errors only.
    if (settings.getNumber("Host", "LogLevel", level))
        nLevel = static_cast<int>(std::min<unsigned long long>(level, INT_MAX));
    std::string logDir;
    if (settings.getString("Host", "LogDir", logDir)) ptrImpl->strFile = logDir + "/afs-host.log";
}

CLogWriter::CLogWriter(int level, const std::string& logFile) : nLevel(level), ptrImpl(new Impl) {
    ptrImpl->strFile = logFile;
}

CLogWriter::~CLogWriter() { delete ptrImpl; }

void CLogWriter::Write(int level, const char* function, int line, int, int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(level, function, line, format, args);
    va_end(args);
}

void CLogWriter::WriteV(int level, const char* function, int line, const char* format, va_list args) {
    std::string message = FXString::FormatV(format, args);
    // Messages carry names and texts from file servers: a control character
    // there must not start a forged line or rewrite the terminal.
    for (size_t at = 0; at < message.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(message[at]);
        if (c >= 0x20 && c != 0x7f) continue;
        static const char kHex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        message.replace(at, 1, escape, sizeof(escape));
        at += sizeof(escape) - 1;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char stamp[32];
    strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", &utc);
    long threadId = static_cast<long>(syscall(SYS_gettid));
    std::lock_guard<std::mutex> lock(ptrImpl->mutexWrite);
    FILE* target = ptrImpl->Target();
    fprintf(target, "%s.%03ldZ [%ld] L%d %s:%d %s\n", stamp, now.tv_nsec / 1000000, threadId, level, function,
            line, message.c_str());
    fflush(target);
}
