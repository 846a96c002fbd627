// The failover wait, in virtual time: the sleep seam records what the client
// asked for and returns at once.
#include <gtest/gtest.h>

#include <numeric>

#include "host/Sleep.h"
#include "restclient/HaBackoff.h"
#include "restclient/NutanixException.h"
#include "tests/restclient/ScriptedTransport.h"

using afs_rest_test::Answer;
using afs_rest_test::ScriptedBackend;
using afs_rest_test::Unreachable;

namespace {

class HaWait : public ::testing::Test {
protected:
    void SetUp() override {
        previous =
            SetSleepFunction([this](unsigned int milliseconds) { listSleeps.push_back(milliseconds); });
    }
    void TearDown() override { SetSleepFunction(previous); }

    static ScriptedBackend Backend(uint32_t seconds) {
        afs_rest::RestClientConfig config = ScriptedBackend::DefaultConfig();
        config.uHAWaitTime = seconds;
        return ScriptedBackend(config);
    }
    unsigned long long Total() const { return std::accumulate(listSleeps.begin(), listSleeps.end(), 0ULL); }

    std::vector<unsigned int> listSleeps;
    FSleepFunction previous;
};

const char* kEmptyList = R"({"metadata": {}, "entities": []})";

}  // namespace

TEST(HaBackoff, DoublesToThirtySecondsAndEndsExactlyOnTheBudget) {
    afs_rest::CHaBackoff backoff(100);
    std::vector<unsigned int> delays;
    unsigned int delay = 0;
    while (backoff.Next(delay)) delays.push_back(delay);
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 9000}), delays);
    EXPECT_EQ(100000u, backoff.WaitedMs());
}

TEST(HaBackoff, ZeroBudgetNeverWaits) {
    afs_rest::CHaBackoff backoff(0);
    unsigned int delay = 0;
    EXPECT_FALSE(backoff.Next(delay));
}

TEST_F(HaWait, OutageThatEndsIsWaitedOutWithTheSameRequest) {
    ScriptedBackend backend = Backend(600);
    backend.Script(Answer(503, R"({"message_list": [{"message": "failover"}]})"));
    backend.Script(Unreachable());
    backend.Script(Answer(502, ""));
    backend.Script(Answer(504, ""));
    backend.Script(Answer(200, kEmptyList));
    auto response = backend->get_mount_target(3, 4);
    EXPECT_TRUE(response->getEntities().empty());
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000, 4000, 8000}), listSleeps);
    ASSERT_EQ(5u, backend.Requests().size());
    for (const auto& request : backend.Requests()) {
        EXPECT_EQ(backend.Requests()[0].strPath, request.strPath);
        EXPECT_EQ(backend.Requests()[0].strBody, request.strBody);
    }
}

TEST_F(HaWait, OutageThatNeverEndsFailsAfterTheBudget) {
    ScriptedBackend backend = Backend(100);
    for (int i = 0; i < 20; ++i)
        backend.Script(Answer(503, R"({"message_list": [{"message": "no leader"}]})"));
    try {
        backend->get_partner_server(boost::none, boost::none);
        FAIL() << "no exception";
    } catch (const NutanixException& error) {
        EXPECT_EQ(503, error.GetHttpStatus());
        EXPECT_EQ(
            "get_partner_server failed: the file server stayed unavailable for the high-availability wait of "
            "100 s (9 attempts; last: HTTP 503: no leader)",
            std::string(error.what()));
    }
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 9000}), listSleeps);
    EXPECT_EQ(100000u, Total());
    EXPECT_EQ(9u, backend.Requests().size());
}

TEST_F(HaWait, UnreachableServerReportsTheCause) {
    ScriptedBackend backend = Backend(3);
    for (int i = 0; i < 5; ++i)
        backend.Script(Unreachable("Failed to connect to fs.test port 9440: Connection refused"));
    try {
        backend->delete_mount_target_snapshot("s1", true);
        FAIL() << "no exception";
    } catch (const NutanixException& error) {
        EXPECT_EQ(0, error.GetHttpStatus());
        EXPECT_NE(std::string::npos,
                  std::string(error.what()).find("wait of 3 s (3 attempts; last: Failed to connect"))
            << error.what();
    }
    EXPECT_EQ((std::vector<unsigned int>{1000, 2000}), listSleeps);
}

TEST_F(HaWait, ZeroWaitFailsOnTheFirstOutage) {
    ScriptedBackend backend = Backend(0);
    backend.Script(Answer(503, ""));
    EXPECT_THROW(backend->get_mount_target(boost::none, boost::none), NutanixException);
    EXPECT_TRUE(listSleeps.empty());
    EXPECT_EQ(1u, backend.Requests().size());
}

TEST_F(HaWait, OtherStatusesAndTransportFailuresAreNotRetried) {
    ScriptedBackend backend = Backend(600);
    backend.Script(Answer(500, ""));
    afs_rest::HttpResponse timeout;
    timeout.strError = "no complete answer within 1 s";
    backend.Script(timeout);
    EXPECT_THROW(backend->get_mount_target(boost::none, boost::none), NutanixException);
    try {
        backend->get_mount_target(boost::none, boost::none);
        FAIL() << "no exception";
    } catch (const NutanixException& error) {
        EXPECT_EQ(
            "get_mount_target failed: https://fs.test:9440/api/nutanix/v3: no complete answer within 1 s",
            std::string(error.what()));
    }
    EXPECT_TRUE(listSleeps.empty());
    EXPECT_EQ(2u, backend.Requests().size());
}

TEST_F(HaWait, EveryOperationStartsWithAFreshBudget) {
    ScriptedBackend backend = Backend(1);
    backend.Script(Answer(503, ""));
    backend.Script(Answer(200, kEmptyList));
    backend.Script(Answer(503, ""));
    backend.Script(Answer(200, kEmptyList));
    backend->get_mount_target(boost::none, boost::none);
    backend->get_mount_target(boost::none, boost::none);
    EXPECT_EQ((std::vector<unsigned int>{1000, 1000}), listSleeps);
}

TEST_F(HaWait, ResentDeletionThatFindsNothingSucceeds) {
    // The first attempt deleted the snapshot but its answer was lost.
    ScriptedBackend backend = Backend(60);
    backend.Script(Unreachable("Empty reply from server"));
    backend.Script(Answer(404, R"({"message_list": [{"message": "snapshot not found"}]})"));
    backend->delete_mount_target_snapshot("s1", true);
    EXPECT_EQ(2u, backend.Requests().size());
}
