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

TEST_F(PluginEntry, SettingsGiveTheLogFolderAndTheHAWait) {
    const std::string kWait =
        "Registry key [uHAWaitTime]=[%] is present in FileSystemAgent and HA wait time is "
        "increased/decreased from 600s to %s";
    const struct {
        const char *ini, *logDir;
        uint32_t uWait;
        bool bLogged;
    } cases[] = {
        {"", "/tmp/logs", 600, false},
        {"[EventManager]\ndEVLOGDIR = /var/log/afs job logs/\n", "/var/log/afs job logs/", 600, false},
        {"[FileSystemAgent]\nuHAWaitTime = 900\n", "/tmp/logs", 900, true},
        {"[FileSystemAgent]\nuHAWaitTime = 4294968196\n", "/tmp/logs", 900, true},
        {"[FileSystemAgent]\nuHAWaitTime = 0\n", "/tmp/logs", 0, true},
        {"[FileSystemAgent]\nuHAWaitTime = 15m\n", "/tmp/logs", 600, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.ini);
        settings.Rewrite(test.ini);
        log->Clear();
        CNutanixAFSManagerAPIHelper helper("10.0.0.5", "admin", "pw", 77);
        const afs_rest::RestClientConfig& config = helper.GetCurlClient()->GetConfig();
        EXPECT_EQ(test.logDir, config.strLogDir);
        EXPECT_EQ(test.uWait, config.uHAWaitTime);
        std::string line = kWait;
        for (size_t at; (at = line.find('%')) != std::string::npos;)
            line.replace(at, 1, std::to_string(test.uWait));
        EXPECT_EQ(test.bLogged ? std::vector<std::string>{line} : std::vector<std::string>{},
                  log->GetMessages());
    }
}

// First a successful Initialize with the widest values each argument takes, client and
// application apart; the failed re-initialization must not keep this job's connection.
TEST_F(PluginEntry, OperationsBeforeASuccessfulInitializeAreErrors) {
    ASSERT_FALSE(manager
                     .Initialize("/r", "i", "m", "fs1.example:9440", "backup", "s3cret-pass",
                                 9223372036854775807LL, -1, 1200, 1233, 0, 4294967295u, 4294967294u,
                                 ContentMapperAPIPtr())
                     .IsError());
    EXPECT_EQ("zkop__4294967295_4294967294_", manager.GetSnapPrefix());
    ASSERT_EQ(1u, log->GetLines().size());
    EXPECT_EQ(
        " clientid [4294967295], appid [4294967294], currentjob [9223372036854775807], "
        "previousjobid[ -1], strJobResultsFolder [/r], strSnapInfoFile[i], strSnapMapFile[m]",
        log->GetLines()[0].strMessage);
    const afs_rest::RestClientConfig& config = manager.GetAPIHelper()->GetCurlClient()->GetConfig();
    EXPECT_EQ("fs1.example:9440|backup|s3cret-pass|9223372036854775807",
              config.strServer + "|" + config.strUser + "|" + config.strPassword + "|" + config.strJobId);
    afs_rest::SetRestBackendFactory(
        [](const afs_rest::RestClientConfig&) -> std::shared_ptr<afs_rest::IRestBackend> {
            throw std::runtime_error("no route");
        });
    EXPECT_THROW(InitializeManager(manager), std::runtime_error);
    EXPECT_FALSE(manager.GetAPIHelper());
    std::list<std::string> scanPaths{"/mnt/s1"};
    CNutanixDBHelperPtr ptrNoDB;
    for (CRhError error :
         {manager.CreatePartnerServer({"10.0.0.9"}), manager.CreateAndMountSnap(scanPaths),
          manager.ConfigureAFSVolumeSnap(), manager.CompareSnapAndLoadItem("/x", "", ptrNoDB)}) {
        EXPECT_EQ(1627u, error.GetCode());
        EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
    }
}

TEST_F(PluginEntry, VolumeNameNeedsAnExactMountPathWithAPreviousSnapAndTheLastMatchWins) {
    manager.listVolumeInfo = {Volume("/mnt/s1", "first", true), Volume("/mnt/s2", "s2", false),
                              Volume("/mnt/s1", "second", true), Volume("/mnt/s3", "s3", true)};
    const std::pair<const char*, const char*> cases[] = {{"/mnt/s1", "/mnt/s1/.snapshot/second"},
                                                         {"/mnt/s3", "/mnt/s3/.snapshot/s3"},
                                                         {"/mnt/s1/", ""},
                                                         {"/mnt/s1/dir", ""},
                                                         {"/mnt/s", ""},
                                                         {"/MNT/s1", ""},
                                                         {"/mnt/s2", ""}};
    for (const auto& test : cases) EXPECT_EQ(test.second, manager.GetVolumeName(test.first)) << test.first;
}

// Hosts read the version from PrintInfo's first line.
TEST_F(PluginEntry, PrintInfoWritesTheVersionFirstAtTheWritersLevel) {
    manager.PrintInfo();
    EXPECT_TRUE(log->GetLines().empty());
    manager.listVolumeInfo = {Volume("/m1", "s1", true)};
    manager.PrintInfo();
    ASSERT_EQ(4u, log->CountContaining("", 0));
    EXPECT_EQ("NutanixAFSManager " AFS_VERSION, log->GetMessages()[0]);
}

}  // namespace
}  // namespace afs_test
