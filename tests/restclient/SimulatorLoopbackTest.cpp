// The libcurl client against the real simulator program over 127.0.0.1;
// failover waits run in virtual time through the sleep seam.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <sstream>

#include "host/Sleep.h"
#include "restclient/CurlClient.h"
#include "tests/support/CapturingLogWriter.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/SimulatorProcess.h"

namespace {

const char* kUser = "backup-admin";
const char* kPassword = "Loopback-Secret-7";

std::string MakeTempDir() {
    std::string pattern = "/tmp/afs-rest-loop-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SimulatorLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        strDir = MakeTempDir();
        ASSERT_EQ(0, system(("mkdir -p " + strDir + "/shares/share1/docs " + strDir + "/logs").c_str()));
        WriteFile(strDir + "/shares/share1/docs/a.txt", "first");
        previousSleep = SetSleepFunction([this](unsigned int ms) { listSleeps.push_back(ms); });
    }
    void TearDown() override {
        SetSleepFunction(previousSleep);
        ptrSim.reset();
        std::system(("rm -rf " + strDir).c_str());
    }

    // Starts afs-sim; `scenarioJson` (if any) goes into a scenario file.
    void StartSimulator(const std::string& scenarioJson = "", std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--shares", strDir + "/shares", "--state", strDir + "/state", "--port",
                                      "0",        "--user",           kUser,     "--quiet"};
        if (!scenarioJson.empty()) {
            WriteFile(strDir + "/scenario.json", scenarioJson);
            args.insert(args.end(), {"--scenario", strDir + "/scenario.json"});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error =
            afs_test::CSimulatorProcess::Start(args, ptrSim, {std::string("AFS_SIM_PASSWORD=") + kPassword});
        ASSERT_EQ("", error);
    }

    std::unique_ptr<CurlClient> Client(const std::string& server, uint32_t haWait = 30,
                                       const std::string& password = kPassword) {
        return std::make_unique<CurlClient>(server, kUser, password, "job-42", afs_log::trace,
                                            strDir + "/logs", haWait);
    }

    unsigned long long SleptMs() const { return std::accumulate(listSleeps.begin(), listSleeps.end(), 0ULL); }

    template <typename TCall>
    std::string FailureText(TCall call, long expectedStatus) {
        try {
            call();
        } catch (const NutanixException& error) {
            EXPECT_EQ(expectedStatus, error.GetHttpStatus()) << error.what();
            EXPECT_EQ(std::string::npos, std::string(error.what()).find(kPassword));
            return error.what();
        }
        ADD_FAILURE() << "no exception";
        return std::string();
    }

    std::string strDir;
    std::unique_ptr<afs_test::CSimulatorProcess> ptrSim;
    std::vector<unsigned int> listSleeps;
    FSleepFunction previousSleep;
};

std::string ShareUuid(CurlClient& client) {
    auto shares = client.get_mount_target(boost::none, boost::none);
    for (const auto& entity : shares->getEntities()) {
        if (entity->getStatus()->getName() == "share1") return entity->getMetadata()->getUuid();
    }
    return std::string();
}

}  // namespace

TEST_F(SimulatorLoopback, EveryOperationSucceeds) {
    StartSimulator();
    auto client = Client(ptrSim->Url());
    std::string partner = client->create_partner_server(
        "curl_client_partner_server_pellorand", "BACKUP", "Pellorand",
        "partner server created from curl client", boost::none, boost::none, boost::none, true, boost::none,
        boost::none, boost::none, boost::none, true);
    EXPECT_FALSE(partner.empty());
    auto partners = client->get_partner_server(0, 20);
    ASSERT_EQ(1u, partners->getEntities().size());
    EXPECT_EQ(partner, partners->getEntities()[0]->getMetadata()->getUuid());

    std::string share = ShareUuid(*client);
    ASSERT_FALSE(share.empty());
    std::string older =
        client->create_mount_target_snapshot(share, "zkop__2_7_1", "Snapshot created from scan", true);
    WriteFile(strDir + "/shares/share1/docs/b.txt", "second");
    std::string newer =
        client->create_mount_target_snapshot(share, "zkop__2_7_2", "Snapshot created from scan", true);
    auto snapshots = client->get_mount_target_snapshot(boost::none, boost::none, boost::none);
    EXPECT_EQ(2u, snapshots->getEntities().size());

    auto diff = client->create_mount_target_snapshot_incremental_diff(older, newer, boost::none, boost::none);
    ASSERT_EQ(1u, diff->getUuidList().size());
    std::vector<std::string> paths;
    boost::optional<std::string> token = std::string("");
    for (int guard = 0; guard < 100; ++guard) {
        auto page =
            client->get_mount_target_snapshot_diff_page(diff->getUuidList()[0], token, std::string("1"));
        for (const auto& object : page.getObjectList()) paths.push_back(object->getPath());
        if (page.isIsLastPage()) break;
        token = page.getNextPageToken();
    }
    EXPECT_NE(paths.end(), std::find(paths.begin(), paths.end(), "/.snapshot/zkop__2_7_2/docs/b.txt"));

    client->delete_mount_target_snapshot(older, true);
    client->delete_mount_target_snapshot(newer, true);
    EXPECT_TRUE(
        client->get_mount_target_snapshot(boost::none, boost::none, boost::none)->getEntities().empty());
    EXPECT_TRUE(listSleeps.empty());

    std::string log = ReadFile(strDir + "/logs/afs-rest-client.log");
    EXPECT_NE(std::string::npos, log.find("POST mount_targets/list status=200")) << log;
    EXPECT_NE(std::string::npos,
              log.find("DELETE mount_target_snapshots/" + older + "?wait_for_completion=true status=200"));
    EXPECT_EQ(std::string::npos, log.find(kPassword));
}

TEST_F(SimulatorLoopback, HttpErrorStatusCarriesServerMessage) {
    StartSimulator();
    auto client = Client(ptrSim->Url());
    std::string text =
        FailureText([&] { client->delete_mount_target_snapshot("no-such-snapshot", true); }, 404);
    EXPECT_EQ(0u, text.find("delete_mount_target_snapshot failed: HTTP 404: ")) << text;
}

TEST_F(SimulatorLoopback, WrongCredentials) {
    StartSimulator();
    auto client = Client(ptrSim->Url(), 30, "not-the-password");
    std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 401);
    EXPECT_EQ(0u, text.find("get_mount_target failed: HTTP 401")) << text;
    EXPECT_EQ(std::string::npos, text.find("not-the-password"));
    EXPECT_TRUE(listSleeps.empty());
}

TEST_F(SimulatorLoopback, MalformedAndTruncatedBodies) {
    StartSimulator(R"({"faults": [
        {"operation": "list_mount_targets", "nth": 1, "kind": "malformed"},
        {"operation": "list_mount_targets", "nth": 2, "kind": "truncate"},
        {"operation": "list_mount_targets", "nth": 3, "kind": "wrong_type"},
        {"operation": "list_mount_targets", "nth": 4, "kind": "drop_mid_body"}]})");
    auto client = Client(ptrSim->Url(), 0);
    for (int i = 0; i < 3; ++i) {
        std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 200);
        EXPECT_EQ(0u, text.find("get_mount_target failed: HTTP 200: malformed response: ")) << text;
    }
    std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 200);
    EXPECT_EQ(0u, text.find("get_mount_target failed: ")) << text;
    EXPECT_FALSE(ShareUuid(*client).empty());  // and the fifth request works again
}

TEST_F(SimulatorLoopback, FailoverThatEnds) {
    // The drop comes first: on a fresh connection libcurl does not re-send by
    // itself, so the client's own wait must handle it.
    StartSimulator(R"({"faults": [{"operation": "list_mount_targets", "nth": 1, "count": 1, "kind": "drop"},
                                  {"operation": "list_mount_targets", "nth": 2, "count": 2, "kind": "status", "status": 503}]})");
    auto client = Client(ptrSim->Url(), 600);
    EXPECT_FALSE(ShareUuid(*client).empty());
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000, 4000}), listSleeps);
}

TEST_F(SimulatorLoopback, FailoverThatNeverEnds) {
    StartSimulator(
        R"({"faults": [{"operation": "*", "nth": 1, "count": 1000, "kind": "status", "status": 503}]})");
    auto client = Client(ptrSim->Url(), 20);
    std::string text = FailureText([&] { client->get_partner_server(boost::none, boost::none); }, 503);
    EXPECT_NE(std::string::npos, text.find("high-availability wait of 20 s")) << text;
    EXPECT_EQ(20000u, SleptMs());
}

TEST_F(SimulatorLoopback, ServerGoneFailsAfterTheWait) {
    StartSimulator();
    std::string url = ptrSim->Url();
    ptrSim->Stop();
    auto client = Client(url, 5);
    std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 0);
    EXPECT_NE(std::string::npos, text.find("high-availability wait of 5 s")) << text;
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000, 2000}), listSleeps);
}

TEST_F(SimulatorLoopback, AnswerSlowerThanTheTransferTimeoutIsNotRetried) {
    CScopedSettings settings("[RestClient]\nTransferTimeoutSeconds = 1\n");
    StartSimulator(
        R"({"faults": [{"operation": "list_mount_targets", "nth": 1, "kind": "delay", "delay_ms": 2000}]})");
    auto client = Client(ptrSim->Url(), 600);
    std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 0);
    EXPECT_NE(std::string::npos, text.find("TransferTimeoutSeconds")) << text;
    EXPECT_TRUE(listSleeps.empty());
}

class SimulatorTls : public SimulatorLoopback {
protected:
    void SetUp() override {
        SimulatorLoopback::SetUp();
        std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1 -keyout " +
            strDir + "/key.pem -out " + strDir + "/cert.pem >/dev/null 2>&1";
        ASSERT_EQ(0, system(command.c_str()));
        StartSimulator("", {"--tls-cert", strDir + "/cert.pem", "--tls-key", strDir + "/key.pem"});
        ASSERT_EQ(0u, ptrSim->Url().find("https://")) << ptrSim->Url();
    }
};

TEST_F(SimulatorTls, VerifiedWithTheCaBundle) {
    CScopedSettings settings("[RestClient]\nCABundle = " + strDir + "/cert.pem\n");
    auto client = Client(ptrSim->Url());
    EXPECT_FALSE(ShareUuid(*client).empty());
}

TEST_F(SimulatorTls, UnknownCertificateFailsAtOnce) {
    CScopedSettings settings("[RestClient]\n");
    auto client = Client(ptrSim->Url(), 600);
    std::string text = FailureText([&] { client->get_mount_target(boost::none, boost::none); }, 0);
    EXPECT_NE(std::string::npos, text.find("certificate")) << text;
    EXPECT_TRUE(listSleeps.empty());
}

TEST_F(SimulatorTls, InsecureSkipVerifyWorksAndWarns) {
    CScopedSettings settings("[RestClient]\nInsecureSkipTLSVerify = 1\n");
    CScopedLogCapture capture(0);
    auto client = Client(ptrSim->Url());
    EXPECT_FALSE(ShareUuid(*client).empty());
    EXPECT_EQ(1u, capture->CountContaining("TLS certificate verification is OFF"));
    for (const auto& line : capture->GetLines()) EXPECT_EQ(0, line.nLevel);
}
