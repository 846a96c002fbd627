#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace afs_test {

// Whole-file helpers for the simulator tests; the folders come from
// CScopedTempDir (tests/support/ScopedTempDir.h).
inline void WriteFile(const std::string& strPath, const std::string& strText) {
    std::filesystem::create_directories(std::filesystem::path(strPath).parent_path());
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strText;
}

inline std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace afs_test
