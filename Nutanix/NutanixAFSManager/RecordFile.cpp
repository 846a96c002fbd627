#include "Nutanix/NutanixAFSManager/RecordFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CRecordFileAppender::CRecordFileAppender(const std::string& path) {
    ptrFile = std::fopen(path.c_str(), "a+");
    if (ptrFile == nullptr) return;
    struct stat attributes {};
    if (fstat(fileno(ptrFile), &attributes) == 0) llSizeBefore = attributes.st_size;
}

CRecordFileAppender::~CRecordFileAppender() { CloseQuietly(); }

void CRecordFileAppender::CloseQuietly() {
    if (ptrFile != nullptr) {
        std::fclose(ptrFile);
        ptrFile = nullptr;
    }
}

void CRecordFileAppender::Append(const std::string& text) {
    if (ptrFile == nullptr || bWriteFailed || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), ptrFile) != text.size()) {
        bWriteFailed = true;
        nWriteErrno = errno;
    }
}

bool CRecordFileAppender::Commit(std::string& reason) {
    if (ptrFile == nullptr) {
        reason = "not open";
        return false;
    }
    if (!bWriteFailed && std::fflush(ptrFile) != 0) {
        bWriteFailed = true;
        nWriteErrno = errno;
    }
    if (bWriteFailed) {
        // Take back what reached the file; a character device such as
        // /dev/full cannot be cut and holds nothing of ours anyway.
        if (ftruncate(fileno(ptrFile), llSizeBefore) != 0) {
            // Nothing more can be done here; the caller reports the failure.
        }
        reason = std::strerror(nWriteErrno != 0 ? nWriteErrno : EIO);
        CloseQuietly();
        return false;
    }
    std::FILE* ptrClosing = ptrFile;
    ptrFile = nullptr;
    if (std::fclose(ptrClosing) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}
