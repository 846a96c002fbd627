#include "tools/afs-sim/FileText.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/PrivateFile.h"
#include "tools/common/Handles.h"

namespace afs_sim {

bool ReadFileText(const std::string& strFile, std::string& strText) {
    std::ifstream in(strFile, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    strText = buffer.str();
    return !in.bad();
}

CAtomicFile::CAtomicFile(const std::string& strFileIn) : strFile(strFileIn), strTemp(strFileIn + ".tmp") {
    ptrStream.reset(afs_private_file::OpenStream(strTemp, "w", strError));
}

void CAtomicFile::Write(const std::string& strText) {
    if (ptrStream && std::fwrite(strText.data(), 1, strText.size(), ptrStream.get()) != strText.size() &&
        strError.empty()) {
        strError = "cannot write " + strTemp;
    }
}

std::string CAtomicFile::Commit() {
    if (!ptrStream) return strError;
    const bool bClosed = afs_cli::CloseChecked(ptrStream);
    if (!bClosed && strError.empty()) strError = "cannot write " + strTemp;
    if (!strError.empty()) return strError;
    std::error_code error;
    std::filesystem::rename(strTemp, strFile, error);
    if (error) return "cannot rename " + strTemp + ": " + error.message();
    return {};
}

std::string WriteFileAtomically(const std::string& strFile, const std::string& strText) {
    CAtomicFile file(strFile);
    file.Write(strText);
    return file.Commit();
}

}  // namespace afs_sim
