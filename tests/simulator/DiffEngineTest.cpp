#include "tools/afs-sim/DiffEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/simulator/FileHelpers.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/simulator/TreeHelpers.h"
#include "tools/afs-sim/Manifest.h"
#include "tools/afs-sim/TreeCopy.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;
using afs_sim::ComputeDifference;
using afs_sim::DiffFilter;
using afs_sim::Manifest;
using ::testing::ElementsAre;

class DiffEngineTest : public ::testing::Test {
protected:
    std::string Share(const std::string& strRelative = "") const {
        return tempDir.GetPath() + "/share" + (strRelative.empty() ? "" : "/" + strRelative);
    }
    Manifest Capture() const {
        Manifest manifest;
        EXPECT_EQ("", afs_sim::CaptureManifest(Share(), manifest));
        return manifest;
    }
    // Ages the tree, takes the older manifest, runs `change`, takes the newer one.
    template <typename Change>
    std::vector<std::string> DiffAround(Change change, const DiffFilter& filter = {}) {
        AgeTree(Share());
        Manifest older = Capture();
        change();
        Manifest newer = Capture();
        return Describe(ComputeDifference(older, newer, filter));
    }

    CScopedTempDir tempDir;
};

TEST_F(DiffEngineTest, FilesAddedModifiedDeletedAndTheirFolderModified) {
    WriteFile(Share("a.txt"), "one");
    WriteFile(Share("keep.txt"), "same");
    WriteFile(Share("docs/old.txt"), "old");
    auto listLines = DiffAround([&] {
        WriteFile(Share("a.txt"), "one and more");
        fs::remove(Share("docs/old.txt"));
        WriteFile(Share("new file.txt"), "new");
    });
    EXPECT_THAT(listLines, ElementsAre("DELETE FILE docs/old.txt", "MODIFY FILE a.txt", "MODIFY DIRECTORY docs",
                                       "ADD FILE new file.txt"));
}

TEST_F(DiffEngineTest, RenamedFileKeepsItsInodeAndReportsBothPathsWithBlanksColonsAndUtf8) {
    WriteFile(Share("dir one/sub/x:y.txt"), "content");
    auto listLines = DiffAround([&] {
        fs::rename(Share("dir one/sub/x:y.txt"), Share("dir one/\xC3\xBCn\xC3\xAF c\xC3\xB8" "d\xC3\xA9 \xE2\x82\xAC.txt"));
    });
    EXPECT_THAT(listLines,
                ElementsAre("MODIFY DIRECTORY dir one", "MODIFY DIRECTORY dir one/sub",
                            "RENAME FILE dir one/\xC3\xBCn\xC3\xAF c\xC3\xB8" "d\xC3\xA9 \xE2\x82\xAC.txt <- dir one/sub/x:y.txt"));
}

TEST_F(DiffEngineTest, RenamedDirectoryRenamesEverythingBelowAndNestedAddsAppear) {
    WriteFile(Share("a/b/c/deep.txt"), "deep");
    auto listLines = DiffAround([&] {
        fs::rename(Share("a/b"), Share("a/b2"));
        WriteFile(Share("a/b2/c/new.txt"), "new");
    });
    EXPECT_THAT(listLines, ElementsAre("MODIFY DIRECTORY a", "RENAME DIRECTORY a/b2 <- a/b",
                                       "RENAME DIRECTORY a/b2/c <- a/b/c", "RENAME FILE a/b2/c/deep.txt <- a/b/c/deep.txt",
                                       "ADD FILE a/b2/c/new.txt"));
}

TEST_F(DiffEngineTest, DeletedDirectoryTreeIsReportedFromTheTopDown) {
    WriteFile(Share("gone/inner/f.txt"), "x");
    WriteFile(Share("stay.txt"), "x");
    auto listLines = DiffAround([&] { fs::remove_all(Share("gone")); });
    EXPECT_THAT(listLines, ElementsAre("DELETE DIRECTORY gone", "DELETE DIRECTORY gone/inner", "DELETE FILE gone/inner/f.txt"));
}

TEST_F(DiffEngineTest, FileReplacedByDirectoryIsDeleteThenAdd) {
    WriteFile(Share("thing"), "file");
    auto listLines = DiffAround([&] {
        fs::remove(Share("thing"));
        fs::create_directory(Share("thing"));
    });
    EXPECT_THAT(listLines, ElementsAre("DELETE FILE thing", "ADD DIRECTORY thing"));
}

TEST_F(DiffEngineTest, FileReplacedAtTheSamePathIsModified) {
    WriteFile(Share("report.txt"), "v1");
    WriteFile(Share("report.txt.tmp"), "v2");
    // Editors save this way: the new inode takes over the path.
    auto listLines = DiffAround([&] { fs::rename(Share("report.txt.tmp"), Share("report.txt")); });
    EXPECT_THAT(listLines, ElementsAre("DELETE FILE report.txt.tmp", "MODIFY FILE report.txt"));
}

afs_sim::ManifestEntry Entry(const std::string& strPath, uint64_t uInode, int64_t llBirthNs) {
    afs_sim::ManifestEntry entry;
    entry.strPath = strPath;
    entry.uInode = uInode;
    entry.llCreateNs = llBirthNs;
    entry.bBirthTime = true;
    return entry;
}

TEST(DiffEngineRegressionTest, ReusedInodeOfADeletedFileIsNotARename) {
    Manifest older{Entry("deleted.txt", 77, 1000)};
    Manifest newer{Entry("created.txt", 77, 2000)};
    EXPECT_THAT(Describe(ComputeDifference(older, newer, {})), ElementsAre("DELETE FILE deleted.txt", "ADD FILE created.txt"));
    newer = {Entry("created.txt", 77, 1000)};
    EXPECT_THAT(Describe(ComputeDifference(older, newer, {})), ElementsAre("RENAME FILE created.txt <- deleted.txt"));
}

TEST_F(DiffEngineTest, UnchangedTreeHasNoDifference) {
    WriteFile(Share("a/b.txt"), "x");
    EXPECT_TRUE(DiffAround([] {}).empty());
}

TEST_F(DiffEngineTest, PathAndTypeFiltersKeepOnlyWhatMatches) {
    WriteFile(Share("docs/a.txt"), "x");
    WriteFile(Share("docsextra/b.txt"), "x");
    DiffFilter filter;
    filter.strPathPrefix = "/docs/";
    auto listLines = DiffAround(
        [&] {
            WriteFile(Share("docs/new.txt"), "x");
            WriteFile(Share("docsextra/new.txt"), "x");
        },
        filter);
    EXPECT_THAT(listLines, ElementsAre("MODIFY DIRECTORY docs", "ADD FILE docs/new.txt"));

    filter = DiffFilter();
    filter.bOnlyType = true;
    filter.eType = afs_sim::EObjectType::eFile;
    listLines = DiffAround([&] { WriteFile(Share("docs/newer.txt"), "x"); }, filter);
    EXPECT_THAT(listLines, ElementsAre("ADD FILE docs/newer.txt"));
}

TEST_F(DiffEngineTest, ManifestLeavesOutSnapshotFolderAndSurvivesOddNamesOnDisk) {
    WriteFile(Share(".snapshot/s1/copy.txt"), "copy");
    WriteFile(Share("tab\tname"), "t");
    WriteFile(Share("line\nbreak"), "n");
    WriteFile(Share("back\\slash"), "b");
    WriteFile(Share("sub/.snapshot"), "an ordinary file deeper down");
    Manifest manifest = Capture();
    std::vector<std::string> listPaths;
    for (const auto& entry : manifest) listPaths.push_back(entry.strPath);
    EXPECT_THAT(listPaths, ElementsAre("back\\slash", "line\nbreak", "sub", "sub/.snapshot", "tab\tname"));

    const std::string strFile = tempDir.GetPath() + "/manifest.tsv";
    ASSERT_EQ("", afs_sim::SaveManifest(strFile, manifest));
    Manifest loaded;
    ASSERT_EQ("", afs_sim::LoadManifest(strFile, loaded));
    ASSERT_EQ(manifest.size(), loaded.size());
    for (size_t i = 0; i < manifest.size(); ++i) {
        EXPECT_EQ(manifest[i].strPath, loaded[i].strPath);
        EXPECT_EQ(manifest[i].uInode, loaded[i].uInode);
        EXPECT_EQ(manifest[i].llSize, loaded[i].llSize);
        EXPECT_EQ(manifest[i].llModifyNs, loaded[i].llModifyNs);
        EXPECT_EQ(manifest[i].llCreateNs, loaded[i].llCreateNs);
        EXPECT_EQ(manifest[i].eType, loaded[i].eType);
    }
}

TEST_F(DiffEngineTest, DamagedManifestIsAnErrorNotAnEmptyTree) {
    const std::string strFile = tempDir.GetPath() + "/manifest.tsv";
    WriteFile(strFile, "F\t1\t2\t3\n");
    Manifest loaded;
    EXPECT_THAT(afs_sim::LoadManifest(strFile, loaded), ::testing::HasSubstr("damaged manifest line"));
}

TEST_F(DiffEngineTest, TreeCopyKeepsContentAndTimesAndSkipsSnapshots) {
    WriteFile(Share("d/f.txt"), "payload");
    WriteFile(Share(".snapshot/old/x"), "x");
    AgeTree(Share());
    const std::string strCopy = tempDir.GetPath() + "/copy";
    ASSERT_EQ("", afs_sim::CopyShareTree(Share(), strCopy));
    EXPECT_EQ("payload", CScopedTempDir::ReadFile(strCopy + "/d/f.txt"));
    EXPECT_FALSE(fs::exists(strCopy + "/.snapshot"));
    struct stat info {};
    ASSERT_EQ(0, stat((strCopy + "/d/f.txt").c_str(), &info));
    EXPECT_EQ(1577836800, info.st_mtim.tv_sec);
    ASSERT_EQ(0, stat((strCopy + "/d").c_str(), &info));
    EXPECT_EQ(1577836800, info.st_mtim.tv_sec);
    // A second copy onto an existing folder must not clobber it.
    EXPECT_NE("", afs_sim::CopyShareTree(Share(), strCopy));
    EXPECT_EQ("payload", CScopedTempDir::ReadFile(strCopy + "/d/f.txt"));
}

}  // namespace
}  // namespace afs_test
