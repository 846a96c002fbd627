#include "tools/afs-sim/FileServerSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>

#include <filesystem>
#include <memory>

#include "tests/simulator/FileHelpers.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Text(simdjson::simdjson_result<simdjson::dom::element> element) {
    return std::string(std::string_view(element));
}
std::string Text(simdjson::dom::element element) { return std::string(std::string_view(element)); }

// An in-process simulator on two shares, and an authenticated client.
class SimulatorServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(Share("share1/docs/a.txt"), "alpha");
        fs::create_directories(Share("share2"));
        afs_sim::SimulatorOptions options;
        options.strSharesDir = tempDir.GetPath() + "/shares";
        options.scenario.uObjectsPerDiff = 3;
        options.scenario.uPageSizeCap = 2;
        afs_sim::ShareOverride override;
        override.strName = "share2";
        override.bHasCapabilities = true;
        override.listCapabilities = {"CFT_BACKUP", "SMB"};
        options.listShareOverrides.push_back(override);
        ASSERT_EQ("", afs_sim::CFileServerSimulator::Start(options, ptrSim));
        ptrClient = MakeClient();
        ptrClient->set_basic_auth("admin", "nutanix/4u");
    }

    std::unique_ptr<httplib::Client> MakeClient() const {
        auto ptrNew = std::make_unique<httplib::Client>("127.0.0.1", ptrSim->Port());
        ptrNew->set_read_timeout(10, 0);
        return ptrNew;
    }
    std::string Share(const std::string& strRelative) const { return tempDir.GetPath() + "/shares/" + strRelative; }

    // POSTs `strBody` to an API path; the answer's status and parsed body.
    int Post(const std::string& strPath, const std::string& strBody, simdjson::dom::element* pJson = nullptr) {
        auto result = ptrClient->Post(("/api/nutanix/v3/" + strPath).c_str(), strBody, "application/json");
        if (!result) return -1;
        strLastBody = result->body;
        if (pJson) {
            EXPECT_EQ(simdjson::SUCCESS, parser.parse(strLastBody).get(*pJson)) << strLastBody;
        }
        return result->status;
    }
    int Get(const std::string& strPath, simdjson::dom::element* pJson = nullptr) {
        auto result = ptrClient->Get(("/api/nutanix/v3/" + strPath).c_str());
        if (!result) return -1;
        strLastBody = result->body;
        if (pJson) {
            EXPECT_EQ(simdjson::SUCCESS, parser.parse(strLastBody).get(*pJson)) << strLastBody;
        }
        return result->status;
    }
    std::string ShareUuid(const std::string& strName) {
        simdjson::dom::element json;
        EXPECT_EQ(200, Post("mount_targets/list", "{}", &json));
        for (simdjson::dom::element entity : json["entities"]) {
            if (Text(entity["status"]["name"]) == strName) return Text(entity["metadata"]["uuid"]);
        }
        return {};
    }
    std::string CreateSnapshot(const std::string& strShareUuid, const std::string& strName, int nExpected = 202) {
        simdjson::dom::element json;
        std::string strBody = "{\"metadata\":{\"kind\":\"mount_target_snapshot\"},\"spec\":{\"name\":\"" + strName +
                              "\",\"resources\":{\"mount_target_uuid\":\"" + strShareUuid + "\"}}}";
        int nStatus = Post("mount_target_snapshots", strBody, nExpected == 202 ? &json : nullptr);
        EXPECT_EQ(nExpected, nStatus) << strLastBody;
        return nStatus == 202 ? Text(json["metadata"]["uuid"]) : std::string();
    }
    void SetScenario(const std::string& strJson) {
        auto result = ptrClient->Post("/_sim/scenario", strJson, "application/json");
        ASSERT_TRUE(result);
        ASSERT_EQ(200, result->status) << result->body;
    }

    CScopedTempDir tempDir;
    std::unique_ptr<afs_sim::CFileServerSimulator> ptrSim;
    std::unique_ptr<httplib::Client> ptrClient;
    simdjson::dom::parser parser;
    std::string strLastBody;
};

TEST_F(SimulatorServerTest, WrongOrMissingCredentialsAreRefusedWith401) {
    auto ptrAnonymous = MakeClient();
    auto result = ptrAnonymous->Post("/api/nutanix/v3/mount_targets/list", "{}", "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(401, result->status);
    EXPECT_THAT(result->body, HasSubstr("\"code\":401"));
    ptrAnonymous->set_basic_auth("admin", "wrong");
    result = ptrAnonymous->Post("/api/nutanix/v3/mount_targets/list", "{}", "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(401, result->status);
    EXPECT_EQ(200, Post("mount_targets/list", "{}"));
}

TEST_F(SimulatorServerTest, MountTargetsArePagedAndCarryTypeAndCapabilities) {
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_targets/list", "{\"kind\":\"mount_target\",\"offset\":1,\"length\":1}", &json));
    EXPECT_EQ(1, int64_t(json["metadata"]["length"]));
    EXPECT_EQ(2, int64_t(json["metadata"]["total_matches"]));
    simdjson::dom::element entity = json["entities"].at(0);
    EXPECT_EQ("share2", Text(entity["status"]["name"]));
    EXPECT_EQ("GENERAL", Text(entity["status"]["resources"]["share_type"]));
    EXPECT_EQ("SMB", Text(entity["status"]["resources"]["capability_list"].at(1)));
    EXPECT_EQ(400, Post("mount_targets/list", "{\"offset\":-1}"));
    EXPECT_EQ(400, Post("mount_targets/list", "{\"length\":\"20\"}"));
    EXPECT_EQ(400, Post("mount_targets/list", "[1"));
}

TEST_F(SimulatorServerTest, SnapshotIsCopiedListedAndDeleted) {
    std::string strShare = ShareUuid("share1");
    std::string strSnapshot = CreateSnapshot(strShare, "zkop__2_7_1234");
    EXPECT_EQ("alpha", CScopedTempDir::ReadFile(Share("share1/.snapshot/zkop__2_7_1234/docs/a.txt")));
    CreateSnapshot(strShare, "zkop__2_7_1234", 409);
    CreateSnapshot("00000000-0000-4000-8000-000000000000", "other", 404);
    CreateSnapshot(strShare, "..", 400);
    CreateSnapshot(strShare, "../../escape", 400);
    EXPECT_FALSE(fs::exists(tempDir.GetPath() + "/escape"));

    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_target_snapshots/list", "{}", &json));
    ASSERT_EQ(1u, simdjson::dom::array(json["entities"]).size());
    EXPECT_EQ(strSnapshot, Text(json["entities"].at(0)["metadata"]["uuid"]));
    EXPECT_EQ(strShare, Text(json["entities"].at(0)["status"]["resources"]["mount_target_uuid"]));

    auto result = ptrClient->Delete(("/api/nutanix/v3/mount_target_snapshots/" + strSnapshot + "?wait_for_completion=true").c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(200, result->status);
    EXPECT_EQ("{\"status\":\"DELETED\"}", result->body);
    EXPECT_FALSE(fs::exists(Share("share1/.snapshot/zkop__2_7_1234")));
    ASSERT_EQ(200, Post("mount_target_snapshots/list", "{}", &json));
    EXPECT_EQ(0u, simdjson::dom::array(json["entities"]).size());
    result = ptrClient->Delete(("/api/nutanix/v3/mount_target_snapshots/" + strSnapshot).c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(404, result->status);
}

TEST_F(SimulatorServerTest, DifferenceIsSpreadOverUuidsAndPagedUpToTheCap) {
    std::string strShare = ShareUuid("share1");
    std::string strOlder = CreateSnapshot(strShare, "s1");
    for (int i = 0; i < 7; ++i) WriteFile(Share("share1/new/f" + std::to_string(i) + ".txt"), "x");
    std::string strNewer = CreateSnapshot(strShare, "s2");
    simdjson::dom::element json;
    EXPECT_EQ(404, Post("mount_target_snapshots/incremental_diff",
                        "{\"older_snapshot_uuid\":\"" + strOlder + "\",\"newer_snapshot_uuid\":\"nope\"}"));
    ASSERT_EQ(200, Post("mount_target_snapshots/incremental_diff",
                        "{\"older_snapshot_uuid\":\"" + strOlder + "\",\"newer_snapshot_uuid\":\"" + strNewer +
                            "\",\"path_filter\":\"/new\"}",
                        &json));
    std::vector<std::string> listUuids;
    for (simdjson::dom::element uuid : json["uuid_list"]) listUuids.push_back(Text(uuid));
    ASSERT_EQ(3u, listUuids.size());  // 8 objects (the folder and 7 files), 3 per difference

    std::vector<std::string> listSeen;
    for (const std::string& strUuid : listUuids) {
        std::string strToken;
        for (int nPage = 0; nPage < 10; ++nPage) {
            ASSERT_EQ(200, Get("mount_target_snapshots/diff/" + strUuid + "?page_size=100&page_token=" + strToken, &json));
            simdjson::dom::array objects = json["object_list"];
            EXPECT_LE(objects.size(), 2u);
            for (simdjson::dom::element object : objects) {
                listSeen.push_back(Text(object["operation_type"]) + " " + Text(object["path"]));
            }
            if (bool(json["is_last_page"])) break;
            strToken = Text(json["next_page_token"]);
        }
    }
    EXPECT_THAT(listSeen, ElementsAre("ADD /.snapshot/s2/new", "ADD /.snapshot/s2/new/f0.txt", "ADD /.snapshot/s2/new/f1.txt",
                                      "ADD /.snapshot/s2/new/f2.txt", "ADD /.snapshot/s2/new/f3.txt",
                                      "ADD /.snapshot/s2/new/f4.txt", "ADD /.snapshot/s2/new/f5.txt",
                                      "ADD /.snapshot/s2/new/f6.txt"));
    EXPECT_EQ(404, Get("mount_target_snapshots/diff/unknown"));
    EXPECT_EQ(400, Get("mount_target_snapshots/diff/" + listUuids[0] + "?page_token=bogus"));
}

TEST_F(SimulatorServerTest, PagesAskForRetriesBeforeTheyAreReady) {
    std::string strShare = ShareUuid("share1");
    std::string strOlder = CreateSnapshot(strShare, "s1");
    WriteFile(Share("share1/b.txt"), "b");
    std::string strNewer = CreateSnapshot(strShare, "s2");
    SetScenario("{\"retry_pages\":2}");
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_target_snapshots/incremental_diff",
                        "{\"older_snapshot_uuid\":\"" + strOlder + "\",\"newer_snapshot_uuid\":\"" + strNewer + "\"}", &json));
    std::string strUuid = Text(json["uuid_list"].at(0));
    std::vector<std::string> listAnswers;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(200, Get("mount_target_snapshots/diff/" + strUuid + "?page_size=10", &json));
        listAnswers.push_back(std::string(bool(json["should_retry_page"]) ? "retry" : "ready") + " " +
                              std::to_string(simdjson::dom::array(json["object_list"]).size()));
    }
    EXPECT_THAT(listAnswers, ElementsAre("retry 0", "retry 0", "ready 1"));
}

TEST_F(SimulatorServerTest, ChosenRequestFailsWithChosenStatusAndIsRecorded) {
    SetScenario("{\"faults\":[{\"operation\":\"list_snapshots\",\"nth\":2,\"status\":500}]}");
    std::vector<int> listStatuses;
    for (int i = 0; i < 3; ++i) listStatuses.push_back(Post("mount_target_snapshots/list", "{}"));
    EXPECT_THAT(listStatuses, ElementsAre(200, 500, 200));

    auto result = ptrClient->Get("/_sim/requests");
    ASSERT_TRUE(result);
    simdjson::dom::element json = parser.parse(result->body);
    std::vector<std::string> listSeen;
    for (simdjson::dom::element record : json["requests"]) {
        listSeen.push_back(Text(record["operation"]) + " " + std::to_string(int64_t(record["status"])) + " " +
                           Text(record["fault"]));
    }
    EXPECT_THAT(listSeen, ElementsAre("list_snapshots 200 ", "list_snapshots 500 status", "list_snapshots 200 "));
}

TEST_F(SimulatorServerTest, FailoverWindowRefusesTheFirstRequestsAndPerformsNone) {
    SetScenario("{\"faults\":[{\"operation\":\"*\",\"nth\":1,\"count\":2,\"status\":503}]}");
    EXPECT_EQ(503, Post("mount_targets/list", "{}"));
    EXPECT_THAT(strLastBody, HasSubstr("\"code\":503"));
    CreateSnapshot("whatever", "during_failover", 503);
    EXPECT_NE("", ShareUuid("share1"));  // third request: served
    EXPECT_FALSE(fs::exists(Share("share1/.snapshot/during_failover")));
}

TEST_F(SimulatorServerTest, BrokenBodiesAreAnsweredWithStatus200) {
    SetScenario(
        "{\"faults\":[{\"operation\":\"list_mount_targets\",\"nth\":1,\"kind\":\"truncate\"},"
        "{\"operation\":\"list_mount_targets\",\"nth\":2,\"kind\":\"malformed\"},"
        "{\"operation\":\"list_mount_targets\",\"nth\":3,\"kind\":\"wrong_type\",\"member\":\"total_matches\"}]}");
    simdjson::dom::parser brokenParser;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(200, Post("mount_targets/list", "{}"));
        EXPECT_NE(simdjson::SUCCESS, brokenParser.parse(strLastBody).error()) << strLastBody;
    }
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_targets/list", "{}", &json));
    EXPECT_TRUE(json["metadata"]["total_matches"].is_string());
    ASSERT_EQ(200, Post("mount_targets/list", "{}", &json));
    EXPECT_EQ(2, int64_t(json["metadata"]["total_matches"]));
}

TEST_F(SimulatorServerTest, DroppedConnectionsGiveNoAnswerAndDropAfterStillPerforms) {
    std::string strShare = ShareUuid("share1");
    SetScenario(
        "{\"faults\":[{\"operation\":\"create_snapshot\",\"nth\":1,\"kind\":\"drop\"},"
        "{\"operation\":\"create_snapshot\",\"nth\":2,\"kind\":\"drop_after\"},"
        "{\"operation\":\"list_snapshots\",\"nth\":1,\"kind\":\"drop_mid_body\"}]}");
    std::string strBody = "{\"spec\":{\"name\":\"s1\",\"resources\":{\"mount_target_uuid\":\"" + strShare + "\"}}}";
    EXPECT_EQ(-1, Post("mount_target_snapshots", strBody));
    EXPECT_FALSE(fs::exists(Share("share1/.snapshot/s1")));
    EXPECT_EQ(-1, Post("mount_target_snapshots", strBody));
    EXPECT_TRUE(fs::exists(Share("share1/.snapshot/s1")));
    EXPECT_EQ(-1, Post("mount_target_snapshots/list", "{}"));
    simdjson::dom::element json;
    ASSERT_EQ(200, Post("mount_target_snapshots/list", "{}", &json));
    EXPECT_EQ("s1", Text(json["entities"].at(0)["status"]["name"]));
}

TEST_F(SimulatorServerTest, BadScenarioIsRefusedAndResetRestoresStartupKnobs) {
    auto result = ptrClient->Post("/_sim/scenario", "{\"faults\":[{\"operation\":\"nope\"}]}", "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(400, result->status);
    EXPECT_THAT(result->body, HasSubstr("unknown operation"));
    SetScenario("{\"page_size_cap\":7,\"faults\":[{\"kind\":\"status\",\"status\":502,\"count\":100}]}");
    EXPECT_EQ(502, Post("mount_targets/list", "{}"));
    result = ptrClient->Post("/_sim/reset", "", "application/json");
    ASSERT_TRUE(result);
    EXPECT_THAT(result->body, HasSubstr("\"page_size_cap\":2,"));
    EXPECT_EQ(200, Post("mount_targets/list", "{}"));
}

}  // namespace
}  // namespace afs_test
