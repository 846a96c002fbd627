#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "host/PlatformInfo.h"

// Writes `iniText` to a fresh temporary file and points AFS_HOST_SETTINGS at
// it for the scope; the destructor restores the variable's previous value (or
// unsets it) and deletes the file. Settings are re-read by every reader, so a
// component built inside the scope sees this file. Not thread-safe: the
// environment is process-wide.
class CScopedSettings {
public:
    explicit CScopedSettings(const std::string& iniText) {
        const char* previous = std::getenv(ZKPlatformInfo::kEnvSettingsFile);
        bHadPrevious = previous != nullptr;
        if (bHadPrevious) strPrevious = previous;
        const char* tmpDir = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmpDir != nullptr && *tmpDir != '\0' ? tmpDir : "/tmp") + "/afs-settings-XXXXXX";
        int fd = mkstemp(&pattern[0]);
        if (fd < 0) throw std::runtime_error("CScopedSettings: cannot create " + pattern);
        close(fd);
        strPath = pattern;
        Rewrite(iniText);
        setenv(ZKPlatformInfo::kEnvSettingsFile, strPath.c_str(), 1);
    }

    ~CScopedSettings() {
        if (bHadPrevious) setenv(ZKPlatformInfo::kEnvSettingsFile, strPrevious.c_str(), 1);
        else unsetenv(ZKPlatformInfo::kEnvSettingsFile);
        std::remove(strPath.c_str());
    }
    CScopedSettings(const CScopedSettings&) = delete;
    CScopedSettings& operator=(const CScopedSettings&) = delete;

    // Replaces the file's whole text.
    void Rewrite(const std::string& iniText) const {
        std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
        out << iniText;
        out.close();
        if (!out) throw std::runtime_error("CScopedSettings: cannot write " + strPath);
    }

    const std::string& GetPath() const { return strPath; }

private:
    std::string strPath;
    std::string strPrevious;
    bool bHadPrevious = false;
};
