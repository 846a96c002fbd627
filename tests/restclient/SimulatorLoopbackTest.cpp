// The libcurl client against the real simulator program over 127.0.0.1;
// failover waits run in virtual time through the sleep seam.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <numeric>

#include "host/Sleep.h"
#include "restclient/CurlClient.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/SimulatorProcess.h"

namespace {

const char* kUser = "backup-admin";
const char* kPassword = "Loopback-Secret-7";
const boost::none_t none = boost::none;

class SimulatorLoopback : public ::testing::Test {
protected:
    SimulatorLoopback() {
        std::filesystem::create_directories(tempDir.GetPath() + "/shares/share1/docs");
        tempDir.WriteFile("shares/share1/docs/a.txt", "first");
        fnPreviousSleep = SetSleepFunction([this](unsigned int ms) { listSleeps.push_back(ms); });
    }
    ~SimulatorLoopback() override { SetSleepFunction(fnPreviousSleep); }

    // Starts afs-sim; `scenarioJson` (if any) goes into a scenario file.
    void StartSimulator(const std::string& scenarioJson = "", std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--shares", tempDir.GetPath() + "/shares", "--state", tempDir.GetPath() + "/state",
                                      "--port", "0", "--user", kUser, "--quiet"};
        if (!scenarioJson.empty()) args.insert(args.end(), {"--scenario", tempDir.WriteFile("scenario.json", scenarioJson)});
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ("", afs_test::CSimulatorProcess::Start(args, ptrSim, {std::string("AFS_SIM_PASSWORD=") + kPassword}));
    }
    std::unique_ptr<CurlClient> Client(uint32_t haWait = 30, const std::string& password = kPassword) {
        return std::make_unique<CurlClient>(ptrSim->Url(), kUser, password, "job-42", afs_log::trace,
                                            tempDir.GetPath() + "/logs", haWait);
    }
    // "<status> <text>" of the NutanixException `call` throws, or "ok".
    static std::string Outcome(const std::function<void()>& call) {
        try {
            call();
        } catch (const NutanixException& error) {
            EXPECT_EQ(std::string::npos, std::string(error.what()).find(kPassword));
            return std::to_string(error.GetHttpStatus()) + " " + error.what();
        }
        return "ok";
    }

    CScopedTempDir tempDir;
    std::unique_ptr<afs_test::CSimulatorProcess> ptrSim;
    std::vector<unsigned int> listSleeps;
    FSleepFunction fnPreviousSleep;
};

std::string ShareUuid(CurlClient& client) {
    const auto ptrPage = client.get_mount_target(none, none);
    for (const auto& entity : ptrPage->getEntities())
        if (entity->getStatus()->getName() == "share1") return entity->getMetadata()->getUuid();
    return std::string();
}

TEST_F(SimulatorLoopback, EveryOperationSucceeds) {
    StartSimulator();
    auto client = Client();
    std::string partner = client->create_partner_server("ps", "BACKUP", "Pellorand", "d", none, none, none, true,
                                                        none, none, none, none, true);
    ASSERT_EQ(1u, client->get_partner_server(0, 20)->getEntities().size());
    EXPECT_EQ(partner, client->get_partner_server(0, 20)->getEntities()[0]->getMetadata()->getUuid());
    const std::string share = ShareUuid(*client);
    const std::string older = client->create_mount_target_snapshot(share, "zkop__2_7_1", "Snapshot", true);
    tempDir.WriteFile("shares/share1/docs/b.txt", "second");
    const std::string newer = client->create_mount_target_snapshot(share, "zkop__2_7_2", "Snapshot", true);
    EXPECT_EQ(2u, client->get_mount_target_snapshot(none, none, none)->getEntities().size());
    auto diff = client->create_mount_target_snapshot_incremental_diff(older, newer, none, none);
    ASSERT_EQ(1u, diff->getUuidList().size());
    std::vector<std::string> paths;
    boost::optional<std::string> token = std::string("");
    for (int guard = 0; guard < 100; ++guard) {
        auto page = client->get_mount_target_snapshot_diff_page(diff->getUuidList()[0], token, std::string("1"));
        for (const auto& object : page.getObjectList()) paths.push_back(object->getPath());
        if (page.isIsLastPage()) break;
        token = page.getNextPageToken();
    }
    EXPECT_EQ((std::vector<std::string>{"/.snapshot/zkop__2_7_2/docs", "/.snapshot/zkop__2_7_2/docs/b.txt"}), paths);
    client->delete_mount_target_snapshot(older, true);
    client->delete_mount_target_snapshot(newer, true);
    EXPECT_TRUE(client->get_mount_target_snapshot(none, none, none)->getEntities().empty());
    EXPECT_TRUE(listSleeps.empty());
    const std::string log = CScopedTempDir::ReadFile(tempDir.GetPath() + "/logs/afs-rest-client.log");
    EXPECT_NE(std::string::npos, log.find("DELETE mount_target_snapshots/" + older + "?wait_for_completion=true status=200"));
    EXPECT_EQ(std::string::npos, log.find(kPassword));
}

// Server faults in; the exception's status and text, and the waits, out.
TEST_F(SimulatorLoopback, FaultsEndAsTheRightFailureAfterTheRightWait) {
    const std::string kShares = R"({"faults": [{"operation": "list_mount_targets", )";
    struct Case {
        std::string scenario, settings;
        uint32_t uHAWait;
        bool bWrongPassword, bStopped;
        std::string outcome;  // a prefix of Outcome()
        std::vector<unsigned> listSleeps;
    };
    const Case cases[] = {
        {"", "", 30, true, false, "401 get_mount_target failed: HTTP 401", {}},
        {kShares + R"("nth": 1, "kind": "malformed"}]})", "", 0, false, false,
         "200 get_mount_target failed: HTTP 200: malformed response: ", {}},
        {kShares + R"("nth": 1, "kind": "truncate"}]})", "", 0, false, false,
         "200 get_mount_target failed: HTTP 200: malformed response: ", {}},
        {kShares + R"("nth": 1, "kind": "wrong_type"}]})", "", 0, false, false,
         "200 get_mount_target failed: HTTP 200: malformed response: ", {}},
        {kShares + R"("nth": 1, "kind": "drop_mid_body"}]})", "", 0, false, false, "200 get_mount_target failed: ", {}},
        // A drop first: on a fresh connection libcurl does not re-send by itself.
        {kShares + R"("nth": 1, "kind": "drop"}, {"operation": "list_mount_targets", "nth": 2, "count": 2, "kind": "status", "status": 503}]})",
         "", 600, false, false, "ok", {1000, 2000, 4000}},
        {R"({"faults": [{"operation": "*", "nth": 1, "count": 1000, "kind": "status", "status": 503}]})", "", 20, false,
         false, "503 get_mount_target failed: the file server stayed unavailable for the high-availability wait of 20 s",
         {1000, 2000, 4000, 8000, 5000}},
        {"", "", 5, false, true, "0 get_mount_target failed: the file server stayed unavailable for the high-availability wait of 5 s",
         {1000, 2000, 2000}},
        {kShares + R"("nth": 1, "kind": "delay", "delay_ms": 2000}]})", "[RestClient]\nTransferTimeoutSeconds = 1\n", 600,
         false, false, "0 get_mount_target failed: ", {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.scenario + " " + test.outcome);
        CScopedSettings settings(test.settings);
        listSleeps.clear();
        StartSimulator(test.scenario);
        if (test.bStopped) ptrSim->Stop();
        auto client = Client(test.uHAWait, test.bWrongPassword ? "not-the-password" : kPassword);
        const std::string outcome = Outcome([&] { client->get_mount_target(none, none); });
        EXPECT_EQ(0u, outcome.find(test.outcome)) << outcome;
        EXPECT_EQ(test.listSleeps, listSleeps);
        if (test.outcome == "0 get_mount_target failed: ") {
            EXPECT_NE(std::string::npos, outcome.find("TransferTimeoutSeconds"));
        }
        if (!test.bStopped && test.uHAWait == 0) {
            EXPECT_FALSE(ShareUuid(*client).empty());  // the next request works
        }
    }
    StartSimulator();
    auto client = Client();
    EXPECT_EQ(0u, Outcome([&] { client->delete_mount_target_snapshot("no-such", true); })
                      .find("404 delete_mount_target_snapshot failed: HTTP 404: "));
}

TEST_F(SimulatorLoopback, TlsIsVerifiedAgainstTheBundleOrTurnedOffWithAWarning) {
    ASSERT_EQ(0, system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                         "subjectAltName=IP:127.0.0.1 -keyout " + tempDir.GetPath() + "/key.pem -out " +
                         tempDir.GetPath() + "/cert.pem >/dev/null 2>&1").c_str()));
    StartSimulator("", {"--tls-cert", tempDir.GetPath() + "/cert.pem", "--tls-key", tempDir.GetPath() + "/key.pem"});
    ASSERT_EQ(0u, ptrSim->Url().find("https://")) << ptrSim->Url();
    CScopedLogCapture capture(0);
    {
        CScopedSettings settings("[RestClient]\nCABundle = " + tempDir.GetPath() + "/cert.pem\n");
        EXPECT_FALSE(ShareUuid(*Client()).empty());
    }
    {
        CScopedSettings settings("");
        const std::string outcome = Outcome([&] { ShareUuid(*Client(600)); });
        EXPECT_EQ(0u, outcome.find("0 get_mount_target failed: ")) << outcome;
        EXPECT_NE(std::string::npos, outcome.find("certificate")) << outcome;
        EXPECT_TRUE(listSleeps.empty());
    }
    EXPECT_TRUE(capture->GetLines().empty());
    CScopedSettings settings("[RestClient]\nInsecureSkipTLSVerify = 1\n");
    EXPECT_FALSE(ShareUuid(*Client()).empty());
    EXPECT_EQ(1u, capture->CountContaining("TLS certificate verification is OFF for " + ptrSim->Url(), 0));
}

}  // namespace
