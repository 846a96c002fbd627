#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "host/FXString.h"
#include "host/LogWriter.h"

// One line a component wrote through the host's log writer.
struct CapturedLogLine {
    int nLevel = 0;
    std::string strFunction;  // the caller's full signature
    std::string strMessage;   // formatted, without time or thread id
};

// A log writer that keeps every line in memory, so tests assert the exact
// text and level a component logged. Thread-safe.
class CCapturingLogWriter : public CLogWriterInterface {
public:
    // `level` is what GetLevel() answers, i.e. the threshold callers honour.
    explicit CCapturingLogWriter(int level) : nLevel(level) {}
    int GetLevel() const override { return nLevel; }

    void Write(int level, const char* function, int /*line*/, int /*reserved1*/, int /*reserved2*/,
               const char* format, ...) override __attribute__((format(printf, 7, 8))) {
        va_list args;
        va_start(args, format);
        CapturedLogLine line{level, function != nullptr ? function : "", FXString::FormatV(format, args)};
        va_end(args);
        std::lock_guard<std::mutex> lock(mutexLines);
        listLines.push_back(line);
    }
    std::vector<CapturedLogLine> GetLines() const {
        std::lock_guard<std::mutex> lock(mutexLines);
        return listLines;
    }
    std::vector<std::string> GetMessages() const {
        std::vector<std::string> listMessages;
        for (const CapturedLogLine& line : GetLines()) listMessages.push_back(line.strMessage);
        return listMessages;
    }
    // How many messages contain `text` (at `level` only, when it is not -2).
    size_t CountContaining(const std::string& text, int level = -2) const {
        size_t uCount = 0;
        for (const CapturedLogLine& line : GetLines())
            uCount +=
                line.strMessage.find(text) != std::string::npos && (level == -2 || level == line.nLevel);
        return uCount;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutexLines);
        listLines.clear();
    }

private:
    const int nLevel;
    mutable std::mutex mutexLines;
    std::vector<CapturedLogLine> listLines;
};

// Installs a capturing writer as g_ptrLogWriter for the scope and puts the
// previous one back, so one test's capture never leaks into the next.
class CScopedLogCapture {
public:
    explicit CScopedLogCapture(int level = 100)
        : ptrWriter(new CCapturingLogWriter(level)), ptrPrevious(g_ptrLogWriter) {
        g_ptrLogWriter = ptrWriter;
    }
    ~CScopedLogCapture() { g_ptrLogWriter = ptrPrevious; }
    CScopedLogCapture(const CScopedLogCapture&) = delete;
    CScopedLogCapture& operator=(const CScopedLogCapture&) = delete;
    CCapturingLogWriter* operator->() { return ptrWriter.get(); }

private:
    boost::shared_ptr<CCapturingLogWriter> ptrWriter;
    boost::shared_ptr<CLogWriterInterface> ptrPrevious;
};
