#pragma once

#include <string>

// Appends whole lines to one record file. The file is opened for appending
// (created 0600 when missing; a symbolic link, FIFO or anything but a regular
// file is refused) by the constructor and closed by Commit() or the
// destructor, so it is open for one batch only. The batch goes out in one
// write() on an O_APPEND descriptor, so other processes appending to the same
// file never interleave with it. When that write lands only in part, the part
// is cut off again, but only while the file still ends where the part ended:
// lines another writer appended since then are never removed.
class CRecordFileAppender {
public:
    explicit CRecordFileAppender(const std::string& path);
    ~CRecordFileAppender();
    CRecordFileAppender(const CRecordFileAppender&) = delete;
    CRecordFileAppender& operator=(const CRecordFileAppender&) = delete;

    bool IsOpen() const { return nFile >= 0; }
    // Why the file could not be opened: the system's reason ("No such file
    // or directory"), or "not a regular file"; empty while it is open.
    const std::string& GetOpenReason() const { return strOpenReason; }
    // Queues `text`, one line ending in "\n", for the batch. A text with
    // another line break refuses the whole batch: nothing of it is written.
    void Append(const std::string& text);
    // Writes the batch and closes the file. False, with the system's reason
    // in `reason`, when any of it failed, was refused or the file could not
    // be opened.
    bool Commit(std::string& reason);

private:
    // Cuts off the `written` bytes that our write left at the file's end.
    void TakeBackPartialWrite(size_t written);
    void CloseQuietly();

    int nFile = -1;
    std::string strOpenError;
    std::string strOpenReason;
    std::string strBatch;
    bool bRefused = false;
};
