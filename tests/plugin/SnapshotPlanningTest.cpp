// Which snapshots a job keeps, deletes and creates, and what it records.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "restclient/NutanixException.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class SnapshotPlanningTest : public CPluginTestBase {
protected:
    void AddShare(const std::string& mountPath, const std::string& uuid, const std::string& device) {
        NutanixAFSVolumeInfo info;
        info.strVolumeMountPath = mountPath;
        info.strVolumeUUID = uuid;
        info.strSourceVolume = device;
        info.strScanVolumePath = "/fs1/share";
        manager.listVolumeInfo.push_back(info);
    }
    // Serves `snaps` for every mount target, creates snapshots as "new-<name>".
    void ServeListing(std::vector<SnapSpec> snaps) {
        ptrBackend->fnGetMountTargetSnapshot = ServeSnaps(std::move(snaps));
        ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string& name) { return "new-" + name; };
        ptrBackend->fnDeleteSnapshot = [](const std::string&) {};
    }
    std::vector<std::string> Deleted() const {
        std::vector<std::string> listDeleted;
        for (const std::string& call : ptrBackend->listCalls) {
            if (call.rfind("delete_mount_target_snapshot ", 0) == 0) listDeleted.push_back(call.substr(29));
        }
        return listDeleted;
    }

    CScopedTempDir tempDir;
    CTestableManager manager;
};

TEST_F(SnapshotPlanningTest, WorkedListingKeepsTheReferenceAndDeletesStaleOwnSnapshots) {
    InitializeManager(manager, tempDir.GetPath() + "/info", tempDir.GetPath() + "/map", 1200, 1233, 0);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"s1233", "zkop__2_7_1233", "mt"},
                  {"s1200", "zkop__2_7_1200", "mt"},
                  {"s1100", "zkop__2_7_1100", "mt"},
                  {"sman", "manual", "mt"}});
    CRhError error = manager.ConfigureAFSVolumeSnap();
    ASSERT_FALSE(error.IsError()) << error.AsString();

    EXPECT_THAT(Deleted(), ElementsAre("s1200 true", "s1100 true"));
    EXPECT_EQ("create_mount_target_snapshot mt zkop__2_7_1234 [Snapshot created from scan] true",
              ptrBackend->listCalls.back());
    const NutanixAFSVolumeInfo& info = manager.listVolumeInfo.front();
    EXPECT_TRUE(info.bPreviousSnapPresent);
    EXPECT_EQ("zkop__2_7_1233", info.strPreviousSnapName);
    EXPECT_EQ("s1233", info.strPreviousSnapUUID);
    EXPECT_EQ("/mnt/share/.snapshot/zkop__2_7_1233", info.strPreviousSnapPath);
    EXPECT_EQ("zkop__2_7_1234", info.strCurrentSnapName);
    EXPECT_EQ("new-zkop__2_7_1234", info.strCurrentSnapUUID);
    EXPECT_EQ("/mnt/share/.snapshot/zkop__2_7_1234", info.strCurrentSnapPath);
    EXPECT_THAT(manager.mapSourceToLocal, ElementsAre(Pair("/mnt/share", "/mnt/share/.snapshot/zkop__2_7_1234")));
    EXPECT_EQ(1u, log->CountContaining(" strFullSnapName [zkop__2_7_1200], strIncSnapName [zkop__2_7_1233], "
                                       "strPreviousSnapName [zkop__2_7_1233] "));
    EXPECT_EQ(1u, log->CountContaining("Previous refrence snap UUID [s1233], snapname [zkop__2_7_1233"));
    EXPECT_EQ(1u, log->CountContaining("Snap good to be deleted, UUID [s1100], name [zkop__2_7_1100]"));

    // The record files, byte for byte; the source volume's colon stays as is.
    EXPECT_EQ("/mnt/share:zkop__2_7_1234@fs1:/share1:/mnt/share/.snapshot/zkop__2_7_1234\n",
              CScopedTempDir::ReadFile(tempDir.GetPath() + "/info"));
    EXPECT_EQ("m:/mnt/share:/mnt/share/.snapshot/zkop__2_7_1234:\n",
              CScopedTempDir::ReadFile(tempDir.GetPath() + "/map"));
}

TEST_F(SnapshotPlanningTest, SynthFullAfterFullDeletesFullWithItsOwnMessage) {
    InitializeManager(manager, "", "", 1200, 1233, 1210);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"s1200", "zkop__2_7_1200", "mt"}, {"s1210", "zkop__2_7_1210", "mt"}});
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_THAT(Deleted(), ElementsAre("s1200 true"));
    EXPECT_EQ(1u, log->CountContaining("Deleting the full job snapshot since this is after Synthfull job."));
}

TEST_F(SnapshotPlanningTest, IncrementalAndSynthFullNamesAreKept) {
    // The full job's snapshot shares its name with the incremental one: kept.
    InitializeManager(manager, "", "", 1200, 1200, 0);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"s1200", "zkop__2_7_1200", "mt"}, {"s0", "zkop__2_7_0", "mt"}});
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_TRUE(Deleted().empty());  // 1200 is the incremental's, 0 the (absent) synthetic full's
}

TEST_F(SnapshotPlanningTest, LeftoverCurrentSnapshotIsDeletedAndCreatedAnew) {
    InitializeManager(manager, "", "", 1200, 1233, 0);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"old1234", "zkop__2_7_1234", "mt"}});
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_EQ(1u, log->CountContaining("Snap name [zkop__2_7_1234] already present"));
    EXPECT_THAT(Deleted(), ElementsAre("old1234 true"));
    EXPECT_FALSE(manager.listVolumeInfo.front().bPreviousSnapPresent);
}

TEST_F(SnapshotPlanningTest, OtherPrefixesAndLetterCaseAreNeverTouched) {
    CRhError error = manager.Initialize("/r", "", "", "s", "u", "p", 1234, 1233, 1200, 1233, 0, 2, 71,
                                        ContentMapperAPIPtr());
    ASSERT_FALSE(error.IsError());
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"a", "zkop__2_7_12", "mt"}, {"b", "ZKOP__2_71_1233", "mt"}, {"c", "zkop__2_71_99", "mt"}});
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_THAT(Deleted(), ElementsAre("c true"));
}

TEST_F(SnapshotPlanningTest, FailureOnSecondShareLeavesTheFirstPrepared) {
    InitializeManager(manager, tempDir.GetPath() + "/info", tempDir.GetPath() + "/map");
    AddShare("/mnt/a", "mta", "fs1:/a");
    AddShare("/mnt/b", "mtb", "fs1:/b");
    ServeListing({});
    ptrBackend->fnCreateSnapshot = [](const std::string& uuid, const std::string& name) -> std::string {
        if (uuid == "mtb") throw NutanixException("quota exceeded");
        return "new-" + name;
    };
    CRhError error = manager.ConfigureAFSVolumeSnap();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Create Snap function failed with error [quota exceeded]", error.GetMessage());
    EXPECT_EQ("new-zkop__2_7_1234", manager.listVolumeInfo.front().strCurrentSnapUUID);
    EXPECT_TRUE(manager.listVolumeInfo.back().strCurrentSnapUUID.empty());
    EXPECT_EQ("/mnt/a:zkop__2_7_1234@fs1:/a:/mnt/a/.snapshot/zkop__2_7_1234\n",
              CScopedTempDir::ReadFile(tempDir.GetPath() + "/info"));
}

TEST_F(SnapshotPlanningTest, ReferenceLookupIgnoresCaseButComparesWholeComponents) {
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = "/mnt/share";
    info.bPreviousSnapPresent = true;
    manager.listVolumeInfo.push_back(info);
    EXPECT_TRUE(manager.IsPreviousSnapAvailable("/mnt/share"));
    EXPECT_TRUE(manager.IsPreviousSnapAvailable("/mnt/share/"));
    EXPECT_TRUE(manager.IsPreviousSnapAvailable("/MNT/SHARE/dir"));
    EXPECT_FALSE(manager.IsPreviousSnapAvailable("/mnt/share10"));
    EXPECT_FALSE(manager.IsPreviousSnapAvailable("/mnt"));

    manager.listVolumeInfo.front().bPreviousSnapPresent = false;
    EXPECT_FALSE(manager.IsPreviousSnapAvailable("/mnt/share"));
}

TEST_F(SnapshotPlanningTest, ReferenceLookupGoesThroughTheScanMapWhenThereIsOne) {
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = "/mnt/share";
    info.bPreviousSnapPresent = true;
    manager.listVolumeInfo.push_back(info);
    manager.mapScanToMount["/fs1/share"] = "/mnt/share/";
    manager.mapScanToMount["/fs1/other/"] = "/mnt/share";
    EXPECT_TRUE(manager.IsPreviousSnapAvailable("/fs1/share/"));
    EXPECT_FALSE(manager.IsPreviousSnapAvailable("/mnt/share"));   // not a key
    EXPECT_FALSE(manager.IsPreviousSnapAvailable("/fs1/other/"));  // keys ending in "/" are never found
}

TEST_F(SnapshotPlanningTest, RegressionShareInTwoRecordsIsPlannedOnce) {
    // A server whose listing shows the snapshots made so far.
    auto ptrSnaps = std::make_shared<std::vector<SnapSpec>>(std::vector<SnapSpec>{{"s1233", "zkop__2_7_1233", "mt"}});
    ptrBackend->fnGetMountTargetSnapshot = [ptrSnaps](int32_t offset, int32_t) {
        return MakeSnapPage(offset, static_cast<int32_t>(ptrSnaps->size()), *ptrSnaps);
    };
    ptrBackend->fnCreateSnapshot = [ptrSnaps](const std::string& uuid, const std::string& name) {
        ptrSnaps->push_back({"new" + std::to_string(ptrSnaps->size()), name, uuid});
        return ptrSnaps->back().strUuid;
    };
    ptrBackend->fnDeleteSnapshot = [](const std::string&) {};
    InitializeManager(manager);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    AddShare("/mnt/share", "mt", "fs1:/share1");
    AddShare("/mnt/again", "mt", "fs1:/share1");
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_TRUE(Deleted().empty());
    EXPECT_EQ(2u, ptrSnaps->size());  // one snapshot made
    for (const NutanixAFSVolumeInfo& info : manager.listVolumeInfo) {
        EXPECT_EQ("new1", info.strCurrentSnapUUID);
        EXPECT_EQ("s1233", info.strPreviousSnapUUID);
        EXPECT_TRUE(info.bPreviousSnapPresent);
        EXPECT_EQ(info.strVolumeMountPath + "/.snapshot/zkop__2_7_1233", info.strPreviousSnapPath);
    }
    EXPECT_EQ("/mnt/again/.snapshot/zkop__2_7_1234", manager.mapSourceToLocal["/mnt/again"]);
}

TEST_F(SnapshotPlanningTest, RegressionSnapshotWithoutUuidIsNeverDeleted) {
    InitializeManager(manager);
    AddShare("/mnt/share", "mt", "fs1:/share1");
    ServeListing({{"", "zkop__2_7_1100", "mt"}, {"s1101", "zkop__2_7_1101", "mt"}});
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_THAT(Deleted(), ElementsAre("s1101 true"));
    EXPECT_EQ(1u, log->CountContaining("Snap [zkop__2_7_1100] has no UUID and is not deleted"));
}

}  // namespace
}  // namespace afs_test
