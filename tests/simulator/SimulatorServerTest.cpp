#include "tools/afs-sim/FileServerSimulator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "tests/simulator/SimClient.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

// One request and what it must answer. szPath null: another look at the last
// answer; "!" before it: no credentials, "?": a wrong password; szBody null:
// GET, "DELETE": DELETE, "snap NAME SHARE": the body that creates a snapshot.
// szValue is the minified JSON at szPointer ("<none>": absent); with szSave
// the text found there is kept as $szSave instead. szFile (below the shares)
// must then hold szContent, or not exist when szContent is null.
struct Step {
    const char* szPath;
    const char* szBody;
    int nStatus;
    const char* szPointer = nullptr;
    const char* szValue = nullptr;
    const char* szSave = nullptr;
    const char* szFile = nullptr;
    const char* szContent = nullptr;
};

const Step kSteps[] = {
    {"!mount_targets/list", "{}", 401, "/code", "401"},
    {"?mount_targets/list", "{}", 401, "/code", "401"},
    {"mount_targets/list", "{\"kind\":\"mount_target\",\"offset\":1,\"length\":1}", 200, "/metadata/total_matches", "2"},
    {nullptr, nullptr, 200, "/metadata/length", "1"},
    {nullptr, nullptr, 200, "/entities/0/status/name", "\"share2\""},
    {nullptr, nullptr, 200, "/entities/0/status/resources/share_type", "\"GENERAL\""},
    {nullptr, nullptr, 200, "/entities/0/status/resources/capability_list", "[\"CFT_BACKUP\",\"SMB\"]"},
    {"mount_targets/list", "{\"offset\":-1}", 400}, {"mount_targets/list", "{\"length\":\"20\"}", 400},
    {"mount_targets/list", "[1", 400},
    {"mount_targets/list", "{}", 200, "/entities/0/metadata/uuid", nullptr, "share1"},
    {"mount_target_snapshots", "snap s1 $share1", 202, "/metadata/uuid", nullptr, "s1", "share1/.snapshot/s1/docs/a.txt", "alpha"},
    {"mount_target_snapshots", "snap s1 $share1", 409},
    {"mount_target_snapshots", "snap other 00000000-0000-4000-8000-000000000000", 404},
    {"mount_target_snapshots", "snap .. $share1", 400},
    {"mount_target_snapshots", "snap ../../escape $share1", 400, nullptr, nullptr, nullptr, "../escape"},
    {"mount_target_snapshots/list", "{}", 200, "/entities/0/metadata/uuid", "\"$s1\""},
    {nullptr, nullptr, 200, "/entities/0/status/resources/mount_target_uuid", "\"$share1\""},
    {nullptr, nullptr, 200, "/entities/1", "<none>"},
    {"mount_target_snapshots/incremental_diff", "{\"older_snapshot_uuid\":\"$s1\",\"newer_snapshot_uuid\":\"nope\"}", 404},
    {"mount_target_snapshots/diff/unknown", nullptr, 404},
    // Faults chosen by the scenario: a status on the nth request, dropped connections.
    {"/_sim/scenario", "{\"faults\":[{\"operation\":\"nope\"}]}", 400},
    {"/_sim/scenario", "{\"faults\":[{\"operation\":\"list_snapshots\",\"nth\":2,\"status\":500}]}", 200},
    {"mount_target_snapshots/list", "{}", 200}, {"mount_target_snapshots/list", "{}", 500},
    {"mount_target_snapshots/list", "{}", 200},
    {"/_sim/requests", nullptr, 200, "/requests/16/fault", "\"status\""},
    {nullptr, nullptr, 200, "/requests/16/status", "500"}, {nullptr, nullptr, 200, "/requests/17/fault", "\"\""},
    {nullptr, nullptr, 200, "/requests/16/operation", "\"list_snapshots\""},
    {"/_sim/scenario", "{\"faults\":[{\"operation\":\"create_snapshot\",\"nth\":1,\"kind\":\"drop\"},{\"operation\":"
     "\"create_snapshot\",\"nth\":2,\"kind\":\"drop_after\"},{\"operation\":\"list_snapshots\",\"nth\":1,\"kind\":"
     "\"drop_mid_body\"}]}", 200},
    {"mount_target_snapshots", "snap s2 $share1", -1, nullptr, nullptr, nullptr, "share1/.snapshot/s2"},
    {"mount_target_snapshots", "snap s2 $share1", -1, nullptr, nullptr, nullptr, "share1/.snapshot/s2/docs/a.txt", "alpha"},
    {"mount_target_snapshots/list", "{}", -1},
    {"mount_target_snapshots/list", "{}", 200, "/entities/1/status/name", "\"s2\""},
    {"/_sim/scenario", "{\"page_size_cap\":7,\"faults\":[{\"kind\":\"status\",\"status\":502,\"count\":100}]}", 200},
    {"mount_targets/list", "{}", 502},
    {"/_sim/reset", "", 200, "/page_size_cap", "2"},
    {"mount_target_snapshots/" "$s1", "DELETE", 200, "/status", "\"DELETED\"", nullptr, "share1/.snapshot/s1"},
    {"mount_target_snapshots/" "$s1", "DELETE", 404},
};

std::string Expand(std::string text, const std::map<std::string, std::string>& mapSaved) {
    for (const auto& [strName, strValue] : mapSaved) {
        for (size_t u = text.find("$" + strName); u != std::string::npos; u = text.find("$" + strName)) {
            text.replace(u, strName.size() + 1, strValue);
        }
    }
    return text;
}

class SimulatorServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tempDir.WriteFile("shares/share1/docs/a.txt", "alpha");
        std::filesystem::create_directories(tempDir.GetPath() + "/shares/share2");
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
    }

    CScopedTempDir tempDir;
    std::unique_ptr<afs_sim::CFileServerSimulator> ptrSim;
};

TEST_F(SimulatorServerTest, AnswersEachRequestAsScriptedAndChangesTheSharesAccordingly) {
    std::map<std::string, std::string> mapSaved;
    const std::string strOrigin = "http://127.0.0.1:" + std::to_string(ptrSim->Port());
    CSimClient admin(strOrigin), anonymous(strOrigin), wrong(strOrigin);
    anonymous.client.set_basic_auth("", "");
    wrong.client.set_basic_auth("admin", "wrong");
    CSimClient* ptrLast = &admin;
    int nStatus = 0;
    for (const Step& step : kSteps) {
        SCOPED_TRACE(std::string(step.szPath ? step.szPath : "(same)") + " " + (step.szPointer ? step.szPointer : ""));
        if (step.szPath != nullptr) {
            std::string strPath = Expand(step.szPath, mapSaved), strBody = Expand(step.szBody ? step.szBody : "", mapSaved);
            ptrLast = strPath[0] == '!' ? &anonymous : strPath[0] == '?' ? &wrong : &admin;
            if (ptrLast != &admin) strPath.erase(0, 1);
            if (strBody.rfind("snap ", 0) == 0) {
                const size_t uBlank = strBody.find(' ', 5);
                nStatus = ptrLast->Call(strPath, "{\"spec\":{\"name\":\"" + strBody.substr(5, uBlank - 5) +
                                                     "\",\"resources\":{\"mount_target_uuid\":\"" + strBody.substr(uBlank + 1) +
                                                     "\"}}}");
            } else {
                nStatus = ptrLast->Call(strPath, step.szBody ? strBody.c_str() : nullptr, strBody == "DELETE" ? "DELETE" : "POST");
            }
        }
        EXPECT_EQ(step.nStatus, nStatus) << ptrLast->strBody;
        if (step.szPointer != nullptr) {
            simdjson::dom::element found;
            const bool bFound = ptrLast->bJson && ptrLast->json.at_pointer(step.szPointer).get(found) == simdjson::SUCCESS;
            if (step.szSave != nullptr) {
                mapSaved[step.szSave] = bFound ? std::string(std::string_view(found)) : "<none>";
            } else {
                EXPECT_EQ(Expand(step.szValue, mapSaved), bFound ? simdjson::minify(found) : "<none>");
            }
        }
        if (step.szFile != nullptr) {
            const std::string strFile = tempDir.GetPath() + "/shares/" + step.szFile;
            EXPECT_EQ(step.szContent != nullptr, std::filesystem::exists(strFile)) << strFile;
            EXPECT_EQ(step.szContent ? step.szContent : "", CScopedTempDir::ReadFile(strFile));
        }
    }
}

TEST_F(SimulatorServerTest, DifferenceIsSpreadOverUuidsPagedUpToTheCapAndRetriedWhenNotReady) {
    CSimClient admin("http://127.0.0.1:" + std::to_string(ptrSim->Port()));
    ASSERT_EQ(200, admin.Call("mount_targets/list", "{}"));
    const std::string strShare = Text(admin.json["entities"].at(0)["metadata"]["uuid"]);
    const std::string strOlder = admin.Snapshot(strShare, "s1");
    for (int i = 0; i < 7; ++i) tempDir.WriteFile("shares/share1/new/f" + std::to_string(i) + ".txt", "x");
    const std::string strNewer = admin.Snapshot(strShare, "s2");
    ASSERT_EQ(200, admin.Call("/_sim/scenario", "{\"retry_pages\":2}"));
    ASSERT_EQ(200, admin.Call("mount_target_snapshots/incremental_diff", "{\"older_snapshot_uuid\":\"" + strOlder +
                                  "\",\"newer_snapshot_uuid\":\"" + strNewer + "\",\"path_filter\":\"/new\"}"));
    std::vector<std::string> listUuids, listSeen;
    for (simdjson::dom::element uuid : admin.json["uuid_list"]) listUuids.emplace_back(std::string_view(uuid));
    ASSERT_EQ(3u, listUuids.size());  // the folder and its 7 files, 3 per difference
    for (const std::string& strUuid : listUuids) {
        std::string strToken;
        for (int nPage = 0; nPage < 10 && strToken != "<last>"; ++nPage) {
            ASSERT_EQ(200, admin.Call("mount_target_snapshots/diff/" + strUuid + "?page_size=100&page_token=" + strToken));
            if (bool(admin.json["should_retry_page"])) listSeen.push_back("retry " + Text(admin.json["next_page_token"]));
            for (simdjson::dom::element object : admin.json["object_list"]) {
                listSeen.push_back(Text(object["operation_type"]) + " " + Text(object["path"]));
            }
            if (!bool(admin.json["should_retry_page"])) {
                strToken = bool(admin.json["is_last_page"]) ? "<last>" : Text(admin.json["next_page_token"]);
            }
        }
    }
    // Every page (at most 2 objects) is refused twice first, with the token it was asked for.
    EXPECT_EQ((std::vector<std::string>{"retry ", "retry ", "ADD /.snapshot/s2/new", "ADD /.snapshot/s2/new/f0.txt",
                                        "retry 2", "retry 2", "ADD /.snapshot/s2/new/f1.txt", "retry ", "retry ",
                                        "ADD /.snapshot/s2/new/f2.txt", "ADD /.snapshot/s2/new/f3.txt", "retry 2",
                                        "retry 2", "ADD /.snapshot/s2/new/f4.txt", "retry ", "retry ",
                                        "ADD /.snapshot/s2/new/f5.txt", "ADD /.snapshot/s2/new/f6.txt"}),
              listSeen);
    EXPECT_EQ(400, admin.Call("mount_target_snapshots/diff/" + listUuids[0] + "?page_token=bogus"));
}

}  // namespace
}  // namespace afs_test
