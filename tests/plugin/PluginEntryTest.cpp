// The job manager's entry points that need no file server: Initialize and
// what it derives from its arguments and the settings, PrintInfo,
// GetVolumeName and GetSourceToLocalMap. Every REST client built here gets a
// backend whose operations throw, so a test that reached the server would fail.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "restclient/CurlClient.h"
#include "restclient/RestBackend.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"

namespace {

using afs_rest::PairList;
using afs_rest::RestClientConfig;
namespace model = afs_rest::model;

[[noreturn]] void Unexpected(const char* operation) {
    throw std::logic_error(std::string("PluginEntryTest: unexpected REST call ") + operation);
}

class CThrowingRestBackend : public afs_rest::IRestBackend {
public:
    std::shared_ptr<model::Partner_server_list_intent_response> get_partner_server(
        boost::optional<int32_t>, boost::optional<int32_t>) override {
        Unexpected("get_partner_server");
    }
    std::string create_partner_server(const std::string&, const std::string&, const std::string&,
                                      const std::string&, boost::optional<std::string&>,
                                      boost::optional<std::string>, boost::optional<int32_t>,
                                      boost::optional<bool>, boost::optional<std::string&>,
                                      boost::optional<PairList&>, boost::optional<PairList&>,
                                      boost::optional<PairList&>, boost::optional<bool>) override {
        Unexpected("create_partner_server");
    }
    std::shared_ptr<model::Mount_target_list_intent_response> get_mount_target(
        boost::optional<int32_t>, boost::optional<int32_t>) override {
        Unexpected("get_mount_target");
    }
    std::shared_ptr<model::Mount_target_snapshot_list_intent_response> get_mount_target_snapshot(
        boost::optional<int32_t>, boost::optional<int32_t>, boost::optional<std::string>) override {
        Unexpected("get_mount_target_snapshot");
    }
    std::string create_mount_target_snapshot(const std::string&, const std::string&, const std::string&,
                                             boost::optional<bool>) override {
        Unexpected("create_mount_target_snapshot");
    }
    void delete_mount_target_snapshot(const std::string&, boost::optional<bool>) override {
        Unexpected("delete_mount_target_snapshot");
    }
    std::shared_ptr<model::Mount_target_snapshot_diff_output> create_mount_target_snapshot_incremental_diff(
        const std::string&, const std::string&, boost::optional<std::string>,
        boost::optional<std::string>) override {
        Unexpected("create_mount_target_snapshot_incremental_diff");
    }
    model::Mount_target_snapshot_diff_tracking_output get_mount_target_snapshot_diff_page(
        const std::string&, boost::optional<std::string>, boost::optional<std::string>) override {
        Unexpected("get_mount_target_snapshot_diff_page");
    }
};

// Opens the volume records to the tests.
class CVolumeListManager : public CNutanixAFSManager {
public:
    void AddVolume(const NutanixAFSVolumeInfo& info) { listVolumeInfo.push_back(info); }
};

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

class PluginEntry : public ::testing::Test {
protected:
    PluginEntry() : settings("") {
        fnPreviousFactory = afs_rest::SetRestBackendFactory([this](const RestClientConfig& config) {
            listConfigs.push_back(config);
            return std::make_shared<CThrowingRestBackend>();
        });
    }
    ~PluginEntry() override { afs_rest::SetRestBackendFactory(fnPreviousFactory); }

    CRhError Initialize(CNutanixAFSManager& manager, ULONG clientId, ULONG appId, LONGLONG currentJob = 1234,
                        LONGLONG previousJob = 1233) {
        return manager.Initialize("/results", "/results/snapinfo", "/results/snapmap", "fs1.example:9440",
                                  "backup", "s3cret-pass", currentJob, previousJob, 1200, 1233, 0, clientId,
                                  appId, ContentMapperAPIPtr());
    }

    // Initializes a fresh manager under `iniText` and returns its helper.
    boost::shared_ptr<CNutanixAFSManagerAPIHelper> HelperUnder(const std::string& iniText,
                                                               LONGLONG job = 1234) {
        settings.Rewrite(iniText);
        CRhError error = Initialize(manager, 2, 7, job);
        EXPECT_FALSE(error.IsError()) << error.AsString();
        return manager.GetAPIHelper();
    }

    CScopedSettings settings;
    CScopedLogCapture log;
    afs_rest::FRestBackendFactory fnPreviousFactory;
    std::vector<RestClientConfig> listConfigs;
    CVolumeListManager manager;
};

TEST_F(PluginEntry, SnapPrefixHasTwoUnderscoresAfterZkop) {
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    EXPECT_EQ("zkop__2_7_", manager.GetSnapPrefix());

    CNutanixAFSManager zero;
    ASSERT_FALSE(Initialize(zero, 0, 0).IsError());
    EXPECT_EQ("zkop__0_0_", zero.GetSnapPrefix());

    CNutanixAFSManager largest;
    ASSERT_FALSE(Initialize(largest, 4294967295u, 4294967295u).IsError());
    EXPECT_EQ("zkop__4294967295_4294967295_", largest.GetSnapPrefix());
}

TEST_F(PluginEntry, InitializeLogsItsArgumentsInOneLine) {
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    EXPECT_EQ(1u,
              log->CountContaining(
                  " clientid [2], appid [7], currentjob [1234], previousjobid[ 1233], strJobResultsFolder "
                  "[/results], strSnapInfoFile[/results/snapinfo], strSnapMapFile[/results/snapmap]"));
    const std::vector<std::string> listMessages = log->GetMessages();
    ASSERT_FALSE(listMessages.empty());
    EXPECT_EQ(
        " clientid [2], appid [7], currentjob [1234], previousjobid[ 1233], strJobResultsFolder [/results], "
        "strSnapInfoFile[/results/snapinfo], strSnapMapFile[/results/snapmap]",
        listMessages.front());
    EXPECT_NE(std::string::npos, log->GetLines().front().strFunction.find("CNutanixAFSManager::Initialize"));
    EXPECT_EQ(0, log->GetLines().front().nLevel);
}

TEST_F(PluginEntry, InitializeLogsLargestClientUnsignedAndNegativeJobs) {
    ASSERT_FALSE(Initialize(manager, 4294967295u, 1, -5, -1).IsError());
    EXPECT_EQ(
        1u, log->CountContaining(" clientid [4294967295], appid [1], currentjob [-5], previousjobid[ -1], "));
}

TEST_F(PluginEntry, InitializeNeverLogsThePassword) {
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    EXPECT_EQ(0u, log->CountContaining("s3cret-pass"));
}

TEST_F(PluginEntry, InitializeAcceptsEmptyStrings) {
    CRhError error = manager.Initialize("", "", "", "", "", "", 0, 0, 0, 0, 0, 0, 0, ContentMapperAPIPtr());
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(1u, log->CountContaining(
                      " clientid [0], appid [0], currentjob [0], previousjobid[ 0], strJobResultsFolder [], "
                      "strSnapInfoFile[], strSnapMapFile[]"));
    ASSERT_TRUE(manager.GetAPIHelper());
    ASSERT_EQ(1u, listConfigs.size());
    EXPECT_EQ("", listConfigs[0].strServer);
    EXPECT_EQ("0", listConfigs[0].strJobId);
}

TEST_F(PluginEntry, InitializeHandsTheConnectionToTheRestClient) {
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    ASSERT_EQ(1u, listConfigs.size());
    EXPECT_EQ("fs1.example:9440", listConfigs[0].strServer);
    EXPECT_EQ("backup", listConfigs[0].strUser);
    EXPECT_EQ("s3cret-pass", listConfigs[0].strPassword);
    EXPECT_EQ("1234", listConfigs[0].strJobId);
    const RestClientConfig& config = manager.GetAPIHelper()->GetCurlClient()->GetConfig();
    EXPECT_EQ("fs1.example:9440", config.strServer);
    EXPECT_EQ(afs_log::trace, config.eSeverity);
}

TEST_F(PluginEntry, ReinitializeBuildsANewClient) {
    ASSERT_FALSE(Initialize(manager, 2, 7, 1234).IsError());
    boost::shared_ptr<CNutanixAFSManagerAPIHelper> ptrFirst = manager.GetAPIHelper();
    ASSERT_FALSE(Initialize(manager, 3, 8, 1235).IsError());
    ASSERT_TRUE(manager.GetAPIHelper());
    EXPECT_NE(ptrFirst, manager.GetAPIHelper());
    EXPECT_EQ("1235", manager.GetAPIHelper()->GetCurlClient()->GetConfig().strJobId);
    EXPECT_EQ("zkop__3_8_", manager.GetSnapPrefix());
}

TEST_F(PluginEntry, JobIdReachesTheClientAsDecimalText) {
    EXPECT_EQ("42", HelperUnder("", 42)->GetCurlClient()->GetConfig().strJobId);
    EXPECT_EQ("-42", HelperUnder("", -42)->GetCurlClient()->GetConfig().strJobId);
    EXPECT_EQ("9223372036854775807",
              HelperUnder("", 9223372036854775807LL)->GetCurlClient()->GetConfig().strJobId);
}

TEST_F(PluginEntry, LogDirDefaultsWhenAbsentOrEmpty) {
    auto ptrHelper = HelperUnder("");
    EXPECT_EQ("/tmp/logs", ptrHelper->GetLogDir());
    EXPECT_EQ("/tmp/logs", ptrHelper->GetCurlClient()->GetConfig().strLogDir);

    ptrHelper = HelperUnder("[EventManager]\ndEVLOGDIR =\n");
    EXPECT_EQ("/tmp/logs", ptrHelper->GetLogDir());
    EXPECT_EQ("/tmp/logs", ptrHelper->GetCurlClient()->GetConfig().strLogDir);

    // Another section's key of the same name does not count.
    ptrHelper = HelperUnder("[Host]\ndEVLOGDIR = /elsewhere\n");
    EXPECT_EQ("/tmp/logs", ptrHelper->GetLogDir());
}

TEST_F(PluginEntry, LogDirFromSettingsIsKeptAsWritten) {
    auto ptrHelper = HelperUnder("[EventManager]\ndEVLOGDIR = /var/log/afs job logs/\n");
    EXPECT_EQ("/var/log/afs job logs/", ptrHelper->GetLogDir());
    EXPECT_EQ("/var/log/afs job logs/", ptrHelper->GetCurlClient()->GetConfig().strLogDir);
}

TEST_F(PluginEntry, HAWaitTimeDefaultsTo600WithoutALogLine) {
    auto ptrHelper = HelperUnder("[FileSystemAgent]\nNutanixRetrySleep = 6\n");
    EXPECT_EQ(600u, ptrHelper->GetHAWaitTime());
    EXPECT_EQ(600u, ptrHelper->GetCurlClient()->GetConfig().uHAWaitTime);
    EXPECT_EQ(0u, log->CountContaining("uHAWaitTime"));
    EXPECT_EQ(0u, log->CountContaining("HA wait time"));
}

TEST_F(PluginEntry, HAWaitTimeFromSettingsIsLogged) {
    auto ptrHelper = HelperUnder("[FileSystemAgent]\nuHAWaitTime = 900\n");
    EXPECT_EQ(900u, ptrHelper->GetHAWaitTime());
    EXPECT_EQ(900u, ptrHelper->GetCurlClient()->GetConfig().uHAWaitTime);
    const std::string expected =
        "Registry key [uHAWaitTime]=[900] is present in FileSystemAgent and HA wait time is "
        "increased/decreased "
        "from 600s to 900s";
    EXPECT_EQ(1u, log->CountContaining(expected));
    for (const CapturedLogLine& line : log->GetLines()) {
        if (line.strMessage.find("uHAWaitTime") != std::string::npos) {
            EXPECT_EQ(expected, line.strMessage);
        }
    }
}

TEST_F(PluginEntry, HAWaitTimeKeepsTheLow32Bits) {
    // 2^32 + 900
    auto ptrHelper = HelperUnder("[FileSystemAgent]\nuHAWaitTime = 4294968196\n");
    EXPECT_EQ(900u, ptrHelper->GetHAWaitTime());
    EXPECT_EQ(900u, ptrHelper->GetCurlClient()->GetConfig().uHAWaitTime);
    EXPECT_EQ(1u, log->CountContaining("Registry key [uHAWaitTime]=[900] is present"));

    ptrHelper = HelperUnder("[FileSystemAgent]\nuHAWaitTime = 0\n");
    EXPECT_EQ(0u, ptrHelper->GetHAWaitTime());
    EXPECT_EQ(1u, log->CountContaining("from 600s to 0s"));
}

TEST_F(PluginEntry, HAWaitTimeThatIsNotANumberKeepsTheDefault) {
    auto ptrHelper = HelperUnder("[FileSystemAgent]\nuHAWaitTime = 15m\n");
    EXPECT_EQ(600u, ptrHelper->GetHAWaitTime());
    EXPECT_EQ(0u, log->CountContaining("Registry key [uHAWaitTime]"));
}

TEST_F(PluginEntry, ApiHelperConstructedDirectlyOwnsOneClient) {
    settings.Rewrite("[EventManager]\ndEVLOGDIR = /srv/logs\n[FileSystemAgent]\nuHAWaitTime = 30\n");
    CNutanixAFSManagerAPIHelper helper("10.0.0.5", "admin", "pw", 77);
    ASSERT_TRUE(helper.GetCurlClient());
    ASSERT_EQ(1u, listConfigs.size());
    const RestClientConfig& config = helper.GetCurlClient()->GetConfig();
    EXPECT_EQ("10.0.0.5", config.strServer);
    EXPECT_EQ("admin", config.strUser);
    EXPECT_EQ("pw", config.strPassword);
    EXPECT_EQ("77", config.strJobId);
    EXPECT_EQ("/srv/logs", config.strLogDir);
    EXPECT_EQ(30u, config.uHAWaitTime);
}

TEST_F(PluginEntry, ClientThatCannotBeBuiltFailsInitializeAndLeavesNoHelper) {
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    ASSERT_TRUE(manager.GetAPIHelper());
    afs_rest::SetRestBackendFactory([](const RestClientConfig&) -> std::shared_ptr<afs_rest::IRestBackend> {
        throw std::runtime_error("no route");
    });
    EXPECT_THROW(
        {
            try {
                Initialize(manager, 2, 7);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ("no route", error.what());
                throw;
            }
        },
        std::runtime_error);
    EXPECT_FALSE(manager.GetAPIHelper());

    CRhError error = manager.CreatePartnerServer({"10.0.0.9"});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
}

TEST_F(PluginEntry, OperationBeforeInitializeIsAnErrorChain) {
    CRhError error = manager.CreatePartnerServer({"10.0.0.9"});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Initialize has not run: no connection to the file server", error.GetMessage());
    EXPECT_NE(std::string::npos, error.AsString().find("1627"));
    EXPECT_TRUE(listConfigs.empty());
}

TEST_F(PluginEntry, SourceToLocalMapStartsEmpty) {
    EXPECT_TRUE(manager.GetSourceToLocalMap().empty());
    ASSERT_FALSE(Initialize(manager, 2, 7).IsError());
    EXPECT_TRUE(manager.GetSourceToLocalMap().empty());
}

TEST_F(PluginEntry, VolumeNameNeedsAnExactMountPathWithAPreviousSnap) {
    manager.AddVolume(Volume("/mnt/afs/share1", "s1", true));
    manager.AddVolume(Volume("/mnt/afs/share2", "s2", false));
    EXPECT_EQ("/mnt/afs/share1/.snapshot/s1", manager.GetVolumeName("/mnt/afs/share1"));
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share1/"));
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share1/dir"));
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share"));
    EXPECT_EQ("", manager.GetVolumeName("/MNT/afs/share1"));
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share2"));
    EXPECT_EQ("", manager.GetVolumeName(""));
}

TEST_F(PluginEntry, VolumeNameLastMatchWins) {
    manager.AddVolume(Volume("/mnt/afs/share1", "first", true));
    manager.AddVolume(Volume("/mnt/afs/other", "other", true));
    manager.AddVolume(Volume("/mnt/afs/share1", "second", true));
    EXPECT_EQ("/mnt/afs/share1/.snapshot/second", manager.GetVolumeName("/mnt/afs/share1"));
}

TEST_F(PluginEntry, VolumeNameWithoutRecordsIsEmpty) {
    EXPECT_EQ("", manager.GetVolumeName("/mnt/afs/share1"));
}

TEST_F(PluginEntry, PrintInfoWithoutRecordsWritesNothing) {
    manager.PrintInfo();
    EXPECT_TRUE(log->GetLines().empty());
}

TEST_F(PluginEntry, PrintInfoWritesTheVersionAndThreeLinesPerRecord) {
    manager.AddVolume(Volume("/mnt/afs/share1", "s1", true));
    manager.AddVolume(Volume("/mnt/afs/share2", "s2", false));
    manager.PrintInfo();
    const std::vector<std::string> expected = {
        "NutanixAFSManager " AFS_VERSION,
        " strSourceVolume [fs1:/mnt/afs/share1], strVolumeMountPath [/mnt/afs/share1], strVolumeUUID "
        "[uuid-s1]",
        " strCurrentSnapName [s1], strCurrentSnapPath [/mnt/afs/share1/.snapshot/s1] strCurrentSnapUUID "
        "[snap-uuid-s1]",
        "strPreviousSnapName [prev-s1] strPreviousSnapUUID [prev-uuid-s1] bPreviousSnapPresent [1], "
        "strPreviousSnapPath [/mnt/afs/share1/.snapshot/prev-s1]",
        " strSourceVolume [fs1:/mnt/afs/share2], strVolumeMountPath [/mnt/afs/share2], strVolumeUUID "
        "[uuid-s2]",
        " strCurrentSnapName [s2], strCurrentSnapPath [/mnt/afs/share2/.snapshot/s2] strCurrentSnapUUID "
        "[snap-uuid-s2]",
        "strPreviousSnapName [] strPreviousSnapUUID [] bPreviousSnapPresent [0], strPreviousSnapPath []",
    };
    EXPECT_EQ(expected, log->GetMessages());
    for (const CapturedLogLine& line : log->GetLines()) EXPECT_EQ(0, line.nLevel);
}

TEST_F(PluginEntry, PrintInfoHonoursTheWritersLevel) {
    manager.AddVolume(Volume("/mnt/afs/share1", "s1", true));
    CScopedLogCapture quiet(-1);
    manager.PrintInfo();
    EXPECT_TRUE(quiet->GetLines().empty());
    EXPECT_TRUE(log->GetLines().empty());
}

}  // namespace
