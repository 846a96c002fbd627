#pragma once

#include <cstdio>
#include <string>

#include "tools/common/Handles.h"

namespace afs_sim {

// Reads a whole file. Returns false when it cannot be read.
bool ReadFileText(const std::string& strFile, std::string& strText);

// A file replaced as a whole: written to a temporary file beside it, then
// renamed over it, so readers and crashes see the old or the new content,
// never a mix. The temporary file is opened without following a symbolic
// link and must be a regular file: the state folder may be one other local
// users can write to.
class CAtomicFile {
public:
    explicit CAtomicFile(const std::string& strFile);
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    void Write(const std::string& strText);
    // Returns an empty text on success, else what went wrong.
    std::string Commit();

private:
    std::string strFile;
    std::string strTemp;
    std::string strError;
    afs_cli::UniqueStream ptrStream;
};

// CAtomicFile with the whole content at once.
std::string WriteFileAtomically(const std::string& strFile, const std::string& strText);

}  // namespace afs_sim
