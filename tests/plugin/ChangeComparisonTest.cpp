// Resolving a host scan path to one of the job's shares before its changes
// are loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;

class CCountingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string&, NutanixAFSChangeType, const struct stat&,
                          bool) override {
        listPaths.push_back(path);
        return CRhError::Success();
    }
    std::vector<std::string> listPaths;
};

class ChangeComparisonTest : public CPluginTestBase {
protected:
    ChangeComparisonTest() : ptrDB(new CCountingDB) {
        InitializeManager(manager);
        AddShare("/mnt/share1", "cur1");
        AddShare("/mnt/share2", "cur2");
        ptrBackend->fnCreateDiff = [](const std::string&, const std::string& newer) {
            auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
            ptrDiff->setUuidList({"diff-" + newer});
            return ptrDiff;
        };
        ptrBackend->fnGetDiffPage = [](const std::string& diffUuid, const boost::optional<std::string>&) {
            model::Mount_target_snapshot_diff_tracking_output page;
            page.setIsLastPage(true);
            auto ptrObject = std::make_shared<model::Object_info>();
            ptrObject->setOperationType("ADD");
            ptrObject->setPath("/.snapshot/zkop__2_7_1234/" + diffUuid);
            page.setObjectList({ptrObject});
            return page;
        };
    }
    void AddShare(const std::string& mountPath, const std::string& currentUUID) {
        NutanixAFSVolumeInfo info;
        info.strVolumeMountPath = mountPath;
        info.strCurrentSnapUUID = currentUUID;
        info.strCurrentSnapPath = mountPath + "/.snapshot/zkop__2_7_1234";
        info.strScanVolumePath = "/fs1" + mountPath.substr(4);
        manager.listVolumeInfo.push_back(info);
    }
    CRhError Compare(const std::string& sourcePath) {
        CNutanixDBHelperPtr ptrHelper = ptrDB;
        return manager.CompareSnapAndLoadItem(sourcePath, "pass", ptrHelper);
    }

    CScopedTempDir tempDir;
    CTestableManager manager;
    boost::shared_ptr<CCountingDB> ptrDB;
};

TEST_F(ChangeComparisonTest, ScanMapResolvesWithAndWithoutTrailingDelimiter) {
    manager.mapScanToMount["/scan/share1"] = "/mnt/share1/";
    ASSERT_FALSE(Compare("/scan/share1").IsError());
    ASSERT_FALSE(Compare("/scan/share1/").IsError());
    EXPECT_THAT(ptrDB->listPaths, ElementsAre("/fs1/share1/diff-cur1", "/fs1/share1/diff-cur1"));
    EXPECT_EQ("/fs1/share1", manager.listVolumeInfo.front().strScanVolumePath);
}

TEST_F(ChangeComparisonTest, PathBelowAMappedKeyIsNotAKey) {
    manager.mapScanToMount["/scan/share1"] = "/mnt/share1";
    manager.mapScanToMount["/scan/slash/"] = "/mnt/share2";
    CRhError error = Compare("/scan/share1/dir");
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Source volume name /scan/share1/dir not present in the Scan Path to Mount path", error.GetMessage());
    EXPECT_EQ("Source volume name /scan/slash not present in the Scan Path to Mount path",
              Compare("/scan/slash/").GetMessage());
    EXPECT_TRUE(ptrDB->listPaths.empty());
}

TEST_F(ChangeComparisonTest, WithoutScanMapTheHostLooksUpTheMountAndItemsUseTheMountPath) {
    settings.Rewrite("[Host]\nMountTableFile = " +
                     tempDir.WriteFile("mounts", "fs1:/share2 /mnt/share2 nfs rw 0 0\n") + "\n");
    ASSERT_FALSE(Compare("/mnt/share2/some/dir").IsError());
    EXPECT_THAT(ptrDB->listPaths, ElementsAre("/mnt/share2/diff-cur2"));
    EXPECT_EQ("/mnt/share2", manager.listVolumeInfo.back().strScanVolumePath);
    EXPECT_EQ("/fs1/share1", manager.listVolumeInfo.front().strScanVolumePath);
}

TEST_F(ChangeComparisonTest, HostLookupFailureIsPassedOnWithOurLocation) {
    settings.Rewrite("[Host]\nMountTableFile = " + tempDir.WriteFile("mounts", "") + "\n");
    CRhError error = Compare("/mnt/share2");
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(2u, error.GetEntries().size());
    EXPECT_THAT(error.GetEntries().back().location.strFunction, ::testing::HasSubstr("CompareSnapAndLoadItem"));
}

TEST_F(ChangeComparisonTest, LetterCaseMismatchComparesNothingAndSucceeds) {
    manager.mapScanToMount["/scan/share1"] = "/MNT/SHARE1";
    EXPECT_FALSE(Compare("/scan/share1").IsError());
    EXPECT_TRUE(ptrDB->listPaths.empty());
    EXPECT_TRUE(ptrBackend->listCalls.empty());
}

TEST_F(ChangeComparisonTest, OnlyTheFirstRecordOfAMountIsCompared) {
    AddShare("/mnt/share1", "cur1-again");
    manager.mapScanToMount["/scan/share1"] = "/mnt/share1";
    ASSERT_FALSE(Compare("/scan/share1").IsError());
    EXPECT_THAT(ptrDB->listPaths, ElementsAre("/fs1/share1/diff-cur1"));
}

TEST_F(ChangeComparisonTest, BeforeInitializeIsAnError) {
    CTestableManager fresh;
    CNutanixDBHelperPtr ptrHelper = ptrDB;
    EXPECT_EQ("Initialize has not run: no connection to the file server",
              fresh.CompareSnapAndLoadItem("/x", "", ptrHelper).GetMessage());
}

}  // namespace
}  // namespace afs_test
