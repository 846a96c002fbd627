// The end-to-end runs pin down the common changes; what they rely on without
// being able to force is an inode number that the file system hands on: to
// the path a file is renamed over, or to a new file.
#include "tools/afs-sim/DiffEngine.h"

#include <gtest/gtest.h>

#include "tools/afs-sim/Manifest.h"

namespace afs_test {
namespace {

using afs_sim::EObjectType;
using afs_sim::Manifest;

// "OPERATION TYPE path" plus " <- old path" for renames, in the engine's order.
std::vector<std::string> Describe(const std::vector<afs_sim::DiffObject>& listObjects) {
    std::vector<std::string> listLines;
    for (const afs_sim::DiffObject& object : listObjects) {
        static const char* const kOperations[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
        listLines.push_back(
            std::string(kOperations[static_cast<int>(object.eOperation)]) +
            (object.entry.eType == EObjectType::eDirectory ? " DIRECTORY " : " FILE ") +
            object.entry.strPath +
            (object.eOperation == afs_sim::EOperation::eRename ? " <- " + object.strOldPath : ""));
    }
    return listLines;
}

// An entry with a birth time when llBirthNs is not 0.
afs_sim::ManifestEntry Entry(const char* szPath, uint64_t uInode, int64_t llBirthNs = 0,
                             EObjectType eType = EObjectType::eFile) {
    return {szPath, eType, uInode, 0, 0, 0, 0, llBirthNs, llBirthNs != 0};
}

TEST(DiffEngine, AnInodeAtAnotherPathIsARenameOnlyOfTheSameFileAndNeverOverAnOldPath) {
    const struct {
        const char* szName;
        Manifest older, newer;
        std::vector<std::string> listExpected;
    } kCases[] = {
        // Editors save this way: the new text is renamed over the old.
        {"file moved over another",
         {Entry("report.txt", 1, 1000), Entry("report.txt.tmp", 2, 2000)},
         {Entry("report.txt", 2, 2000)},
         {"DELETE FILE report.txt.tmp", "MODIFY FILE report.txt"}},
        {"file becomes folder",
         {Entry("report.txt", 1)},
         {Entry("report.txt", 3, 0, EObjectType::eDirectory)},
         {"DELETE FILE report.txt", "ADD DIRECTORY report.txt"}},
        {"RegressionReusedInodeOfADeletedFileIsNotARename",
         {Entry("deleted.txt", 77, 1000)},
         {Entry("created.txt", 77, 2000)},
         {"DELETE FILE deleted.txt", "ADD FILE created.txt"}},
        {"same inode and birth time",
         {Entry("deleted.txt", 77, 1000)},
         {Entry("created.txt", 77, 1000)},
         {"RENAME FILE created.txt <- deleted.txt"}},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.szName);
        EXPECT_EQ(row.listExpected, Describe(afs_sim::ComputeDifference(row.older, row.newer, {})));
    }
}

}  // namespace
}  // namespace afs_test
