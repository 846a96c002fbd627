#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdarg>
#include <string>

#include "host/HostExport.h"

// The host's log writer. A caller asks GetLevel() and writes only when that
// level is at least the message's level; level -1 (errors) is always written.
class HOST_EXPORT CLogWriterInterface {
public:
    virtual ~CLogWriterInterface() = default;
    // The threshold: messages of this level or lower are written.
    virtual int GetLevel() const = 0;
    // level      the message's level: -1 error, 0 progress, 2-3 detail, 7 raw answers
    // function   the caller's full signature (__PRETTY_FUNCTION__)
    // line       the caller's source line
    // reserved1, reserved2  reserved by the host; pass 0
    // format     printf format of the message, followed by its arguments
    virtual void Write(int level, const char* function, int line, int reserved1, int reserved2,
                       const char* format, ...) __attribute__((format(printf, 7, 8))) = 0;
};

// The process-wide writer. It starts as a CLogWriter configured from the host
// settings; a host or a test may replace it. Never empty unless set so.
extern HOST_EXPORT boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;

// The host's writer: one line per call with UTC time, thread id, level,
// function, source line and message; to "<LogDir>/afs-host.log" when [Host]
// LogDir is set, otherwise to stderr. The threshold is [Host] LogLevel
// (default -1: errors only; 0 adds the plug-in's progress, 3 its detail).
// Writes are serialised; a write failure is dropped silently.
class HOST_EXPORT CLogWriter : public CLogWriterInterface {
public:
    CLogWriter();  // configured from the settings
    // level: the threshold; logFile: the file lines are appended to (empty: stderr)
    CLogWriter(int level, const std::string& logFile);
    ~CLogWriter() override;
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    int GetLevel() const override { return nLevel; }
    void Write(int level, const char* function, int line, int reserved1, int reserved2, const char* format,
               ...) override __attribute__((format(printf, 7, 8)));
    // Write() with the message's arguments as a va_list.
    void WriteV(int level, const char* function, int line, const char* format, va_list args);

private:
    struct Impl;
    int nLevel;
    Impl* ptrImpl;
};

// Log through g_ptrLogWriter with the caller's signature and line.
#define HOST_LOG(level, ...)                                                                           \
    do {                                                                                               \
        CLogWriterInterface* ptrWriterForLog_ = g_ptrLogWriter.get();                                  \
        if (ptrWriterForLog_ != nullptr && ((level) == -1 || ptrWriterForLog_->GetLevel() >= (level))) \
            ptrWriterForLog_->Write((level), __PRETTY_FUNCTION__, __LINE__, 0, 0, __VA_ARGS__);        \
    } while (0)
