#pragma once

#include <map>
#include <string>

#include "host/HostExport.h"

// Host settings, read from an INI file ("[Section]" lines, "key = value"
// lines, ";" or "#" comments). The file is $AFS_HOST_SETTINGS, or
// /etc/afs-scan/host.ini when that variable is unset or empty. A missing file,
// section or key means "not set": callers apply their defaults. Section and key
// names are case-sensitive. A malformed line is logged once and skipped; after
// a malformed section header, the keys up to the next good header are too.
class HOST_EXPORT ZKPlatformInfo {
public:
    static constexpr const char* kEnvSettingsFile = "AFS_HOST_SETTINGS";
    static constexpr const char* kDefaultSettingsFile = "/etc/afs-scan/host.ini";

    // Reads the settings file named by the environment.
    ZKPlatformInfo();
    // Reads the given settings file.
    explicit ZKPlatformInfo(const std::string& settingsFile);

    // True and `value` set when the key exists and holds an unsigned decimal
    // number (values that do not fit 64 bits count as absent).
    bool getNumber(const std::string& section, const std::string& key, unsigned long long& value) const;
    // True and `text` set when the key exists with a non-empty value;
    // otherwise `text` is cleared.
    bool getString(const std::string& section, const std::string& key, std::string& text) const;

    static std::string SettingsFilePath();

private:
    void Load(const std::string& settingsFile);
    std::map<std::string, std::string> mapValues;  // "section\nkey" -> value
};
