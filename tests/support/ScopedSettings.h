#pragma once

#include <cstdlib>
#include <string>

#include "host/PlatformInfo.h"
#include "tests/support/ScopedTempDir.h"

// Writes `iniText` to a file in a fresh temporary folder and points
// AFS_HOST_SETTINGS at it for the scope; the destructor restores the
// variable's previous value (or unsets it). Settings are re-read by every
// reader, so a component built inside the scope sees this file. Not
// thread-safe: the environment is process-wide.
class CScopedSettings {
public:
    explicit CScopedSettings(const std::string& iniText) {
        if (const char* pszPrevious = std::getenv(ZKPlatformInfo::kEnvSettingsFile))
            bHadPrevious = true, strPrevious = pszPrevious;
        Rewrite(iniText);
        setenv(ZKPlatformInfo::kEnvSettingsFile, strPath.c_str(), 1);
    }
    ~CScopedSettings() {
        if (bHadPrevious)
            setenv(ZKPlatformInfo::kEnvSettingsFile, strPrevious.c_str(), 1);
        else
            unsetenv(ZKPlatformInfo::kEnvSettingsFile);
    }
    CScopedSettings(const CScopedSettings&) = delete;
    CScopedSettings& operator=(const CScopedSettings&) = delete;

    // Replaces the file's whole text.
    void Rewrite(const std::string& iniText) { strPath = tempDir.WriteFile("settings.ini", iniText); }

    const std::string& GetPath() const { return strPath; }

private:
    bool bHadPrevious = false;
    std::string strPrevious, strPath;
    CScopedTempDir tempDir;
};
