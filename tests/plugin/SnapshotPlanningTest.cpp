// Which shares a job selects, which snapshots it keeps, deletes and creates,
// and the two record files through which the host learns about them.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "Nutanix/NutanixAFSManager/RecordFile.h"
#include "host/ContentMapper.h"
#include "restclient/NutanixException.h"
#include "tests/support/PluginTestBase.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class SnapshotPlanningTest : public CPluginTestBase {
protected:
    static void AddShare(CTestableManager& target, const std::string& mountPath, const std::string& uuid) {
        target.listVolumeInfo.emplace_back();
        target.listVolumeInfo.back().strVolumeMountPath = mountPath;
        target.listVolumeInfo.back().strVolumeUUID = uuid;
        target.listVolumeInfo.back().strSourceVolume = "fs1:/" + uuid;
    }
    std::string Deleted() const {
        std::string deleted;
        for (const std::string& call : ptrBackend->listCalls)
            if (call.rfind("delete_mount_target_snapshot ", 0) == 0) deleted += call.substr(29) + ";";
        return deleted;
    }
    std::string Read(const char* name) const { return CScopedTempDir::ReadFile(tempDir.GetPath() + name); }
    void UseRecordFiles() {
        manager.strSnapInfoFile = tempDir.GetPath() + "/info";
        manager.strSnapMapFile = tempDir.GetPath() + "/map";
    }

    CScopedTempDir tempDir;
    CTestableManager manager;
};

// Job 1234 after 1233 as client 2; the listing holds the share's snapshots.
TEST_F(SnapshotPlanningTest, JobIdsAndListingDecideDeletionsAndTheReference) {
    // clang-format off
    const struct {
        LONGLONG llFull, llInc, llSynth;
        ULONG uApp;
        std::vector<SnapSpec> listSnaps;
        std::string deleted, reference, logLine;
    } cases[] = {
        {1200, 1233, 0, 7,
         {{"s1233", "zkop__2_7_1233"}, {"s1200", "zkop__2_7_1200"}, {"s1100", "zkop__2_7_1100"},
          {"sman", "manual"}},
         "s1200 true;s1100 true;", "zkop__2_7_1233 s1233 /mnt/share/.snapshot/zkop__2_7_1233",
         "Snap good to be deleted, UUID [s1100], name [zkop__2_7_1100]"},
        {1200, 1233, 1210, 7, {{"s1200", "zkop__2_7_1200"}, {"s1210", "zkop__2_7_1210"}}, "s1200 true;", "",
         "Deleting the full job snapshot since this is after Synthfull job."},
        // A synthetic full of the full job's own id keeps that snapshot.
        {1210, 1233, 1210, 7, {{"s1210", "zkop__2_7_1210"}}, "", "", ""},
        // The full job's snapshot has the incremental's name; 0 names the absent synthetic full.
        {1200, 1200, 0, 7, {{"s1200", "zkop__2_7_1200"}, {"s0", "zkop__2_7_0"}}, "", "", ""},
        {1200, 1233, 0, 7, {{"old1234", "zkop__2_7_1234"}}, "old1234 true;", "",
         "Snap name [zkop__2_7_1234] already present"},
        {1200, 1233, 0, 7, {{"", "zkop__2_7_1100"}, {"s1101", "zkop__2_7_1101"}}, "s1101 true;", "",
         "Snap [zkop__2_7_1100] has no UUID and is not deleted"},
        {1200, 1233, 0, 71, {{"a", "zkop__2_7_12"}, {"b", "ZKOP__2_71_1233"}, {"c", "zkop__2_71_99"}},
         "c true;", "", ""},
    };
    // clang-format on
    ptrBackend->fnCreateSnapshot = [](Str, Str name) { return "new-" + name; };
    ptrBackend->fnDeleteSnapshot = [](Str) {};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.deleted + " " + test.logLine);
        CTestableManager fresh;
        ptrBackend->listCalls.clear();
        log->Clear();
        InitializeManager(fresh, "", "", test.llFull, test.llInc, test.llSynth, test.uApp);
        AddShare(fresh, "/mnt/share", "mt");
        ptrBackend->fnGetMountTargetSnapshot = ServeSnaps(test.listSnaps);
        ASSERT_FALSE(fresh.ConfigureAFSVolumeSnap().IsError());
        EXPECT_EQ(test.deleted, Deleted());
        const NutanixAFSVolumeInfo& info = fresh.listVolumeInfo.front();
        EXPECT_EQ(test.reference, info.bPreviousSnapPresent
                                      ? info.strPreviousSnapName + " " + info.strPreviousSnapUUID + " " +
                                            info.strPreviousSnapPath
                                      : "");
        EXPECT_EQ(test.logLine.empty() ? 0u : 1u,
                  log->CountContaining(test.logLine.empty() ? "\n" : test.logLine, 0));
        const std::string current = "zkop__2_" + std::to_string(test.uApp) + "_1234";
        EXPECT_EQ(current + " new-" + current + " /mnt/share/.snapshot/" + current,
                  info.strCurrentSnapName + " " + info.strCurrentSnapUUID + " " + info.strCurrentSnapPath);
    }
}

// The shares are listed, selected by their mounts and snapped in turn.
TEST_F(SnapshotPlanningTest, EachPreparedShareIsRecordedAndAFailureStopsAtItsShare) {
    InitializeManager(manager, tempDir.GetPath() + "/info", tempDir.GetPath() + "/map");
    settings.Rewrite("[Host]\nMountTableFile = " +
                     tempDir.WriteFile("mounts",
                                       "fs1:/a /mnt/a nfs rw 0 0\nfs1:/b /mnt/b nfs rw 0 0\n"
                                       "fs1:/c /mnt/c nfs rw 0 0\n"));
    ptrBackend->fnGetMountTarget = ServeShares({{"a", "mta"}, {"b", "mtb"}, {"c", "mtc"}});
    ptrBackend->fnGetMountTargetSnapshot = ServeSnaps({{"p", "zkop__2_7_1233", "mta"}});
    ptrBackend->fnCreateSnapshot = [](Str uuid, Str name) -> std::string {
        if (uuid == "mtb") throw NutanixException("quota exceeded");
        return "new-" + name;
    };
    std::list<std::string> scanPaths{"/mnt/a", "/mnt/b", "/mnt/c"};
    CRhError error = manager.CreateAndMountSnap(scanPaths);
    EXPECT_EQ("Create Snap function failed with error [quota exceeded]", error.GetMessage());
    EXPECT_EQ("new-zkop__2_7_1234||", manager.listVolumeInfo.front().strCurrentSnapUUID + "|" +
                                          manager.listVolumeInfo.back().strCurrentSnapUUID + "|" +
                                          manager.listVolumeInfo.back().strPreviousSnapUUID);
    EXPECT_EQ("/mnt/a:zkop__2_7_1234@fs1:/a:/mnt/a/.snapshot/zkop__2_7_1234\n", Read("/info"));
    EXPECT_EQ("m:/mnt/a:/mnt/a/.snapshot/zkop__2_7_1234:\n", Read("/map"));
    EXPECT_EQ("/mnt/a/.snapshot/zkop__2_7_1234", manager.GetSourceToLocalMap().at("/mnt/a"));
}

TEST_F(SnapshotPlanningTest, RegressionShareInTwoRecordsIsPlannedOnce) {
    // A server whose listing shows the snapshots made so far.
    auto ptrSnaps =
        std::make_shared<std::vector<SnapSpec>>(std::vector<SnapSpec>{{"s1233", "zkop__2_7_1233"}});
    ptrBackend->fnGetMountTargetSnapshot = [ptrSnaps](int32_t offset, int32_t length) {
        return ServeSnaps(*ptrSnaps)(offset, length);
    };
    ptrBackend->fnCreateSnapshot = [ptrSnaps](Str uuid, Str name) {
        ptrSnaps->push_back({"new" + std::to_string(ptrSnaps->size()), name, uuid});
        return ptrSnaps->back().strUuid;
    };
    InitializeManager(manager);
    for (const char* mount : {"/mnt/share", "/mnt/share", "/mnt/again"}) AddShare(manager, mount, "mt");
    ASSERT_FALSE(manager.ConfigureAFSVolumeSnap().IsError());
    EXPECT_EQ(2u, ptrSnaps->size());  // one snapshot made, none deleted
    for (const NutanixAFSVolumeInfo& info : manager.listVolumeInfo) {
        EXPECT_EQ("new1 s1233 1 " + info.strVolumeMountPath + "/.snapshot/zkop__2_7_1233",
                  info.strCurrentSnapUUID + " " + info.strPreviousSnapUUID + " " +
                      std::to_string(info.bPreviousSnapPresent) + " " + info.strPreviousSnapPath);
    }
    EXPECT_EQ("/mnt/again/.snapshot/zkop__2_7_1234", manager.mapSourceToLocal["/mnt/again"]);
    EXPECT_EQ(1u, log->CountContaining(
                      "Share UUID [mt] is already planned; [/mnt/again] uses its snapshot [new1]", 0));
}

TEST_F(SnapshotPlanningTest, ReferenceLookupIgnoresCaseComparesComponentsAndFollowsTheScanMap) {
    AddShare(manager, "/mnt/share/", "mt");
    AddShare(manager, "/mnt/other", "mt");
    // Shares mounted inside another's mount answer from their own records.
    for (const char* mount : {"/mnt/share/b", "/mnt/other/c", "/mnt/other/c"})
        AddShare(manager, mount, "mt2");
    manager.listVolumeInfo.front().bPreviousSnapPresent = true;
    manager.listVolumeInfo.back().bPreviousSnapPresent = true;
    // clang-format off
    const std::pair<const char*, bool> cases[] = {{"/mnt/share", true}, {"/mnt/share/", true},
                                                  {"/MNT/SHARE/dir", true}, {"/mnt/share10", false},
                                                  {"/mnt", false}, {"/mnt/other", false},
                                                  {"/mnt/share/b", false}, {"/mnt/share/b/x", false},
                                                  {"/mnt/share/bx", true}, {"/mnt/other/c/d", true}};
    // clang-format on
    for (const auto& test : cases)
        EXPECT_EQ(test.second, manager.IsPreviousSnapAvailable(test.first)) << test.first;
    manager.mapScanToMount = {{"/fs1/share", "/mnt/share/"}, {"/fs1/other/", "/mnt/share"}};
    // clang-format off
    const std::pair<const char*, bool> mapped[] = {{"/fs1/share/", true}, {"/mnt/share", false},
     {"/fs1/other/", false}};
    // clang-format on
    for (const auto& test : mapped)
        EXPECT_EQ(test.second, manager.IsPreviousSnapAvailable(test.first)) << test.first;
}

MountedTargets Share(const std::string& name, bool bMarked = true) {
    return MountedTargets{name, "u-" + name, "GENERAL", bMarked};
}

TEST_F(SnapshotPlanningTest, SharesAreSelectedByTheirMountsAndMarks) {
    const std::string kNothing = "Nothing to be back-up since all volumes are not CFT_BACKUP marked";
    // clang-format off
    const struct {
        const char *mounts, *mapperTo;  // mapperTo: the content mapper's target for /mnt/s1, or none
        std::list<std::string> listScanPaths;
        std::vector<MountedTargets> listShares;
        std::string records, sourceToLocal, error;
    } cases[] = {
        {"fs1:/share1//a/./b/ /mnt/s3 nfs rw 0 0\n", nullptr, {"/mnt/s3/dir"}, {Share("share1")},
         "fs1:/share1//a/./b/|/mnt/s3|u-share1|/fs1/share1|/a/b;", "/mnt/s3=/mnt/s3/.afs/snapshot;", ""},
        {"fs1:/share1 /mnt/s1 nfs rw 0 0\n", "/cluster9/share1", {"/mnt/s1"}, {Share("share1")},
         "fs1:/share1|/mnt/s1|u-share1|/cluster9/share1;", "/mnt/s1=/mnt/s1/.afs/snapshot;", ""},
        // fs1:/ is above every share root, so /mnt/all selects nothing.
        {"fs1:/ /mnt/all nfs rw 0 0\nfs1:/share2 /mnt/s2 nfs rw 0 0\n", nullptr, {"/mnt/all", "/mnt/s2/a",
         "/mnt/s2/b"},
         {Share("share1", false), Share("share2"), Share("share3", false)},
         "fs1:/share2|/mnt/s2|u-share2|/fs1/share2;fs1:/share2|/mnt/s2|u-share2|/fs1/share2;",
         "/mnt/all=/mnt/all/.afs/snapshot;/mnt/s2=/mnt/s2/.afs/snapshot;", ""},
        {"fs1:/share10 /mnt/s10 nfs rw 0 0\ntmpfs /mnt/t tmpfs rw 0 0\n", nullptr, {"/mnt/s10", "/mnt/t",
         "/not/mounted"}, {Share("share1"), Share("t")}, "",
         "/mnt/s10=/mnt/s10/.afs/snapshot;/mnt/t=/mnt/t/.afs/snapshot;", kNothing},
        {"fs1:/share1 /mnt/s1 nfs rw 0 0\n", "", {"/mnt/s1"}, {Share("nomatch"), Share("share1")}, "",
         "/mnt/s1=/mnt/s1/.afs/snapshot;", "Invalid scan format received []"},
        {nullptr, nullptr, {"/mnt/s1"}, {Share("share1")}, "", "",
         "Cannot read the mount table [" + tempDir.GetPath() + "/missing]"},
    };
    // clang-format on
    for (const auto& test : cases) {
        SCOPED_TRACE(test.mounts ? test.mounts : "no mount table");
        CTestableManager fresh;
        settings.Rewrite("[Host]\nMountTableFile = " + (test.mounts ? tempDir.WriteFile("mounts", test.mounts)
                                                                    : tempDir.GetPath() + "/missing"));
        if (test.mapperTo) {
            fresh.ptrContentMapper.reset(new CPrefixContentMapper(
                ContentMapperAPI::Map{{*test.mapperTo ? "/mnt/s1" : "/elsewhere", test.mapperTo}}));
        }
        EXPECT_EQ(test.error, fresh.ConfigureAFSVolumeInfo(test.listScanPaths, test.listShares).GetMessage());
        std::string records, sourceToLocal;
        for (const NutanixAFSVolumeInfo& info : fresh.listVolumeInfo) {
            records += info.strSourceVolume + "|" + info.strVolumeMountPath + "|" + info.strVolumeUUID + "|" +
                       info.strScanVolumePath +
                       (info.strShareSubPath.empty() ? "" : "|" + info.strShareSubPath) +
                       (info.bPreviousSnapPresent ? "!;" : ";");
        }
        for (const auto& entry : fresh.mapSourceToLocal)
            sourceToLocal += entry.first + "=" + entry.second + ";";
        EXPECT_EQ(test.records, records);
        EXPECT_EQ(test.sourceToLocal, sourceToLocal);
    }
    // Once per scan path with a mount entry, for each unmarked share.
    EXPECT_EQ(3u, log->CountContaining(
                      "The [share3] share will not be backed up since it is not CFT_BACKUP marked", 0));
    // clang-format off
    const std::pair<const char*, const char*> formats[] = {
        {"/fs1/share1/dir", "fs1"}, {"/fs1", "fs1"}, {"fs1/share1", "fs1"}, {"/", ""}, {"", ""}};
    // clang-format on
    for (const auto& test : formats) {
        std::string part = "stale";
        CRhError error = manager.convertScanToMountFormat(test.first, part);
        EXPECT_EQ(test.second, part) << test.first;
        EXPECT_EQ(*test.second ? "" : std::string("Invalid scan format received [") + test.first + "]",
                  error.GetMessage());
    }
}

// Info lines "mount:device:snapshot path", map lines "m:mount:snapshot path:",
// appended; a file that is not set or cannot be opened is an error.
TEST_F(SnapshotPlanningTest, RecordFilesGetExactLinesAndEveryFailureIsReported) {
    UseRecordFiles();
    manager.mapScanToMount = {{"/keep", "/mnt/keep"}, {"/scan/b", "/old"}};
    ASSERT_FALSE(
        manager.SaveSnapDevInfo("/mnt/a", "zkop__2_7_1@fs1:/a", "/mnt/a/.snapshot/zkop__2_7_1").IsError());
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({{"/z", "/mnt/z"}, {"/a", "/mnt/a"}}, {{"/scan/b", "/mnt/b"}})
                     .IsError());
    ASSERT_FALSE(
        manager.SaveSnapDevInfo("/mnt/b", "zkop__2_7_1@fs1:/b", "/mnt/b/.snapshot/zkop__2_7_1").IsError());
    EXPECT_EQ((std::map<std::string, std::string>{{"/keep", "/mnt/keep"}, {"/scan/b", "/mnt/b"}}),
              manager.mapScanToMount);
    manager.strSnapInfoFile.clear();
    EXPECT_EQ("SnapInfo file not set", manager.SaveSnapDevInfo("/m", "d", "p").GetMessage());
    manager.strSnapInfoFile = tempDir.GetPath() + "/missing-folder/info";
    EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());  // the map line is still written
    manager.strSnapInfoFile = tempDir.GetPath() + "/info";
    manager.strSnapMapFile.clear();
    EXPECT_EQ("SnapMapInfo file not set", manager.SaveSnapDevInfo("/m", "d2", "p").GetMessage());
    manager.strSnapMapFile = tempDir.GetPath() + "/missing-folder/map";
    EXPECT_EQ(" Failed to open [" + manager.strSnapMapFile + "] file: No such file or directory",
              manager.OverWriteSnapDevInfo({{"a", "b"}}, {{"/s", "/m"}}).GetMessage());
    EXPECT_EQ(
        "/mnt/a:zkop__2_7_1@fs1:/a:/mnt/a/.snapshot/zkop__2_7_1\n"
        "/mnt/b:zkop__2_7_1@fs1:/b:/mnt/b/.snapshot/zkop__2_7_1\n/m:d2:p\n",
        Read("/info"));
    EXPECT_EQ(
        "m:/mnt/a:/mnt/a/.snapshot/zkop__2_7_1:\nm:/a:/mnt/a:\nm:/z:/mnt/z:\n"
        "m:/mnt/b:/mnt/b/.snapshot/zkop__2_7_1:\nm:/m:p:\n",
        Read("/map"));
    std::string reason;
    // A close that fails after everything was written is still a failure.
    const int nNextDescriptor = open("/dev/null", O_RDONLY);
    close(nNextDescriptor);
    CRecordFileAppender stolen(tempDir.GetPath() + "/stolen");
    ASSERT_EQ(0, close(nNextDescriptor));  // the appender's own descriptor, closed behind its back
    EXPECT_FALSE(stolen.Commit(reason));
    EXPECT_EQ("Bad file descriptor", reason);
}

// A file size limit: writes beyond it fail (EFBIG) as they would on a full disk.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t uBytes) : fnPreviousHandler(signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &previous);
        struct rlimit limited = previous;
        limited.rlim_cur = uBytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, fnPreviousHandler);
    }

private:
    struct rlimit previous {};
    void (*fnPreviousHandler)(int);
};

TEST_F(SnapshotPlanningTest, RegressionFullDiskIsNotReportedAsSuccess) {
    UseRecordFiles();
    CRhError error;
    {
        CFileSizeLimit full(0);
        error = manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {{"/s", "/m"}});
        EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());  // its caller ignores the result
    }
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ(" Failed to write [" + manager.strSnapMapFile + "] file: File too large", error.GetMessage());
    EXPECT_TRUE(manager.mapScanToMount.empty());
    EXPECT_EQ(3u, log->CountContaining("] file: File too large", 0));
    // Only a regular file is written: not a device, a FIFO or a planted link,
    // also when a signal left EINTR behind (the refusal sets no errno).
    manager.strSnapMapFile = "/dev/full";
    errno = EINTR;
    EXPECT_EQ(" Failed to open [/dev/full] file: not a regular file",
              manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {}).GetMessage());
    // A line break in a field would forge a record: nothing of the batch is written.
    UseRecordFiles();
    EXPECT_EQ(" Failed to write [" + manager.strSnapMapFile +
                  "] file: refusing a record whose fields hold a line break",
              manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}, {"/mnt/x\nm:/etc", "/tmp"}}, {{"/s", "/m"}})
                  .GetMessage());
    EXPECT_FALSE(manager.SaveSnapDevInfo("/mnt/y\n/etc", "d", "p").IsError());
    EXPECT_EQ(3u, log->CountContaining("] file: refusing a record whose fields hold a line break", 0));
    EXPECT_EQ(Read("/info") + "|" + Read("/map"), "|");
    EXPECT_TRUE(manager.mapScanToMount.empty());
}

TEST(RecordFileAppenderTest, RegressionFailedBatchKeepsLinesOthersAppended) {
    CScopedTempDir tempDir;
    const std::string path = tempDir.WriteFile("map", "before\n");
    CRecordFileAppender appender(path);
    ASSERT_TRUE(appender.IsOpen());
    std::ofstream(path, std::ios::app) << "other\n";  // another process, while our batch is prepared
    appender.Append(std::string(99, 'x') + "\n");
    std::string reason;
    bool bCommitted = true;
    {
        CFileSizeLimit limit(7 + 6 + 10);  // lets only 10 bytes of the batch in
        bCommitted = appender.Commit(reason);
    }
    EXPECT_FALSE(bCommitted);
    EXPECT_EQ("only 10 of 100 bytes could be written", reason);
    EXPECT_EQ("before\nother\n", CScopedTempDir::ReadFile(path));
}

}  // namespace
}  // namespace afs_test
