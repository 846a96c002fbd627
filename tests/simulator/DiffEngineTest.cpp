// The end-to-end runs pin down the common changes; what they rely on without
// being able to force is an inode number that the file system hands on.
#include "tools/afs-sim/DiffEngine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/ScopedTempDir.h"
#include "tools/afs-sim/Manifest.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;
using afs_sim::Manifest;

// "OPERATION TYPE path" plus " <- old path" for renames, in the engine's order.
std::vector<std::string> Describe(const std::vector<afs_sim::DiffObject>& listObjects) {
    std::vector<std::string> listLines;
    for (const afs_sim::DiffObject& object : listObjects) {
        static const char* const kOperations[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
        listLines.push_back(
            std::string(kOperations[static_cast<int>(object.eOperation)]) +
            (object.entry.eType == afs_sim::EObjectType::eDirectory ? " DIRECTORY " : " FILE ") +
            object.entry.strPath +
            (object.eOperation == afs_sim::EOperation::eRename ? " <- " + object.strOldPath : ""));
    }
    return listLines;
}

TEST(DiffEngine, NewInodeAtAnOldPathIsAReplacementNotARename) {
    const struct {
        const char* szName;
        std::function<void(const std::string& strShare)> fnChange;
        std::vector<std::string> listExpected;
    } kCases[] = {
        // Editors save this way.
        {"file moved over another",
         [](const std::string& s) { fs::rename(s + "/report.txt.tmp", s + "/report.txt"); },
         {"DELETE FILE report.txt.tmp", "MODIFY FILE report.txt"}},
        {"file becomes folder",
         [](const std::string& s) { fs::remove(s + "/report.txt"), fs::create_directory(s + "/report.txt"); },
         {"DELETE FILE report.txt", "ADD DIRECTORY report.txt"}},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.szName);
        CScopedTempDir tempDir;
        const std::string strShare = tempDir.GetPath() + "/share";
        tempDir.WriteFile("share/report.txt", "old");
        tempDir.WriteFile("share/report.txt.tmp", "new");
        Manifest older, newer;
        ASSERT_EQ("", afs_sim::CaptureManifest(strShare, older));
        row.fnChange(strShare);
        ASSERT_EQ("", afs_sim::CaptureManifest(strShare, newer));
        EXPECT_EQ(row.listExpected, Describe(afs_sim::ComputeDifference(older, newer, {})));
    }
}

TEST(DiffEngine, RegressionReusedInodeOfADeletedFileIsNotARename) {
    auto entry = [](const char* szPath, int64_t llBirthNs) {
        return afs_sim::ManifestEntry{szPath, afs_sim::EObjectType::eFile, 77, 0, 0, 0, 0, llBirthNs, true};
    };
    const Manifest older{entry("deleted.txt", 1000)};
    EXPECT_EQ((std::vector<std::string>{"DELETE FILE deleted.txt", "ADD FILE created.txt"}),
              Describe(afs_sim::ComputeDifference(older, {entry("created.txt", 2000)}, {})));
    EXPECT_EQ((std::vector<std::string>{"RENAME FILE created.txt <- deleted.txt"}),
              Describe(afs_sim::ComputeDifference(older, {entry("created.txt", 1000)}, {})));
}

}  // namespace
}  // namespace afs_test
