#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace afs_test {

// Writes a file of a test tree, making its folders; reading and the folders
// themselves come from CScopedTempDir (tests/support/ScopedTempDir.h).
inline void WriteFile(const std::string& strPath, const std::string& strText) {
    std::filesystem::create_directories(std::filesystem::path(strPath).parent_path());
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strText;
}

}  // namespace afs_test
