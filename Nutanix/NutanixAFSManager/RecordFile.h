#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>

// Appends whole lines to one record file. The file is opened with "a+"
// (created when missing) by the constructor and closed by Commit() or the
// destructor, so it is open for one batch only. When a write, flush or close
// fails, the file is cut back to its size before the batch where the system
// allows it, so that a reader never sees half a line from us.
class CRecordFileAppender {
public:
    explicit CRecordFileAppender(const std::string& path);
    ~CRecordFileAppender();
    CRecordFileAppender(const CRecordFileAppender&) = delete;
    CRecordFileAppender& operator=(const CRecordFileAppender&) = delete;

    bool IsOpen() const { return ptrFile != nullptr; }
    // Queues `text` (one or more whole lines) for the batch.
    void Append(const std::string& text);
    // Writes the batch and closes the file. False, with the system's reason
    // in `reason`, when any of it failed.
    bool Commit(std::string& reason);

private:
    void CloseQuietly();

    std::FILE* ptrFile = nullptr;
    off_t llSizeBefore = 0;
    bool bWriteFailed = false;
    int nWriteErrno = 0;
};
