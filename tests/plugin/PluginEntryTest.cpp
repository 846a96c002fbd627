// The job manager's entry points that need no file server: Initialize and
// what it derives from its arguments and the settings, the guard against
// operations before it, PrintInfo, GetVolumeName and GetSourceToLocalMap.
#include <gmock/gmock.h>

#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "restclient/CurlClient.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

class PluginEntry : public CPluginTestBase {
protected:
    CTestableManager manager;
};

TEST_F(PluginEntry, InitializeLogsItsArgumentsAndHandsTheConnectionOn) {
    struct Case {
        ULONG uClient, uApp;
        LONGLONG llJob, llPrevious;
        const char *folder, *info, *map, *prefix, *jobText, *logLine;
    };
    const Case cases[] = {
        {2, 7, 1234, 1233, "/results", "/results/snapinfo", "/results/snapmap", "zkop__2_7_", "1234",
         " clientid [2], appid [7], currentjob [1234], previousjobid[ 1233], strJobResultsFolder [/results], "
         "strSnapInfoFile[/results/snapinfo], strSnapMapFile[/results/snapmap]"},
        {0, 0, 0, 0, "", "", "", "zkop__0_0_", "0",
         " clientid [0], appid [0], currentjob [0], previousjobid[ 0], strJobResultsFolder [], strSnapInfoFile[], "
         "strSnapMapFile[]"},
        {4294967295u, 4294967295u, -5, -1, "/r", "i", "m", "zkop__4294967295_4294967295_", "-5",
         " clientid [4294967295], appid [4294967295], currentjob [-5], previousjobid[ -1], strJobResultsFolder "
         "[/r], strSnapInfoFile[i], strSnapMapFile[m]"},
        {1, 2, 9223372036854775807LL, 3, "/r", "i", "m", "zkop__1_2_", "9223372036854775807",
         " clientid [1], appid [2], currentjob [9223372036854775807], previousjobid[ 3], "},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.logLine);
        CTestableManager fresh;
        log->Clear();
        const size_t uClients = scopedBackend.GetConfigs().size();
        ASSERT_FALSE(fresh.Initialize(test.folder, test.info, test.map, "fs1.example:9440", "backup", "s3cret-pass",
                                      test.llJob, test.llPrevious, 1200, 1233, 0, test.uClient, test.uApp,
                                      ContentMapperAPIPtr())
                         .IsError());
        EXPECT_EQ(test.prefix, fresh.GetSnapPrefix());
        ASSERT_EQ(1u, log->GetLines().size());
        EXPECT_EQ(0u, log->GetLines()[0].strMessage.find(test.logLine));
        EXPECT_EQ(0, log->GetLines()[0].nLevel);
        EXPECT_THAT(log->GetLines()[0].strFunction, ::testing::HasSubstr("CNutanixAFSManager::Initialize"));
        ASSERT_EQ(uClients + 1, scopedBackend.GetConfigs().size());
        const afs_rest::RestClientConfig& config = fresh.GetAPIHelper()->GetCurlClient()->GetConfig();
        EXPECT_EQ("fs1.example:9440|backup|s3cret-pass|" + std::string(test.jobText),
                  config.strServer + "|" + config.strUser + "|" + config.strPassword + "|" + config.strJobId);
        EXPECT_EQ(afs_log::trace, config.eSeverity);
        EXPECT_TRUE(fresh.GetSourceToLocalMap().empty());
    }
}

TEST_F(PluginEntry, SettingsGiveTheLogFolderAndTheHAWait) {
    struct Case {
        const char *ini, *logDir;
        uint32_t uWait;
        const char* logLine;  // "" when none is expected
    };
    const Case cases[] = {
        {"", "/tmp/logs", 600, ""},
        {"[EventManager]\ndEVLOGDIR =\n[FileSystemAgent]\nNutanixRetrySleep = 6\n", "/tmp/logs", 600, ""},
        {"[Host]\ndEVLOGDIR = /elsewhere\n", "/tmp/logs", 600, ""},
        {"[EventManager]\ndEVLOGDIR = /var/log/afs job logs/\n", "/var/log/afs job logs/", 600, ""},
        {"[FileSystemAgent]\nuHAWaitTime = 900\n", "/tmp/logs", 900,
         "Registry key [uHAWaitTime]=[900] is present in FileSystemAgent and HA wait time is increased/decreased "
         "from 600s to 900s"},
        {"[FileSystemAgent]\nuHAWaitTime = 4294968196\n", "/tmp/logs", 900,
         "Registry key [uHAWaitTime]=[900] is present in FileSystemAgent and HA wait time is increased/decreased "
         "from 600s to 900s"},
        {"[FileSystemAgent]\nuHAWaitTime = 0\n", "/tmp/logs", 0,
         "Registry key [uHAWaitTime]=[0] is present in FileSystemAgent and HA wait time is increased/decreased "
         "from 600s to 0s"},
        {"[FileSystemAgent]\nuHAWaitTime = 15m\n", "/tmp/logs", 600, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.ini);
        settings.Rewrite(test.ini);
        log->Clear();
        CNutanixAFSManagerAPIHelper helper("10.0.0.5", "admin", "pw", 77);
        const afs_rest::RestClientConfig& config = helper.GetCurlClient()->GetConfig();
        EXPECT_EQ(test.logDir, config.strLogDir);
        EXPECT_EQ(test.uWait, config.uHAWaitTime);
        EXPECT_EQ(*test.logLine ? std::vector<std::string>{test.logLine} : std::vector<std::string>{},
                  log->GetMessages());
        if (*test.logLine) {
            EXPECT_EQ(0, log->GetLines()[0].nLevel);
        }
    }
}

TEST_F(PluginEntry, OperationsBeforeASuccessfulInitializeAreErrors) {
    InitializeManager(manager);  // the failed re-initialization must not keep this job's connection
    afs_rest::SetRestBackendFactory([](const afs_rest::RestClientConfig&) -> std::shared_ptr<afs_rest::IRestBackend> {
        throw std::runtime_error("no route");
    });
    EXPECT_THROW(InitializeManager(manager), std::runtime_error);
    EXPECT_FALSE(manager.GetAPIHelper());
    std::list<std::string> scanPaths{"/mnt/s1"};
    CNutanixDBHelperPtr ptrNoDB;
    for (CRhError error : {manager.CreatePartnerServer({"10.0.0.9"}), manager.CreateAndMountSnap(scanPaths),
                           manager.ConfigureAFSVolumeSnap(), manager.CompareSnapAndLoadItem("/x", "", ptrNoDB)}) {
        EXPECT_EQ(1627u, error.GetCode());
        EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
    }
}

TEST_F(PluginEntry, ReinitializeBuildsANewClient) {
    InitializeManager(manager);
    boost::shared_ptr<CNutanixAFSManagerAPIHelper> ptrFirst = manager.GetAPIHelper();
    ASSERT_FALSE(manager.Initialize("/r", "", "", "s", "u", "p", 1235, 0, 0, 0, 0, 3, 8, ContentMapperAPIPtr())
                     .IsError());
    EXPECT_NE(ptrFirst, manager.GetAPIHelper());
    EXPECT_EQ("1235", manager.GetAPIHelper()->GetCurlClient()->GetConfig().strJobId);
    EXPECT_EQ("zkop__3_8_", manager.GetSnapPrefix());
}

NutanixAFSVolumeInfo Volume(const std::string& mountPath, const std::string& snapName, bool bPrevious) {
    NutanixAFSVolumeInfo info;
    info.strSourceVolume = "fs1:" + mountPath;
    info.strVolumeMountPath = mountPath;
    info.strVolumeUUID = "uuid-" + snapName;
    info.strCurrentSnapName = snapName;
    info.strCurrentSnapPath = mountPath + "/.snapshot/" + snapName;
    info.strCurrentSnapUUID = "snap-uuid-" + snapName;
    info.bPreviousSnapPresent = bPrevious;
    if (bPrevious) {
        info.strPreviousSnapName = "prev-" + snapName;
        info.strPreviousSnapUUID = "prev-uuid-" + snapName;
        info.strPreviousSnapPath = mountPath + "/.snapshot/prev-" + snapName;
    }
    return info;
}

TEST_F(PluginEntry, VolumeNameNeedsAnExactMountPathWithAPreviousSnapAndTheLastMatchWins) {
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share1"));
    manager.listVolumeInfo = {Volume("/mnt/afs/share1", "first", true), Volume("/mnt/afs/share2", "s2", false),
                              Volume("/mnt/afs/share1", "second", true), Volume("/mnt/afs/share3", "s3", true)};
    const std::pair<const char*, const char*> cases[] = {
        {"/mnt/afs/share1", "/mnt/afs/share1/.snapshot/second"}, {"/mnt/afs/share3", "/mnt/afs/share3/.snapshot/s3"},
        {"/mnt/afs/share1/", ""}, {"/mnt/afs/share1/dir", ""}, {"/mnt/afs/share", ""}, {"/MNT/afs/share1", ""},
        {"/mnt/afs/share2", ""}, {"", ""}};
    for (const auto& test : cases) EXPECT_EQ(test.second, manager.GetVolumeName(test.first)) << test.first;
}

TEST_F(PluginEntry, PrintInfoWritesTheVersionAndThreeLinesPerRecordAtTheWritersLevel) {
    manager.PrintInfo();
    EXPECT_TRUE(log->GetLines().empty());
    manager.listVolumeInfo = {Volume("/mnt/afs/share1", "s1", true), Volume("/mnt/afs/share2", "s2", false)};
    manager.PrintInfo();
    EXPECT_THAT(log->GetMessages(),
                ::testing::ElementsAre(
                    "NutanixAFSManager " AFS_VERSION,
                    " strSourceVolume [fs1:/mnt/afs/share1], strVolumeMountPath [/mnt/afs/share1], strVolumeUUID [uuid-s1]",
                    " strCurrentSnapName [s1], strCurrentSnapPath [/mnt/afs/share1/.snapshot/s1] strCurrentSnapUUID "
                    "[snap-uuid-s1]",
                    "strPreviousSnapName [prev-s1] strPreviousSnapUUID [prev-uuid-s1] bPreviousSnapPresent [1], "
                    "strPreviousSnapPath [/mnt/afs/share1/.snapshot/prev-s1]",
                    " strSourceVolume [fs1:/mnt/afs/share2], strVolumeMountPath [/mnt/afs/share2], strVolumeUUID [uuid-s2]",
                    " strCurrentSnapName [s2], strCurrentSnapPath [/mnt/afs/share2/.snapshot/s2] strCurrentSnapUUID "
                    "[snap-uuid-s2]",
                    "strPreviousSnapName [] strPreviousSnapUUID [] bPreviousSnapPresent [0], strPreviousSnapPath []"));
    EXPECT_EQ(7u, log->CountContaining("", 0));
    CScopedLogCapture quiet(-1);
    manager.PrintInfo();
    EXPECT_TRUE(quiet->GetLines().empty());
}

}  // namespace
}  // namespace afs_test
