#include "tests/support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <regex>

#include "tests/simulator/SimClient.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class SimulatorProcessTest : public ::testing::Test {
protected:
    // Starts afs-sim on the test's shares and state; a client as admin.
    std::unique_ptr<CSimClient> Start(std::vector<std::string> listArgs = {}, std::vector<std::string> listEnv = {}) {
        for (const char* szArg : {"--shares", "S/shares", "--state", "S/state", "--port", "0", "--quiet"}) {
            listArgs.push_back(std::regex_replace(szArg, std::regex("^S"), tempDir.GetPath()));
        }
        EXPECT_EQ("", CSimulatorProcess::Start(listArgs, ptrProcess, listEnv));
        return std::make_unique<CSimClient>(ptrProcess ? ptrProcess->Origin() : "http://127.0.0.1:1");
    }

    CScopedTempDir tempDir;
    std::unique_ptr<CSimulatorProcess> ptrProcess;
};

TEST_F(SimulatorProcessTest, BadCommandLineEndsTheProgramWithAnError) {
    std::unique_ptr<CSimulatorProcess> ptrFailed;
    EXPECT_EQ("afs-sim ended before printing its URL (exit status 1)",
              CSimulatorProcess::Start({"--shares", tempDir.GetPath() + "/missing"}, ptrFailed));
    EXPECT_EQ("afs-sim ended before printing its URL (exit status 2)", CSimulatorProcess::Start({"--bogus"}, ptrFailed));
    EXPECT_EQ(nullptr, ptrFailed);
}

TEST_F(SimulatorProcessTest, UserPasswordAndShareKnobsComeFromTheCommandLineAndEnvironment) {
    tempDir.WriteFile("shares/share1/a.txt", "a");
    auto ptrClient = Start({"--user", "bob", "--share-capabilities", "share1=CFT_BACKUP,SMB", "--share-type", "share1=HOMES"},
                           {"AFS_SIM_PASSWORD=s3cret"});
    EXPECT_EQ(401, ptrClient->Call("mount_targets/list", "{}"));
    ptrClient->client.set_basic_auth("bob", "s3cret");
    ASSERT_EQ(200, ptrClient->Call("mount_targets/list", "{}"));
    simdjson::dom::element resources = ptrClient->json["entities"].at(0)["status"]["resources"];
    EXPECT_EQ("HOMES", Text(resources["share_type"]));
    EXPECT_EQ("[\"CFT_BACKUP\",\"SMB\"]", simdjson::minify(resources["capability_list"]));
}

TEST_F(SimulatorProcessTest, SyntheticModeServesGeneratedDifferencesAndTheCommandLineWinsOverTheScenario) {
    tempDir.WriteFile("shares/share1/a.txt", "a");
    const std::string strScenario = tempDir.WriteFile("scenario.json", "{\"synthetic\": 5, \"objects_per_diff\": 1000000}");
    auto ptrClient = Start({"--scenario", strScenario, "--synthetic", "2500", "--objects-per-diff", "1000"});
    ASSERT_EQ(200, ptrClient->Call("mount_targets/list", "{}"));
    const std::string strShare = Text(ptrClient->json["entities"].at(0)["metadata"]["uuid"]);
    const std::string strOld = ptrClient->Snapshot(strShare, "old"), strNew = ptrClient->Snapshot(strShare, "new");
    ASSERT_EQ(200, ptrClient->Call("mount_target_snapshots/incremental_diff",
                                   "{\"older_snapshot_uuid\":\"" + strOld + "\",\"newer_snapshot_uuid\":\"" + strNew + "\"}"));
    ASSERT_EQ(3u, simdjson::dom::array(ptrClient->json["uuid_list"]).size());
    const std::string strLast = Text(ptrClient->json["uuid_list"].at(2));
    ASSERT_EQ(200, ptrClient->Call("mount_target_snapshots/diff/" + strLast + "?page_size=3000"));
    EXPECT_TRUE(bool(ptrClient->json["is_last_page"]));
    EXPECT_EQ(500u, simdjson::dom::array(ptrClient->json["object_list"]).size());
    EXPECT_TRUE(std::regex_match(Text(ptrClient->json["object_list"].at(0)["path"]), std::regex("/\\.snapshot/(new|old)/.+")));
}

}  // namespace
}  // namespace afs_test
