#include "tools/afs-sim/FileText.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace afs_sim {

bool ReadFileText(const std::string& strFile, std::string& strText) {
    std::ifstream in(strFile, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    strText = buffer.str();
    return !in.bad();
}

std::string WriteFileAtomically(const std::string& strFile, const std::string& strText) {
    const std::string strTemp = strFile + ".tmp";
    {
        std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
        out << strText;
        out.flush();
        if (!out) return "cannot write " + strTemp;
    }
    std::error_code error;
    std::filesystem::rename(strTemp, strFile, error);
    if (error) return "cannot rename " + strTemp + ": " + error.message();
    return {};
}

}  // namespace afs_sim
