#include "host/PlatformInfo.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

#include "host/LogWriter.h"

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// The settings are re-read by every reader; report each bad line only once
// per process so a long job does not repeat the same complaint.
void ReportMalformedOnce(const std::string& file, int lineNumber, const std::string& line) {
    static std::mutex mutexReported;
    static std::set<std::string> setReported;
    std::string key = file + ":" + std::to_string(lineNumber) + ":" + line;
    {
        std::lock_guard<std::mutex> lock(mutexReported);
        if (!setReported.insert(key).second) return;
    }
    HOST_LOG(0, "Malformed settings line %d in [%s] skipped: [%s]", lineNumber, file.c_str(), line.c_str());
}

}  // namespace

ZKPlatformInfo::ZKPlatformInfo() { Load(SettingsFilePath()); }

ZKPlatformInfo::ZKPlatformInfo(const std::string& settingsFile) { Load(settingsFile); }

std::string ZKPlatformInfo::SettingsFilePath() {
    const char* env = std::getenv(kEnvSettingsFile);
    return (env != nullptr && *env != '\0') ? std::string(env) : std::string(kDefaultSettingsFile);
}

void ZKPlatformInfo::Load(const std::string& settingsFile) {
    std::ifstream in(settingsFile);
    if (!in) return;
    std::string line;
    std::string section;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text[0] == '[') {
            section = text.back() == ']' ? Trim(text.substr(1, text.size() - 2)) : std::string();
            // The keys under a broken header belong to no section; filing them
            // under the previous one would change settings nobody wrote.
            if (section.empty()) ReportMalformedOnce(settingsFile, lineNumber, line);
            continue;
        }
        size_t equals = text.find('=');
        std::string key = equals == std::string::npos ? std::string() : Trim(text.substr(0, equals));
        if (key.empty() || section.empty()) {
            ReportMalformedOnce(settingsFile, lineNumber, line);
            continue;
        }
        mapValues[section + "\n" + key] = Trim(text.substr(equals + 1));
    }
}

bool ZKPlatformInfo::getNumber(const std::string& section, const std::string& key,
                               unsigned long long& value) const {
    auto it = mapValues.find(section + "\n" + key);
    if (it == mapValues.end() || it->second.empty()) return false;
    const std::string& text = it->second;
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno == ERANGE || end == nullptr || *end != '\0') return false;
    value = parsed;
    return true;
}

bool ZKPlatformInfo::getString(const std::string& section, const std::string& key, std::string& text) const {
    auto it = mapValues.find(section + "\n" + key);
    if (it == mapValues.end() || it->second.empty()) {
        text.clear();
        return false;
    }
    text = it->second;
    return true;
}
