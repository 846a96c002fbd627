#include "Nutanix/NutanixAFSManager/RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/PrivateFile.h"

CRecordFileAppender::CRecordFileAppender(const std::string& path) {
    // Not through a symbolic link, never a FIFO, created 0600: the record
    // files may lie in a folder other local users can write to. The helper
    // retries an interrupted open itself: a loop here on errno span for ever
    // on an EINTR left over from before, as refusing a non-regular file sets
    // no errno of the system's.
    nFile = afs_private_file::Open(path, O_APPEND, strOpenError);
    if (nFile < 0) strOpenReason = errno != 0 ? std::strerror(errno) : "not a regular file";
}

CRecordFileAppender::~CRecordFileAppender() { CloseQuietly(); }

void CRecordFileAppender::CloseQuietly() {
    if (nFile >= 0) {
        close(nFile);
        nFile = -1;
    }
}

void CRecordFileAppender::Append(const std::string& text) {
    // Lines are not escaped: a line break inside would write a second,
    // forged record the host reads as ours (a mount directory may hold one).
    if (!text.empty() && text.find('\n') != text.size() - 1) bRefused = true;
    if (nFile >= 0 && !bRefused) strBatch += text;
}

void CRecordFileAppender::TakeBackPartialWrite(size_t written) {
    // After an O_APPEND write the offset is the end of what it wrote. Only
    // when the file still ends there is the tail ours; when anything cannot
    // be told, the file is left alone.
    const off_t llEndOfOurs = lseek(nFile, 0, SEEK_CUR);
    struct stat attributes {};
    if (llEndOfOurs < static_cast<off_t>(written) || fstat(nFile, &attributes) != 0 ||
        attributes.st_size != llEndOfOurs) {
        return;
    }
    if (ftruncate(nFile, llEndOfOurs - static_cast<off_t>(written)) != 0) {
        // Nothing more can be done here; the caller reports the failure.
    }
}

bool CRecordFileAppender::Commit(std::string& reason) {
    if (nFile < 0) {
        reason = strOpenError;
        return false;
    }
    bool bOk = true;
    if (bRefused) {
        reason = "refusing a record whose fields hold a line break";
        bOk = false;
    } else if (!strBatch.empty()) {
        ssize_t written = 0;
        do {
            written = write(nFile, strBatch.data(), strBatch.size());
        } while (written < 0 && errno == EINTR);
        if (written < 0) {
            reason = std::strerror(errno);
            bOk = false;
        } else if (static_cast<size_t>(written) != strBatch.size()) {
            // A short write to a regular file means the disk or a size limit
            // is reached; a half line would mislead the host, so take it back.
            reason = "only " + std::to_string(written) + " of " + std::to_string(strBatch.size()) +
                     " bytes could be written";
            TakeBackPartialWrite(static_cast<size_t>(written));
            bOk = false;
        }
    }
    const int nClosing = nFile;
    nFile = -1;
    if (close(nClosing) != 0 && bOk) {
        reason = std::strerror(errno);
        bOk = false;
    }
    return bOk;
}
