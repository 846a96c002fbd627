#include "host/MntTab.h"

#include <fstream>
#include <sstream>

#include "host/FXPath.h"
#include "host/PlatformInfo.h"

ZkMntTab::ZkMntTab() {
    ZKPlatformInfo settings;
    if (!settings.getString("Host", "MountTableFile", strFile)) strFile = "/proc/self/mounts";
}

ZkMntTab::ZkMntTab(const std::string& mountTableFile) : strFile(mountTableFile) {}

std::string ZkMntTab::DecodeField(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool ZkMntTab::ParseLine(const std::string& line, Entry& entry) {
    std::istringstream fields(line);
    std::string device, directory, type;
    if (!(fields >> device >> directory)) return false;
    fields >> type;
    if (device[0] == '#') return false;
    entry.strDevice = DecodeField(device);
    entry.strDirectory = DecodeField(directory);
    entry.strType = DecodeField(type);
    return true;
}

CRhError ZkMntTab::getAll(std::vector<Entry>& entries) const {
    std::ifstream in(strFile);
    if (!in) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "Cannot read the mount table [%s]", strFile.c_str());
    }
    const size_t uKept = entries.size();
    std::string line;
    while (std::getline(in, line)) {
        Entry entry;
        if (ParseLine(line, entry)) entries.push_back(std::move(entry));
    }
    // A read error (a directory opens fine but cannot be read) must not pass
    // for an empty table: callers would then find no mount at all.
    if (in.bad()) {
        entries.resize(uKept);
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "Cannot read the mount table [%s]", strFile.c_str());
    }
    return CRhError::Success();
}

const ZkMntTab::Entry* ZkMntTab::find(const std::vector<Entry>& entries, const std::string& path) const {
    const Entry* ptrBest = nullptr;
    size_t uBestLength = 0;
    for (const Entry& entry : entries) {
        if (entry.strDirectory.empty()) continue;
        if (!FXPath::IsDescendantOf(path, entry.strDirectory, true)) continue;
        // Later entries win a tie: a mount on top of another hides it.
        if (ptrBest == nullptr || entry.strDirectory.size() >= uBestLength) {
            ptrBest = &entry;
            uBestLength = entry.strDirectory.size();
        }
    }
    return ptrBest;
}
