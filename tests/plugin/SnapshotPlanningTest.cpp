// Which snapshots a job keeps, deletes and creates, and what it records.
#include <gmock/gmock.h>

#include "restclient/NutanixException.h"
#include "tests/support/PluginTestBase.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class SnapshotPlanningTest : public CPluginTestBase {
protected:
    void AddShare(CTestableManager& target, const std::string& mountPath, const std::string& uuid) {
        NutanixAFSVolumeInfo info;
        info.strVolumeMountPath = mountPath;
        info.strVolumeUUID = uuid;
        info.strSourceVolume = "fs1:/" + uuid;
        target.listVolumeInfo.push_back(info);
    }
    std::string Deleted() const {
        std::string deleted;
        for (const std::string& call : ptrBackend->listCalls)
            if (call.rfind("delete_mount_target_snapshot ", 0) == 0) deleted += call.substr(29) + ";";
        return deleted;
    }

    CScopedTempDir tempDir;
    CTestableManager manager;
};

// Job 1234 after 1233 as client 2; the listing holds the share's snapshots.
TEST_F(SnapshotPlanningTest, JobIdsAndListingDecideDeletionsAndTheReference) {
    struct Case {
        LONGLONG llFull, llInc, llSynth;
        ULONG uApp;
        std::vector<SnapSpec> listSnaps;
        std::string deleted, reference, logLine;
    };
    const Case cases[] = {
        {1200, 1233, 0, 7,
         {{"s1233", "zkop__2_7_1233", "mt"}, {"s1200", "zkop__2_7_1200", "mt"}, {"s1100", "zkop__2_7_1100", "mt"},
          {"sman", "manual", "mt"}},
         "s1200 true;s1100 true;", "zkop__2_7_1233 s1233 /mnt/share/.snapshot/zkop__2_7_1233",
         "Snap good to be deleted, UUID [s1100], name [zkop__2_7_1100]"},
        {1200, 1233, 1210, 7, {{"s1200", "zkop__2_7_1200", "mt"}, {"s1210", "zkop__2_7_1210", "mt"}}, "s1200 true;",
         "", "Deleting the full job snapshot since this is after Synthfull job."},
        // A synthetic full of the full job's own id keeps that snapshot.
        {1210, 1233, 1210, 7, {{"s1210", "zkop__2_7_1210", "mt"}}, "", "", ""},
        // The full job's snapshot has the incremental's name; 0 names the absent synthetic full.
        {1200, 1200, 0, 7, {{"s1200", "zkop__2_7_1200", "mt"}, {"s0", "zkop__2_7_0", "mt"}}, "", "", ""},
        {1200, 1233, 0, 7, {{"old1234", "zkop__2_7_1234", "mt"}}, "old1234 true;", "",
         "Snap name [zkop__2_7_1234] already present"},
        {1200, 1233, 0, 7, {{"", "zkop__2_7_1100", "mt"}, {"s1101", "zkop__2_7_1101", "mt"}}, "s1101 true;", "",
         "Snap [zkop__2_7_1100] has no UUID and is not deleted"},
        {1200, 1233, 0, 71, {{"a", "zkop__2_7_12", "mt"}, {"b", "ZKOP__2_71_1233", "mt"}, {"c", "zkop__2_71_99", "mt"}},
         "c true;", "", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.deleted + " " + test.logLine);
        CTestableManager fresh;
        ptrBackend->listCalls.clear();
        log->Clear();
        InitializeManager(fresh, "", "", test.llFull, test.llInc, test.llSynth, test.uApp);
        AddShare(fresh, "/mnt/share", "mt");
        ptrBackend->fnGetMountTargetSnapshot = ServeSnaps(test.listSnaps);
        ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string& name) { return "new-" + name; };
        ptrBackend->fnDeleteSnapshot = [](const std::string&) {};
        ASSERT_FALSE(fresh.ConfigureAFSVolumeSnap().IsError());
        EXPECT_EQ(test.deleted, Deleted());
        const NutanixAFSVolumeInfo& info = fresh.listVolumeInfo.front();
        EXPECT_EQ(!test.reference.empty(), info.bPreviousSnapPresent);
        EXPECT_EQ(test.reference, info.bPreviousSnapPresent ? info.strPreviousSnapName + " " + info.strPreviousSnapUUID +
                                                                  " " + info.strPreviousSnapPath
                                                            : "");
        if (!test.logLine.empty()) {
            EXPECT_EQ(1u, log->CountContaining(test.logLine, 0));
        }
        const std::string current = "zkop__2_" + std::to_string(test.uApp) + "_1234";
        EXPECT_EQ("create_mount_target_snapshot mt " + current + " [Snapshot created from scan] true",
                  ptrBackend->listCalls.back());
        EXPECT_EQ(current + " new-" + current + " /mnt/share/.snapshot/" + current,
                  info.strCurrentSnapName + " " + info.strCurrentSnapUUID + " " + info.strCurrentSnapPath);
        EXPECT_EQ((std::map<std::string, std::string>{{"/mnt/share", "/mnt/share/.snapshot/" + current}}),
                  fresh.mapSourceToLocal);
    }
    EXPECT_EQ(1u, log->CountContaining(" strFullSnapName [zkop__2_71_1200], strIncSnapName [zkop__2_71_1233], "
                                       "strPreviousSnapName [zkop__2_71_1233] ", 0));
}

TEST_F(SnapshotPlanningTest, EachPreparedShareIsRecordedAndAFailureStopsAtItsShare) {
    InitializeManager(manager, tempDir.GetPath() + "/info", tempDir.GetPath() + "/map");
    AddShare(manager, "/mnt/a", "mta");
    AddShare(manager, "/mnt/b", "mtb");
    AddShare(manager, "/mnt/c", "mtc");
    ptrBackend->fnGetMountTargetSnapshot = ServeSnaps({{"p", "zkop__2_7_1233", "mta"}});
    ptrBackend->fnCreateSnapshot = [](const std::string& uuid, const std::string& name) -> std::string {
        if (uuid == "mtb") throw NutanixException("quota exceeded");
        return "new-" + name;
    };
    CRhError error = manager.ConfigureAFSVolumeSnap();
    EXPECT_EQ("Create Snap function failed with error [quota exceeded]", error.GetMessage());
    EXPECT_EQ(2u, error.GetEntries().size());
    EXPECT_EQ("new-zkop__2_7_1234||", manager.listVolumeInfo.front().strCurrentSnapUUID + "|" +
                                          manager.listVolumeInfo.back().strCurrentSnapUUID + "|" +
                                          manager.listVolumeInfo.back().strPreviousSnapUUID);
    EXPECT_EQ("/mnt/a:zkop__2_7_1234@fs1:/mta:/mnt/a/.snapshot/zkop__2_7_1234\n",
              CScopedTempDir::ReadFile(tempDir.GetPath() + "/info"));
    EXPECT_EQ("m:/mnt/a:/mnt/a/.snapshot/zkop__2_7_1234:\n", CScopedTempDir::ReadFile(tempDir.GetPath() + "/map"));
    EXPECT_EQ(1u, log->CountContaining("Previous refrence snap UUID [p], snapname [zkop__2_7_1233", 0));
    EXPECT_EQ(1u, log->CountContaining("Mapping SourceVolume[/mnt/a] => SnappedPath[/mnt/a/.snapshot/zkop__2_7_1234]", 0));
}

TEST_F(SnapshotPlanningTest, RegressionShareInTwoRecordsIsPlannedOnce) {
    // A server whose listing shows the snapshots made so far.
    auto ptrSnaps = std::make_shared<std::vector<SnapSpec>>(std::vector<SnapSpec>{{"s1233", "zkop__2_7_1233", "mt"}});
    ptrBackend->fnGetMountTargetSnapshot = [ptrSnaps](int32_t offset, int32_t length) {
        return ServeSnaps(*ptrSnaps)(offset, length);
    };
    ptrBackend->fnCreateSnapshot = [ptrSnaps](const std::string& uuid, const std::string& name) {
        ptrSnaps->push_back({"new" + std::to_string(ptrSnaps->size()), name, uuid});
        return ptrSnaps->back().strUuid;
    };
    InitializeManager(manager);
    AddShare(manager, "/mnt/share", "mt");
    AddShare(manager, "/mnt/share", "mt");
    AddShare(manager, "/mnt/again", "mt");
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_EQ(2u, ptrSnaps->size());  // one snapshot made, none deleted
    for (const NutanixAFSVolumeInfo& info : manager.listVolumeInfo) {
        EXPECT_EQ("new1 s1233 1 " + info.strVolumeMountPath + "/.snapshot/zkop__2_7_1233",
                  info.strCurrentSnapUUID + " " + info.strPreviousSnapUUID + " " +
                      std::to_string(info.bPreviousSnapPresent) + " " + info.strPreviousSnapPath);
    }
    EXPECT_EQ("/mnt/again/.snapshot/zkop__2_7_1234", manager.mapSourceToLocal["/mnt/again"]);
}

TEST_F(SnapshotPlanningTest, ReferenceLookupIgnoresCaseComparesComponentsAndFollowsTheScanMap) {
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = "/mnt/share/";
    info.bPreviousSnapPresent = true;
    manager.listVolumeInfo = {info, info};
    manager.listVolumeInfo.back().strVolumeMountPath = "/mnt/other";
    manager.listVolumeInfo.back().bPreviousSnapPresent = false;
    const std::pair<const char*, bool> cases[] = {{"/mnt/share", true}, {"/mnt/share/", true},
                                                  {"/MNT/SHARE/dir", true}, {"/mnt/share10", false},
                                                  {"/mnt", false}, {"/mnt/other", false}};
    for (const auto& test : cases) EXPECT_EQ(test.second, manager.IsPreviousSnapAvailable(test.first)) << test.first;
    manager.mapScanToMount = {{"/fs1/share", "/mnt/share/"}, {"/fs1/other/", "/mnt/share"}};
    const std::pair<const char*, bool> mapped[] = {{"/fs1/share/", true}, {"/mnt/share", false}, {"/fs1/other/", false}};
    for (const auto& test : mapped) EXPECT_EQ(test.second, manager.IsPreviousSnapAvailable(test.first)) << test.first;
}

}  // namespace
}  // namespace afs_test
