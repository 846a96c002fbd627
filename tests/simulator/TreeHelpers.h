#pragma once

#include <fcntl.h>     // AT_FDCWD, AT_SYMLINK_NOFOLLOW
#include <sys/stat.h>  // utimensat

#include <filesystem>
#include <string>
#include <vector>

#include "tools/afs-sim/DiffEngine.h"

namespace afs_test {

// Sets every time below (and of) `strRoot` to 2020-01-01: file times have a
// coarse clock, so a change made right after a snapshot could otherwise keep
// the same times and go unnoticed by the test, not by the engine.
inline void AgeTree(const std::string& strRoot) {
    struct timespec times[2] = {{1577836800, 0}, {1577836800, 0}};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strRoot)) {
        utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    utimensat(AT_FDCWD, strRoot.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// "OPERATION TYPE path" plus " <- old path" for renames: what a reader of a
// difference sees, in the order the engine gives.
inline std::vector<std::string> Describe(const std::vector<afs_sim::DiffObject>& listObjects) {
    std::vector<std::string> listLines;
    for (const afs_sim::DiffObject& object : listObjects) {
        static const char* const kOperations[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
        std::string strLine = kOperations[static_cast<int>(object.eOperation)];
        strLine += object.entry.eType == afs_sim::EObjectType::eDirectory ? " DIRECTORY " : " FILE ";
        strLine += object.entry.strPath;
        if (object.eOperation == afs_sim::EOperation::eRename) strLine += " <- " + object.strOldPath;
        listLines.push_back(strLine);
    }
    return listLines;
}

}  // namespace afs_test
