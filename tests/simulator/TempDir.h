#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace afs_test {

// A fresh folder below $TMPDIR, removed with everything in it on destruction.
class CTempDir {
public:
    CTempDir() {
        const char* pszBase = std::getenv("TMPDIR");
        std::string strTemplate = std::string(pszBase ? pszBase : "/tmp") + "/afs-sim-test-XXXXXX";
        if (!mkdtemp(strTemplate.data())) throw std::runtime_error("mkdtemp failed");
        m_strPath = strTemplate;
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_strPath, ignored);
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

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
