#include "tools/afs-sim/Manifest.h"

#include "tools/afs-sim/FileText.h"

#include <fcntl.h>     // AT_FDCWD, AT_SYMLINK_NOFOLLOW
#include <sys/stat.h>  // statx: the birth time is only available there

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace afs_sim {
namespace fs = std::filesystem;
namespace {

int64_t Nanoseconds(const struct statx_timestamp& time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::string EscapePath(const std::string& strPath) {
    std::string strOut;
    strOut.reserve(strPath.size());
    for (char c : strPath) {
        if (c == '\\')
            strOut += "\\\\";
        else if (c == '\t')
            strOut += "\\t";
        else if (c == '\n')
            strOut += "\\n";
        else if (c == '\r')
            strOut += "\\r";
        else
            strOut.push_back(c);
    }
    return strOut;
}

bool UnescapePath(const std::string& strText, std::string& strPath) {
    strPath.clear();
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] != '\\') {
            strPath.push_back(strText[i]);
            continue;
        }
        if (++i == strText.size()) return false;
        switch (strText[i]) {
            case '\\':
                strPath.push_back('\\');
                break;
            case 't':
                strPath.push_back('\t');
                break;
            case 'n':
                strPath.push_back('\n');
                break;
            case 'r':
                strPath.push_back('\r');
                break;
            default:
                return false;
        }
    }
    return true;
}

char TypeLetter(EObjectType eType) {
    switch (eType) {
        case EObjectType::eDirectory:
            return 'D';
        case EObjectType::eSymlink:
            return 'L';
        case EObjectType::eFile:
            break;
    }
    return 'F';
}

}  // namespace

std::string CaptureManifest(const std::string& strShareDir, Manifest& manifest) {
    manifest.clear();
    std::error_code error;
    fs::recursive_directory_iterator it(strShareDir, fs::directory_options::skip_permission_denied, error);
    if (error) return "cannot read share " + strShareDir + ": " + error.message();
    const fs::path root(strShareDir);
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) return "cannot read share " + strShareDir + ": " + error.message();
        const fs::path& entryPath = it->path();
        if (it.depth() == 0 && entryPath.filename() == ".snapshot") {
            it.disable_recursion_pending();
            continue;
        }
        struct statx info {};
        if (statx(AT_FDCWD, entryPath.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) !=
            0) {
            if (errno == ENOENT) continue;  // removed while we walked: not part of the snapshot
            return "cannot stat " + entryPath.string() + ": " + std::strerror(errno);
        }
        ManifestEntry entry;
        if (S_ISDIR(info.stx_mode)) {
            entry.eType = EObjectType::eDirectory;
        } else if (S_ISLNK(info.stx_mode)) {
            entry.eType = EObjectType::eSymlink;
        } else if (S_ISREG(info.stx_mode)) {
            entry.eType = EObjectType::eFile;
        } else {
            continue;
        }
        entry.strPath = entryPath.lexically_relative(root).generic_string();
        entry.uInode = info.stx_ino;
        entry.llSize = static_cast<int64_t>(info.stx_size);
        entry.llAccessNs = Nanoseconds(info.stx_atime);
        entry.llModifyNs = Nanoseconds(info.stx_mtime);
        entry.llChangeNs = Nanoseconds(info.stx_ctime);
        entry.bBirthTime = (info.stx_mask & STATX_BTIME) != 0;
        entry.llCreateNs = entry.bBirthTime ? Nanoseconds(info.stx_btime) : entry.llChangeNs;
        manifest.push_back(std::move(entry));
    }
    std::sort(manifest.begin(), manifest.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.strPath < b.strPath; });
    return {};
}

std::string SaveManifest(const std::string& strFile, const Manifest& manifest) {
    CAtomicFile file(strFile);
    std::string strChunk;
    for (const ManifestEntry& entry : manifest) {
        strChunk += TypeLetter(entry.eType);
        strChunk += '\t';
        strChunk += std::to_string(entry.uInode);
        for (int64_t llField : {entry.llSize, entry.llAccessNs, entry.llModifyNs, entry.llChangeNs,
                                entry.llCreateNs, static_cast<int64_t>(entry.bBirthTime ? 1 : 0)}) {
            strChunk += '\t';
            strChunk += std::to_string(llField);
        }
        strChunk += '\t';
        strChunk += EscapePath(entry.strPath);
        strChunk += '\n';
        if (strChunk.size() >= (1u << 20)) {
            file.Write(strChunk);
            strChunk.clear();
        }
    }
    file.Write(strChunk);
    return file.Commit();
}

std::string LoadManifest(const std::string& strFile, Manifest& manifest) {
    manifest.clear();
    std::ifstream in(strFile, std::ios::binary);
    if (!in) return "cannot read " + strFile;
    std::string strLine;
    size_t uLine = 0;
    while (std::getline(in, strLine)) {
        ++uLine;
        std::istringstream fields(strLine);
        ManifestEntry entry;
        char cType = 0;
        int nBirthTime = -1;
        std::string strEscaped;
        fields >> cType >> entry.uInode >> entry.llSize >> entry.llAccessNs >> entry.llModifyNs >>
            entry.llChangeNs >> entry.llCreateNs >> nBirthTime;
        // The path is everything after the eighth tab: it may hold blanks.
        size_t uTab = 0;
        size_t uPos = 0;
        while (uTab < 8 && (uPos = strLine.find('\t', uPos)) != std::string::npos) {
            ++uPos;
            ++uTab;
        }
        if (!fields || uTab != 8 || (cType != 'D' && cType != 'F' && cType != 'L') ||
            (nBirthTime != 0 && nBirthTime != 1) || !UnescapePath(strLine.substr(uPos), entry.strPath)) {
            return strFile + ":" + std::to_string(uLine) + ": damaged manifest line";
        }
        entry.bBirthTime = nBirthTime == 1;
        entry.eType = cType == 'D'   ? EObjectType::eDirectory
                      : cType == 'L' ? EObjectType::eSymlink
                                     : EObjectType::eFile;
        manifest.push_back(std::move(entry));
    }
    return {};
}

}  // namespace afs_sim
