#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on
// destruction.
class CScopedTempDir {
public:
    CScopedTempDir() {
        strPath = std::filesystem::temp_directory_path() / "afs-host-test-XXXXXX";  // $TMPDIR or /tmp
        if (mkdtemp(&strPath[0]) == nullptr) throw std::runtime_error("mkdtemp failed for " + strPath);
    }
    ~CScopedTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(strPath, ignored);
    }
    CScopedTempDir(const CScopedTempDir&) = delete;
    CScopedTempDir& operator=(const CScopedTempDir&) = delete;

    const std::string& GetPath() const { return strPath; }

    // Writes `text` to `name` inside the directory, making its folders; returns its full path.
    std::string WriteFile(const std::string& name, const std::string& text) const {
        const std::string path = strPath + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!(out << text).flush()) throw std::runtime_error("cannot write " + path);
        return path;
    }

    // The whole content of `path`; empty when it cannot be read.
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string strPath;
};
