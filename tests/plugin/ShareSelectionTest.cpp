// Which shares a job selects, and the records and source-to-local entries it
// makes for them.
#include <gmock/gmock.h>

#include "host/ContentMapper.h"
#include "tests/support/PluginTestBase.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class ShareSelectionTest : public CPluginTestBase {
protected:
    CScopedTempDir tempDir;
    CTestableManager manager;
};

MountedTargets Share(const std::string& name, bool bMarked = true) {
    return MountedTargets{name, "u-" + name, "GENERAL", bMarked};
}

TEST_F(ShareSelectionTest, SharesAreSelectedByTheirMountsAndMarks) {
    const std::string kNothing = "Nothing to be back-up since all volumes are not CFT_BACKUP marked";
    struct Case {
        const char *mounts, *mapperTo;  // mapperTo: the content mapper's target for /mnt/s1, or none
        std::list<std::string> listScanPaths;
        std::vector<MountedTargets> listShares;
        std::string records, sourceToLocal, error;
    };
    const Case cases[] = {
        {"fs1:/share1/sub /mnt/s1 nfs rw 0 0\n", nullptr, {"/mnt/s1/dir"}, {Share("share1")},
         "fs1:/share1/sub|/mnt/s1|u-share1|/fs1/share1;", "/mnt/s1=/mnt/s1/.afs/snapshot;", ""},
        {"fs1:/share1 /mnt/s1 nfs rw 0 0\n", "/cluster9/share1", {"/mnt/s1"}, {Share("share1")},
         "fs1:/share1|/mnt/s1|u-share1|/cluster9/share1;", "/mnt/s1=/mnt/s1/.afs/snapshot;", ""},
        // fs1:/ is above every share root, so /mnt/all selects nothing.
        {"fs1:/ /mnt/all nfs rw 0 0\nfs1:/share2 /mnt/s2 nfs rw 0 0\n", nullptr, {"/mnt/all", "/mnt/s2/a", "/mnt/s2/b"},
         {Share("share1", false), Share("share2"), Share("share3", false)},
         "fs1:/share2|/mnt/s2|u-share2|/fs1/share2;fs1:/share2|/mnt/s2|u-share2|/fs1/share2;",
         "/mnt/all=/mnt/all/.afs/snapshot;/mnt/s2=/mnt/s2/.afs/snapshot;", ""},
        {"fs1:/share10 /mnt/s10 nfs rw 0 0\n", nullptr, {"/mnt/s10"}, {Share("share1")}, "",
         "/mnt/s10=/mnt/s10/.afs/snapshot;", kNothing},
        {"tmpfs /mnt/t tmpfs rw 0 0\n", nullptr, {"/mnt/t", "/not/mounted"}, {Share("t")}, "",
         "/mnt/t=/mnt/t/.afs/snapshot;", kNothing},
        {"fs1:/share1 /mnt/s1 nfs rw 0 0\n", "", {"/mnt/s1"}, {Share("nomatch"), Share("share1")}, "",
         "/mnt/s1=/mnt/s1/.afs/snapshot;", "Invalid scan format received []"},
        {nullptr, nullptr, {"/mnt/s1"}, {Share("share1")}, "", "",
         "Cannot read the mount table [" + tempDir.GetPath() + "/missing]"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.mounts ? test.mounts : "no mount table");
        CTestableManager fresh;
        settings.Rewrite("[Host]\nMountTableFile = " +
                         (test.mounts ? tempDir.WriteFile("mounts", test.mounts) : tempDir.GetPath() + "/missing") +
                         "\n");
        if (test.mapperTo) {
            fresh.ptrContentMapper.reset(new CPrefixContentMapper(
                ContentMapperAPI::Map{{*test.mapperTo ? "/mnt/s1" : "/elsewhere", test.mapperTo}}));
        }
        CRhError error = fresh.ConfigureAFSVolumeInfo(test.listScanPaths, test.listShares);
        EXPECT_EQ(test.error, error.GetMessage());
        std::string records, sourceToLocal;
        for (const NutanixAFSVolumeInfo& info : fresh.listVolumeInfo) {
            records += info.strSourceVolume + "|" + info.strVolumeMountPath + "|" + info.strVolumeUUID + "|" +
                       info.strScanVolumePath + ";";
            EXPECT_FALSE(info.bPreviousSnapPresent);
        }
        for (const auto& entry : fresh.mapSourceToLocal) sourceToLocal += entry.first + "=" + entry.second + ";";
        EXPECT_EQ(test.records, records);
        EXPECT_EQ(test.sourceToLocal, sourceToLocal);
    }
    // Once per scan path with a mount entry, for each unmarked share.
    EXPECT_EQ(3u, log->CountContaining("The [share3] share will not be backed up since it is not CFT_BACKUP marked", 0));
    EXPECT_EQ(2u, log->CountContaining("directory[/mnt/s1], device [fs1:/share1]", 3));
    EXPECT_EQ(1u, log->CountContaining("Invalid scan format received []", -1));
}

TEST_F(ShareSelectionTest, ScanFormatConversionKeepsTheFirstComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"/fs1/share1/dir", "fs1"}, {"/fs1", "fs1"}, {"fs1/share1", "fs1"}, {"/", ""}, {"", ""}};
    for (const auto& test : cases) {
        std::string part = "stale";
        CRhError error = manager.convertScanToMountFormat(test.first, part);
        EXPECT_EQ(test.second, part) << test.first;
        EXPECT_EQ(*test.second ? "" : std::string("Invalid scan format received [") + test.first + "]",
                  error.GetMessage());
    }
}

TEST_F(ShareSelectionTest, CreateAndMountSnapListsSharesThenSelectsAndSnaps) {
    InitializeManager(manager);
    ptrBackend->fnGetMountTarget = [](int32_t, int32_t) { return SharePage(); };
    std::list<std::string> scanPaths{"/mnt/s1"};
    CRhError error = manager.CreateAndMountSnap(scanPaths);
    EXPECT_EQ("get_mount_target failed", error.GetMessage());
    EXPECT_EQ(2u, error.GetEntries().size());
    EXPECT_TRUE(manager.mapSourceToLocal.empty());

    settings.Rewrite("[Host]\nMountTableFile = " + tempDir.WriteFile("mounts", "fs1:/share1 /mnt/s1 nfs rw 0 0\n") + "\n");
    ptrBackend->fnGetMountTarget = ServeShares({{"share1", "mt"}});
    ptrBackend->fnGetMountTargetSnapshot = ServeSnaps({});
    ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string&) { return std::string("new"); };
    ASSERT_FALSE(manager.CreateAndMountSnap(scanPaths).IsError());
    EXPECT_EQ(1u, log->CountContaining(" Share name [share1], Share uuid [mt], sharetype [GENERAL]", 0));
    EXPECT_EQ("/mnt/s1/.snapshot/zkop__2_7_1234", manager.GetSourceToLocalMap().at("/mnt/s1"));
}

}  // namespace
}  // namespace afs_test
