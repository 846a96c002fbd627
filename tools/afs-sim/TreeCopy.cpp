#include "tools/afs-sim/TreeCopy.h"

#include <fcntl.h>     // AT_FDCWD, AT_SYMLINK_NOFOLLOW
#include <sys/stat.h>  // utimensat keeps nanoseconds, std::filesystem does not
#include <unistd.h>    // linkat: links a symbolic link itself, never its target

#include <filesystem>
#include <utility>
#include <vector>

namespace afs_sim {
namespace fs = std::filesystem;
namespace {

bool CopyTimes(const fs::path& source, const fs::path& target) {
    struct stat info {};
    if (lstat(source.c_str(), &info) != 0) return false;
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    return utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string CopyEntries(const fs::path& source, const fs::path& target,
                        const std::map<std::string, std::string>& mapLinks) {
    std::error_code error;
    if (!fs::create_directories(target, error) || error) {
        return "cannot create " + target.string() + (error ? ": " + error.message() : ": exists");
    }
    std::vector<std::pair<fs::path, fs::path>> listDirectories{{source, target}};
    fs::recursive_directory_iterator it(source, error);
    if (error) return "cannot read " + source.string() + ": " + error.message();
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) return "cannot read " + source.string() + ": " + error.message();
        const fs::path& from = it->path();
        if (it.depth() == 0 && from.filename() == ".snapshot") {
            it.disable_recursion_pending();
            continue;
        }
        fs::path to = target / from.lexically_relative(source);
        fs::file_status status = it->symlink_status(error);
        if (error) return "cannot stat " + from.string() + ": " + error.message();
        if (!fs::is_directory(status)) {
            auto itLink = mapLinks.find(from.lexically_relative(source).string());
            if (itLink != mapLinks.end() &&
                linkat(AT_FDCWD, itLink->second.c_str(), AT_FDCWD, to.c_str(), 0) == 0)
                continue;
        }
        if (fs::is_symlink(status)) {
            fs::copy_symlink(from, to, error);
        } else if (fs::is_directory(status)) {
            fs::create_directory(to, from, error);
            listDirectories.emplace_back(from, to);
        } else if (fs::is_regular_file(status)) {
            fs::copy_file(from, to, error);
        } else {
            continue;
        }
        if (error) return "cannot copy " + from.string() + ": " + error.message();
        if (!fs::is_directory(status)) CopyTimes(from, to);
    }
    // Directory times last, deepest first: creating entries changes them.
    for (auto it2 = listDirectories.rbegin(); it2 != listDirectories.rend(); ++it2) {
        CopyTimes(it2->first, it2->second);
    }
    return {};
}

}  // namespace

std::string CopyShareTree(const std::string& strSource, const std::string& strTarget,
                          const std::map<std::string, std::string>& mapLinks) {
    std::error_code existsError;
    if (fs::exists(fs::symlink_status(strTarget, existsError))) return strTarget + " exists already";
    std::string strError = CopyEntries(strSource, strTarget, mapLinks);
    if (!strError.empty()) {
        std::error_code ignored;
        fs::remove_all(strTarget, ignored);
    }
    return strError;
}

}  // namespace afs_sim
