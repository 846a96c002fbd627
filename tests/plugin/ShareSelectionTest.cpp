// Which shares a job selects, and the records and source-to-local entries it
// makes for them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/ContentMapper.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class ShareSelectionTest : public CPluginTestBase {
protected:
    void SetMountTable(const std::string& text) {
        settings.Rewrite("[Host]\nMountTableFile = " + tempDir.WriteFile("mounts", text) + "\n");
    }
    CRhError Configure(std::list<std::string> scanPaths, std::vector<MountedTargets> shares) {
        return manager.ConfigureAFSVolumeInfo(scanPaths, shares);
    }
    static MountedTargets Share(const std::string& name, const std::string& uuid, bool bMarked = true) {
        MountedTargets share;
        share.strShareName = name;
        share.strShareUUID = uuid;
        share.strShareType = "GENERAL";
        share.bCFTBackup = bMarked;
        return share;
    }

    CScopedTempDir tempDir;
    CTestableManager manager;
};

TEST_F(ShareSelectionTest, MountBelowTheShareRootSelectsTheShare) {
    SetMountTable("fs1:/share1/sub /mnt/s1 nfs rw 0 0\n");
    ASSERT_FALSE(Configure({"/mnt/s1/dir"}, {Share("share1", "u1")}).IsError());
    ASSERT_EQ(1u, manager.listVolumeInfo.size());
    const NutanixAFSVolumeInfo& info = manager.listVolumeInfo.front();
    EXPECT_EQ("fs1:/share1/sub", info.strSourceVolume);
    EXPECT_EQ("/mnt/s1", info.strVolumeMountPath);
    EXPECT_EQ("u1", info.strVolumeUUID);
    EXPECT_EQ("/fs1/share1", info.strScanVolumePath);
    EXPECT_FALSE(info.bPreviousSnapPresent);
    EXPECT_TRUE(info.strCurrentSnapName.empty() && info.strPreviousSnapUUID.empty());
    EXPECT_THAT(manager.mapSourceToLocal, ElementsAre(Pair("/mnt/s1", "/mnt/s1/.afs/snapshot")));
    EXPECT_EQ(1u, log->CountContaining("directory[/mnt/s1], device [fs1:/share1/sub]"));
}

TEST_F(ShareSelectionTest, ContentMapperGivesTheHostPartOfTheScanPath) {
    SetMountTable("fs1:/share1 /mnt/s1 nfs rw 0 0\n");
    manager.ptrContentMapper.reset(new CPrefixContentMapper(ContentMapperAPI::Map{{"/mnt/s1", "/cluster9/share1"}}));
    ASSERT_FALSE(Configure({"/mnt/s1"}, {Share("share1", "u1")}).IsError());
    ASSERT_EQ(1u, manager.listVolumeInfo.size());
    EXPECT_EQ("/cluster9/share1", manager.listVolumeInfo.front().strScanVolumePath);
    EXPECT_EQ("fs1:/share1", manager.listVolumeInfo.front().strSourceVolume);
}

TEST_F(ShareSelectionTest, ContentMapperThatLeavesThePathEmptyFailsTheSelection) {
    SetMountTable("fs1:/share1 /mnt/s1 nfs rw 0 0\n");
    manager.ptrContentMapper.reset(new CPrefixContentMapper(ContentMapperAPI::Map{{"/elsewhere", "/x"}}));
    CRhError error = Configure({"/mnt/s1"}, {Share("nomatch", "u0"), Share("share1", "u1")});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1u, error.GetCode());
    EXPECT_EQ("Invalid scan format received []", error.GetMessage());
    EXPECT_EQ("convertScanToMountFormat failed", error.GetEntries().back().strMessage);
    EXPECT_TRUE(manager.listVolumeInfo.empty());
    ASSERT_FALSE(log->GetLines().empty());
    EXPECT_EQ(-1, log->GetLines().back().nLevel);
}

TEST_F(ShareSelectionTest, EveryMarkedShareUnderTheExportIsSelectedInScanPathOrder) {
    SetMountTable("fs1:/ /mnt/all nfs rw 0 0\nfs1:/share2 /mnt/s2 nfs rw 0 0\n");
    // fs1:/ is above every share, so no share root holds it: nothing from /mnt/all.
    ASSERT_FALSE(Configure({"/mnt/all", "/mnt/s2/a", "/mnt/s2/b"},
                           {Share("share1", "u1", false), Share("share2", "u2"), Share("share3", "u3", false)})
                     .IsError());
    ASSERT_EQ(2u, manager.listVolumeInfo.size());
    EXPECT_EQ("u2", manager.listVolumeInfo.front().strVolumeUUID);
    EXPECT_EQ("u2", manager.listVolumeInfo.back().strVolumeUUID);
    // Logged once per scan path with a mount entry, for each unmarked share.
    EXPECT_EQ(3u, log->CountContaining("The [share1] share will not be backed up since it is not CFT_BACKUP marked"));
    EXPECT_EQ(3u, log->CountContaining("The [share3] share will not be backed up"));
    EXPECT_THAT(manager.mapSourceToLocal, ElementsAre(Pair("/mnt/all", "/mnt/all/.afs/snapshot"),
                                                      Pair("/mnt/s2", "/mnt/s2/.afs/snapshot")));
}

TEST_F(ShareSelectionTest, ShareRootsCompareWholeComponents) {
    SetMountTable("fs1:/share10 /mnt/s10 nfs rw 0 0\n");
    CRhError error = Configure({"/mnt/s10"}, {Share("share1", "u1")});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Nothing to be back-up since all volumes are not CFT_BACKUP marked", error.GetMessage());
    EXPECT_EQ(1627u, error.GetCode());
}

TEST_F(ShareSelectionTest, DeviceWithoutColonAndUnknownPathsSelectNothing) {
    SetMountTable("tmpfs /mnt/t tmpfs rw 0 0\n");
    CRhError error = Configure({"/mnt/t", "/not/mounted"}, {Share("t", "u1")});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Nothing to be back-up since all volumes are not CFT_BACKUP marked", error.GetMessage());
    EXPECT_TRUE(manager.listVolumeInfo.empty());
    // The mount entry is still mapped; the unknown path leaves no trace at all.
    EXPECT_THAT(manager.mapSourceToLocal, ElementsAre(Pair("/mnt/t", "/mnt/t/.afs/snapshot")));
    EXPECT_EQ(0u, log->CountContaining("/not/mounted"));
}

TEST_F(ShareSelectionTest, UnreadableMountTableChangesNothing) {
    settings.Rewrite("[Host]\nMountTableFile = " + tempDir.GetPath() + "/missing\n");
    CRhError error = Configure({"/mnt/s1"}, {Share("share1", "u1")});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(2u, error.GetEntries().size());  // the host's error plus our location
    EXPECT_TRUE(manager.mapSourceToLocal.empty());
}

TEST_F(ShareSelectionTest, ScanFormatConversion) {
    std::string part;
    EXPECT_FALSE(manager.convertScanToMountFormat("/fs1/share1/dir", part).IsError());
    EXPECT_EQ("fs1", part);
    EXPECT_FALSE(manager.convertScanToMountFormat("/fs1", part).IsError());
    EXPECT_EQ("fs1", part);
    EXPECT_FALSE(manager.convertScanToMountFormat("fs1/share1", part).IsError());
    EXPECT_EQ("fs1", part);
    for (const char* bad : {"/", ""}) {
        CRhError error = manager.convertScanToMountFormat(bad, part);
        ASSERT_TRUE(error.IsError());
        EXPECT_EQ(1u, error.GetCode());
        EXPECT_EQ(std::string("Invalid scan format received [") + bad + "]", error.GetMessage());
        EXPECT_TRUE(part.empty());
    }
}

TEST_F(ShareSelectionTest, CreateAndMountSnapBeforeInitializeIsAnError) {
    std::list<std::string> scanPaths{"/mnt/s1"};
    CRhError error = manager.CreateAndMountSnap(scanPaths);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
}

TEST_F(ShareSelectionTest, ShareListingFailureStopsBeforeSelection) {
    InitializeManager(manager);
    ptrBackend->fnGetMountTarget = [](int32_t, int32_t) {
        return std::shared_ptr<model::Mount_target_list_intent_response>();
    };
    std::list<std::string> scanPaths{"/mnt/s1"};
    CRhError error = manager.CreateAndMountSnap(scanPaths);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("get_mount_target failed", error.GetMessage());
    EXPECT_EQ(2u, error.GetEntries().size());
    EXPECT_TRUE(manager.mapSourceToLocal.empty());
}

}  // namespace
}  // namespace afs_test
