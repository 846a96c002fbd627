#include "tests/support/SimulatorProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>

#include <filesystem>

#include "tests/simulator/FileHelpers.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;

std::string Text(simdjson::simdjson_result<simdjson::dom::element> element) {
    return std::string(std::string_view(element));
}

// Talks to a simulator child process as user admin unless told otherwise.
class SimulatorProcessTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(tempDir.GetPath() + "/shares/share1/sub"); }

    std::vector<std::string> Args(std::vector<std::string> listMore = {}) const {
        std::vector<std::string> listArgs{"--shares", tempDir.GetPath() + "/shares", "--state", tempDir.GetPath() + "/state",
                                          "--port", "0", "--quiet"};
        listArgs.insert(listArgs.end(), listMore.begin(), listMore.end());
        return listArgs;
    }
    void Start(std::vector<std::string> listMore = {}, std::vector<std::string> listEnv = {}) {
        ASSERT_EQ("", CSimulatorProcess::Start(Args(std::move(listMore)), ptrProcess, listEnv));
        ptrClient = std::make_unique<httplib::Client>(ptrProcess->Origin());
        ptrClient->set_basic_auth("admin", "nutanix/4u");
    }
    // POST to an API path; status, and the body parsed into `json` when 2xx.
    int Post(const std::string& strPath, const std::string& strRequestBody, simdjson::dom::element& json) {
        auto result = ptrClient->Post(("/api/nutanix/v3/" + strPath).c_str(), strRequestBody, "application/json");
        if (!result) return -1;
        strBody = result->body;
        if (result->status / 100 == 2) {
            EXPECT_EQ(simdjson::SUCCESS, parser.parse(strBody).get(json));
        }
        return result->status;
    }

    CScopedTempDir tempDir;
    std::unique_ptr<CSimulatorProcess> ptrProcess;
    std::unique_ptr<httplib::Client> ptrClient;
    simdjson::dom::parser parser;
    std::string strBody;
};

TEST_F(SimulatorProcessTest, PrintsItsUrlAndEndsCleanlyOnSigterm) {
    Start();
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(ptrProcess->Port()) + "/api/nutanix/v3", ptrProcess->Url());
    EXPECT_GT(ptrProcess->Port(), 0);
    EXPECT_EQ(0, ptrProcess->Stop());
}

TEST_F(SimulatorProcessTest, BadCommandLineEndsTheProgramWithAnError) {
    std::unique_ptr<CSimulatorProcess> ptrFailed;
    EXPECT_THAT(CSimulatorProcess::Start({"--shares", tempDir.GetPath() + "/missing"}, ptrFailed),
                ::testing::HasSubstr("exit status 1"));
    EXPECT_THAT(CSimulatorProcess::Start({"--bogus"}, ptrFailed), ::testing::HasSubstr("exit status 2"));
    EXPECT_EQ(nullptr, ptrFailed);
}

TEST_F(SimulatorProcessTest, SharesSnapshotsAndPartnerServersSurviveARestart) {
    Start();
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_targets/list", "{}", json));
    std::string strShare = Text(json["entities"].at(0)["metadata"]["uuid"]);
    ASSERT_EQ(202, Post("mount_target_snapshots",
                        "{\"spec\":{\"name\":\"before\",\"resources\":{\"mount_target_uuid\":\"" + strShare + "\"}}}", json));
    std::string strBefore = Text(json["metadata"]["uuid"]);
    ASSERT_EQ(202, Post("partner_servers", "{\"spec\":{\"name\":\"partner\",\"resources\":{\"vendor_name\":\"V\"}}}", json));
    std::string strPartner = Text(json["metadata"]["uuid"]);
    EXPECT_EQ(0, ptrProcess->Stop());

    WriteFile(tempDir.GetPath() + "/shares/share1/sub/later.txt", "later");
    Start();
    ASSERT_EQ(200, Post("mount_targets/list", "{}", json));
    EXPECT_EQ(strShare, Text(json["entities"].at(0)["metadata"]["uuid"]));
    ASSERT_EQ(200, Post("partner_servers/list", "{}", json));
    EXPECT_EQ(strPartner, Text(json["entities"].at(0)["metadata"]["uuid"]));
    // Registering the name again keeps its UUID.
    ASSERT_EQ(202, Post("partner_servers", "{\"spec\":{\"name\":\"partner\"}}", json));
    EXPECT_EQ(strPartner, Text(json["metadata"]["uuid"]));
    ASSERT_EQ(202, Post("mount_target_snapshots",
                        "{\"spec\":{\"name\":\"after\",\"resources\":{\"mount_target_uuid\":\"" + strShare + "\"}}}", json));
    std::string strAfter = Text(json["metadata"]["uuid"]);
    ASSERT_EQ(200, Post("mount_target_snapshots/list", "{\"offset\":0,\"length\":20}", json));
    std::vector<std::string> listNames;
    for (simdjson::dom::element entity : json["entities"]) listNames.push_back(Text(entity["status"]["name"]));
    EXPECT_THAT(listNames, ::testing::ElementsAre("before", "after"));

    ASSERT_EQ(200, Post("mount_target_snapshots/incremental_diff",
                        "{\"older_snapshot_uuid\":\"" + strBefore + "\",\"newer_snapshot_uuid\":\"" + strAfter +
                            "\",\"object_type_filter\":\"FILE\"}",
                        json));
    std::string strDiff = Text(json["uuid_list"].at(0));
    auto result = ptrClient->Get(("/api/nutanix/v3/mount_target_snapshots/diff/" + strDiff + "?page_size=10").c_str());
    ASSERT_TRUE(result);
    json = parser.parse(result->body);
    ASSERT_EQ(1u, simdjson::dom::array(json["object_list"]).size());
    EXPECT_EQ("/.snapshot/after/sub/later.txt", Text(json["object_list"].at(0)["path"]));
    EXPECT_EQ("ADD", Text(json["object_list"].at(0)["operation_type"]));
    EXPECT_EQ(5, int64_t(json["object_list"].at(0)["size"]));
}

TEST_F(SimulatorProcessTest, UserPasswordAndCapabilitiesComeFromTheCommandLineAndEnvironment) {
    Start({"--user", "bob", "--share-capabilities", "share1=CFT_BACKUP,SMB", "--share-type", "share1=HOMES"},
          {"AFS_SIM_PASSWORD=s3cret"});
    simdjson::dom::element json;
    EXPECT_EQ(401, Post("mount_targets/list", "{}", json));
    ptrClient->set_basic_auth("bob", "s3cret");
    ASSERT_EQ(200, Post("mount_targets/list", "{}", json));
    simdjson::dom::element resources = json["entities"].at(0)["status"]["resources"];
    EXPECT_EQ("HOMES", Text(resources["share_type"]));
    EXPECT_EQ("SMB", Text(resources["capability_list"].at(1)));
}

TEST_F(SimulatorProcessTest, SyntheticModeServesGeneratedDifferences) {
    WriteFile(tempDir.GetPath() + "/scenario.json", "{\"synthetic\": 5, \"objects_per_diff\": 1000000}");
    Start({"--scenario", tempDir.GetPath() + "/scenario.json", "--synthetic", "2500", "--objects-per-diff", "1000"});
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_targets/list", "{}", json));
    std::string strShare = Text(json["entities"].at(0)["metadata"]["uuid"]);
    std::vector<std::string> listSnapshots;
    for (const char* szName : {"old", "new"}) {
        ASSERT_EQ(202, Post("mount_target_snapshots",
                            std::string("{\"spec\":{\"name\":\"") + szName +
                                "\",\"resources\":{\"mount_target_uuid\":\"" + strShare + "\"}}}",
                            json));
        listSnapshots.push_back(Text(json["metadata"]["uuid"]));
    }
    ASSERT_EQ(200, Post("mount_target_snapshots/incremental_diff",
                        "{\"older_snapshot_uuid\":\"" + listSnapshots[0] + "\",\"newer_snapshot_uuid\":\"" +
                            listSnapshots[1] + "\"}",
                        json));
    ASSERT_EQ(3u, simdjson::dom::array(json["uuid_list"]).size());
    std::string strLastDiff = Text(json["uuid_list"].at(2));
    auto result = ptrClient->Get(("/api/nutanix/v3/mount_target_snapshots/diff/" + strLastDiff + "?page_size=3000").c_str());
    ASSERT_TRUE(result);
    json = parser.parse(result->body);
    EXPECT_TRUE(bool(json["is_last_page"]));
    EXPECT_EQ(500u, simdjson::dom::array(json["object_list"]).size());
    std::string strPath = Text(json["object_list"].at(0)["path"]);
    EXPECT_TRUE(strPath.rfind("/.snapshot/new/", 0) == 0 || strPath.rfind("/.snapshot/old/", 0) == 0) << strPath;
}

}  // namespace
}  // namespace afs_test
