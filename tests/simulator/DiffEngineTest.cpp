#include "tools/afs-sim/DiffEngine.h"

#include <fcntl.h>     // AT_FDCWD, AT_SYMLINK_NOFOLLOW
#include <gtest/gtest.h>
#include <sys/stat.h>  // utimensat

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "tests/support/ScopedTempDir.h"
#include "tools/afs-sim/Manifest.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;
using afs_sim::Manifest;

// Sets every time in the tree to 2020-01-01: file times have a coarse clock,
// so a change made right after capturing could otherwise go unnoticed.
void AgeTree(const std::string& strRoot) {
    struct timespec times[2] = {{1577836800, 0}, {1577836800, 0}};
    for (const auto& entry : fs::recursive_directory_iterator(strRoot)) {
        utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    utimensat(AT_FDCWD, strRoot.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// "OPERATION TYPE path" plus " <- old path" for renames, in the engine's order.
std::vector<std::string> Describe(const std::vector<afs_sim::DiffObject>& listObjects) {
    std::vector<std::string> listLines;
    for (const afs_sim::DiffObject& object : listObjects) {
        static const char* const kOperations[] = {"ADD", "MODIFY", "RENAME", "DELETE"};
        listLines.push_back(std::string(kOperations[static_cast<int>(object.eOperation)]) +
                            (object.entry.eType == afs_sim::EObjectType::eDirectory ? " DIRECTORY " : " FILE ") +
                            object.entry.strPath +
                            (object.eOperation == afs_sim::EOperation::eRename ? " <- " + object.strOldPath : ""));
    }
    return listLines;
}

struct TreeCase {
    const char* szName;
    std::vector<const char*> listFiles;  // written before the older capture
    std::function<void(const std::string& strShare)> fnChange;
    std::vector<std::string> listExpected;
    std::string strPathPrefix = "";
    bool bOnlyFiles = false;
};

const std::string kUtf8Name = "\xC3\xBCn\xC3\xAF c\xC3\xB8" "d\xC3\xA9 \xE2\x82\xAC.txt";
const TreeCase kTrees[] = {
    {"add modify delete", {"a.txt", "keep.txt", "docs/old.txt"}, [](const std::string& s) {
         std::ofstream(s + "/a.txt") << "more";
         fs::remove(s + "/docs/old.txt");
         std::ofstream(s + "/new file.txt") << "new";
     }, {"DELETE FILE docs/old.txt", "MODIFY FILE a.txt", "MODIFY DIRECTORY docs", "ADD FILE new file.txt"}},
    {"file rename keeps the inode", {"dir one/sub/x:y.txt"},
     [](const std::string& s) { fs::rename(s + "/dir one/sub/x:y.txt", s + "/dir one/" + kUtf8Name); },
     {"MODIFY DIRECTORY dir one", "MODIFY DIRECTORY dir one/sub", "RENAME FILE dir one/" + kUtf8Name + " <- dir one/sub/x:y.txt"}},
    {"folder rename renames what is below", {"a/b/c/deep.txt"}, [](const std::string& s) {
         fs::rename(s + "/a/b", s + "/a/b2");
         std::ofstream(s + "/a/b2/c/new.txt") << "new";
     }, {"MODIFY DIRECTORY a", "RENAME DIRECTORY a/b2 <- a/b", "RENAME DIRECTORY a/b2/c <- a/b/c",
         "RENAME FILE a/b2/c/deep.txt <- a/b/c/deep.txt", "ADD FILE a/b2/c/new.txt"}},
    {"deleted tree, top down", {"gone/inner/f.txt", "stay.txt"}, [](const std::string& s) { fs::remove_all(s + "/gone"); },
     {"DELETE DIRECTORY gone", "DELETE DIRECTORY gone/inner", "DELETE FILE gone/inner/f.txt"}},
    {"file becomes folder", {"thing"}, [](const std::string& s) { fs::remove(s + "/thing"), fs::create_directory(s + "/thing"); },
     {"DELETE FILE thing", "ADD DIRECTORY thing"}},
    // Editors save this way: the new inode takes over the path.
    {"replaced at the same path", {"report.txt", "report.txt.tmp"},
     [](const std::string& s) { fs::rename(s + "/report.txt.tmp", s + "/report.txt"); },
     {"DELETE FILE report.txt.tmp", "MODIFY FILE report.txt"}},
    {"unchanged", {"a/b.txt"}, [](const std::string&) {}, {}},
    {"path filter", {"docs/a.txt", "docsextra/b.txt"}, [](const std::string& s) {
         std::ofstream(s + "/docs/new.txt") << "x";
         std::ofstream(s + "/docsextra/new.txt") << "x";
     }, {"MODIFY DIRECTORY docs", "ADD FILE docs/new.txt"}, "/docs/"},
    {"type filter", {"docs/a.txt"}, [](const std::string& s) { std::ofstream(s + "/docs/new.txt") << "x"; },
     {"ADD FILE docs/new.txt"}, "", true},
};

TEST(DiffEngine, TreeBeforeAndAfterGiveTheObjectsOfTheDifference) {
    for (const TreeCase& row : kTrees) {
        SCOPED_TRACE(row.szName);
        CScopedTempDir tempDir;
        const std::string strShare = tempDir.GetPath() + "/share";
        for (const char* szFile : row.listFiles) tempDir.WriteFile(std::string("share/") + szFile, szFile);
        AgeTree(strShare);
        Manifest older, newer;
        ASSERT_EQ("", afs_sim::CaptureManifest(strShare, older));
        row.fnChange(strShare);
        ASSERT_EQ("", afs_sim::CaptureManifest(strShare, newer));
        afs_sim::DiffFilter filter;
        filter.strPathPrefix = row.strPathPrefix;
        filter.bOnlyType = row.bOnlyFiles;
        EXPECT_EQ(row.listExpected, Describe(afs_sim::ComputeDifference(older, newer, filter)));
    }
}

afs_sim::ManifestEntry Entry(const std::string& strPath, int64_t llBirthNs) {
    afs_sim::ManifestEntry entry;
    entry.strPath = strPath;
    entry.uInode = 77;
    entry.llCreateNs = llBirthNs;
    entry.bBirthTime = true;
    return entry;
}

TEST(DiffEngine, RegressionReusedInodeOfADeletedFileIsNotARename) {
    const Manifest older{Entry("deleted.txt", 1000)};
    EXPECT_EQ((std::vector<std::string>{"DELETE FILE deleted.txt", "ADD FILE created.txt"}),
              Describe(afs_sim::ComputeDifference(older, {Entry("created.txt", 2000)}, {})));
    EXPECT_EQ((std::vector<std::string>{"RENAME FILE created.txt <- deleted.txt"}),
              Describe(afs_sim::ComputeDifference(older, {Entry("created.txt", 1000)}, {})));
}

TEST(DiffEngine, ManifestSkipsSnapshotsKeepsOddNamesAndRefusesDamage) {
    CScopedTempDir tempDir;
    const std::string strShare = tempDir.GetPath() + "/share";
    for (const char* szFile : {".snapshot/s1/copy.txt", "tab\tname", "line\nbreak", "back\\slash", "sub/.snapshot"}) {
        tempDir.WriteFile(std::string("share/") + szFile, "x");
    }
    Manifest manifest, loaded;
    ASSERT_EQ("", afs_sim::CaptureManifest(strShare, manifest));
    std::vector<std::string> listPaths;
    for (const auto& entry : manifest) listPaths.push_back(entry.strPath);
    EXPECT_EQ((std::vector<std::string>{"back\\slash", "line\nbreak", "sub", "sub/.snapshot", "tab\tname"}), listPaths);
    const std::string strFile = tempDir.GetPath() + "/manifest.tsv";
    ASSERT_EQ("", afs_sim::SaveManifest(strFile, manifest));
    ASSERT_EQ("", afs_sim::LoadManifest(strFile, loaded));
    ASSERT_EQ(manifest.size(), loaded.size());
    for (size_t i = 0; i < manifest.size(); ++i) {
        const auto &saved = manifest[i], &again = loaded[i];
        EXPECT_EQ(std::tie(saved.strPath, saved.uInode, saved.llSize, saved.llModifyNs, saved.llCreateNs, saved.eType),
                  std::tie(again.strPath, again.uInode, again.llSize, again.llModifyNs, again.llCreateNs, again.eType));
    }
    tempDir.WriteFile("manifest.tsv", "F\t1\t2\t3\n");
    EXPECT_NE(std::string::npos, afs_sim::LoadManifest(strFile, loaded).find("damaged manifest line"));
}

}  // namespace
}  // namespace afs_test
