// The plug-in's own code, linked statically, against the simulator over a
// real socket: the API helper's operations and a whole CreateAndMountSnap,
// checked on the server and in the record files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "Nutanix/NutanixAFSManager/NutanixAFSManager.h"
#include "host/Sleep.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/SimulatorProcess.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class JobManagerSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 45; ++i) {
            std::filesystem::create_directories(tempDir.GetPath() + "/shares/share" + std::to_string(i));
        }
        tempDir.WriteFile("shares/share1/a.txt", "hello");
        mountTable = tempDir.WriteFile("mounts", "127.0.0.1:/share1 " + tempDir.GetPath() + "/shares/share1 nfs rw 0 0\n");
        ptrSettings.reset(new CScopedSettings("[Host]\nMountTableFile = " + mountTable + "\n[EventManager]\ndEVLOGDIR = " +
                                              tempDir.GetPath() + "/logs\n[FileSystemAgent]\nuHAWaitTime = 0\n"));
        std::string failure = CSimulatorProcess::Start(
            {"--shares", tempDir.GetPath() + "/shares", "--state", tempDir.GetPath() + "/state", "--port", "0",
             "--quiet", "--share-capabilities", "share7=SMB"},
            ptrSimulator, {"AFS_SIM_PASSWORD=secret"});
        ASSERT_EQ("", failure);
    }

    CScopedTempDir tempDir;
    std::string mountTable;
    std::unique_ptr<CScopedSettings> ptrSettings;
    std::unique_ptr<CSimulatorProcess> ptrSimulator;
    CScopedLogCapture log{0};
};

TEST_F(JobManagerSimulatorTest, HelperRegistersListsCreatesAndDeletes) {
    CNutanixAFSManagerAPIHelper helper(ptrSimulator->Url(), "admin", "secret", 1234);
    ASSERT_FALSE(helper.CreatePartnerServer({"10.0.0.5"}).IsError());
    ASSERT_FALSE(helper.CreatePartnerServer({"10.0.0.5"}).IsError());  // known now: still registered

    std::vector<MountedTargets> shares;
    CRhError error = helper.GetMountedTargets(shares);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    ASSERT_EQ(45u, shares.size());
    EXPECT_EQ(3u, log->CountContaining("Total Number of Mounted Targets : 45"));
    const auto share7 = std::find_if(shares.begin(), shares.end(),
                                     [](const MountedTargets& share) { return share.strShareName == "share7"; });
    ASSERT_NE(shares.end(), share7);
    EXPECT_FALSE(share7->bCFTBackup);
    const MountedTargets& share1 = *std::find_if(shares.begin(), shares.end(), [](const MountedTargets& share) {
        return share.strShareName == "share1";
    });
    EXPECT_TRUE(share1.bCFTBackup);

    std::string firstUUID, secondUUID;
    ASSERT_FALSE(helper.CreateSnap(share1.strShareUUID, "zkop__2_7_1", firstUUID).IsError());
    ASSERT_FALSE(helper.CreateSnap(share1.strShareUUID, "manual", secondUUID).IsError());
    EXPECT_NE(firstUUID, secondUUID);
    EXPECT_TRUE(std::filesystem::exists(tempDir.GetPath() + "/shares/share1/.snapshot/zkop__2_7_1/a.txt"));

    std::vector<MountedTargetsSnaps> snaps;
    ASSERT_FALSE(helper.GetListOfSnapsForUUID(share1.strShareUUID, snaps).IsError());
    ASSERT_EQ(2u, snaps.size());
    std::vector<MountedTargetsSnaps> otherShare;
    ASSERT_FALSE(helper.GetListOfSnapsForUUID(shares[0].strShareUUID == share1.strShareUUID ? shares[2].strShareUUID
                                                                                            : shares[0].strShareUUID,
                                              otherShare)
                     .IsError());
    EXPECT_TRUE(otherShare.empty());

    // Delete the first, then a UUID the server never had: the second failure is only logged.
    ASSERT_FALSE(helper.CleanListOfSnapsForUUID(share1.strShareUUID, {{firstUUID, "zkop__2_7_1"}, {"nope", "x"}})
                     .IsError());
    EXPECT_EQ(1u, log->CountContaining("Delete Snap called failed with error ["));
    snaps.clear();
    ASSERT_FALSE(helper.GetListOfSnapsForUUID(share1.strShareUUID, snaps).IsError());
    ASSERT_EQ(1u, snaps.size());
    EXPECT_EQ("manual", snaps[0].strSnapName);
}

TEST_F(JobManagerSimulatorTest, CreateAndMountSnapPreparesTheShareOnTheServerAndInTheRecordFiles) {
    const std::string share1 = tempDir.GetPath() + "/shares/share1";
    const std::string info = tempDir.GetPath() + "/info", map = tempDir.GetPath() + "/map";
    for (LONGLONG job : {1, 2}) {
        CNutanixAFSManager manager;
        ASSERT_FALSE(manager.Initialize(tempDir.GetPath(), info, map, ptrSimulator->Url(), "admin", "secret", job,
                                        job - 1, 1, job - 1, 0, 2, 7, ContentMapperAPIPtr())
                         .IsError());
        std::list<std::string> scanPaths{share1 + "/dir"};
        CRhError error = manager.CreateAndMountSnap(scanPaths);
        ASSERT_FALSE(error.IsError()) << error.AsString();
        const std::string snapPath = share1 + "/.snapshot/zkop__2_7_" + std::to_string(job);
        EXPECT_THAT(manager.GetSourceToLocalMap(), ElementsAre(Pair(share1, snapPath)));
        EXPECT_EQ(job == 2, manager.IsPreviousSnapAvailable(share1 + "/dir"));
        EXPECT_TRUE(std::filesystem::exists(snapPath + "/a.txt"));
    }
    // Each job appended its own lines; the device keeps its colon.
    EXPECT_EQ(share1 + ":zkop__2_7_1@127.0.0.1:/share1:" + share1 + "/.snapshot/zkop__2_7_1\n" + share1 +
                  ":zkop__2_7_2@127.0.0.1:/share1:" + share1 + "/.snapshot/zkop__2_7_2\n",
              CScopedTempDir::ReadFile(info));
    EXPECT_EQ("m:" + share1 + ":" + share1 + "/.snapshot/zkop__2_7_1:\nm:" + share1 + ":" + share1 +
                  "/.snapshot/zkop__2_7_2:\n",
              CScopedTempDir::ReadFile(map));
}

TEST_F(JobManagerSimulatorTest, RegressionCreationWhoseAnswerWasLostIsNotAFailure) {
    // The server acts, the answer is lost, the client re-sends and gets 409.
    ptrSimulator.reset();
    const std::string scenario = tempDir.WriteFile(
        "scenario.json", R"({"partner_conflict": 1, "faults": [)"
                         R"({"operation": "create_snapshot", "kind": "drop_after"},)"
                         R"({"operation": "create_partner_server", "kind": "drop_after"}]})");
    ASSERT_EQ("", CSimulatorProcess::Start({"--shares", tempDir.GetPath() + "/shares", "--state",
                                            tempDir.GetPath() + "/state", "--port", "0", "--quiet", "--scenario",
                                            scenario},
                                           ptrSimulator, {"AFS_SIM_PASSWORD=secret"}));
    // The client re-sends within its high-availability wait, in virtual time.
    ptrSettings.reset();
    ptrSettings.reset(new CScopedSettings("[Host]\nMountTableFile = " + mountTable + "\n[EventManager]\ndEVLOGDIR = " +
                                          tempDir.GetPath() + "/logs\n[FileSystemAgent]\nuHAWaitTime = 60\n"));
    const FSleepFunction fnPreviousSleep = SetSleepFunction([](unsigned int) {});
    CNutanixAFSManagerAPIHelper helper(ptrSimulator->Url(), "admin", "secret", 1234);
    CRhError error = helper.CreatePartnerServer({"10.0.0.5"});
    EXPECT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(1u, log->CountContaining("Partner server [curl_client_partner_server_pellorand] was created by an "
                                       "earlier attempt of this request"));

    std::vector<MountedTargets> shares;
    ASSERT_FALSE(helper.GetMountedTargets(shares).IsError());
    const std::string shareUUID = shares.front().strShareUUID;
    std::string snapUUID;
    error = helper.CreateSnap(shareUUID, "zkop__2_7_9", snapUUID);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    std::vector<MountedTargetsSnaps> snaps;
    ASSERT_FALSE(helper.GetListOfSnapsForUUID(shareUUID, snaps).IsError());
    ASSERT_EQ(1u, snaps.size());
    EXPECT_EQ(snaps[0].strSnapUUID, snapUUID);
    EXPECT_EQ(1u, log->CountContaining("Snap [zkop__2_7_9] was created by an earlier attempt of this request, UUID [" +
                                       snapUUID + "]"));
    SetSleepFunction(fnPreviousSleep);
}

}  // namespace
}  // namespace afs_test
