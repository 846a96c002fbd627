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
        const char* tmpDir = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmpDir != nullptr && *tmpDir != '\0' ? tmpDir : "/tmp") + "/afs-host-test-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
        strPath = pattern;
    }
    ~CScopedTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(strPath, ignored);
    }
    CScopedTempDir(const CScopedTempDir&) = delete;
    CScopedTempDir& operator=(const CScopedTempDir&) = delete;

    const std::string& GetPath() const { return strPath; }

    // Writes `text` to `name` inside the directory and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& text) const {
        std::string path = strPath + "/" + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("cannot write " + path);
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
