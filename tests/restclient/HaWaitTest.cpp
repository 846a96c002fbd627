// The failover wait, in virtual time: the sleep seam records what the client
// asked for and returns at once.
#include <gtest/gtest.h>

#include <numeric>

#include "host/Progress.h"
#include "host/Sleep.h"
#include "tests/restclient/ScriptedTransport.h"

using afs_rest_test::Answer;
using afs_rest_test::ScriptedBackend;

namespace {

const char* kEmptyList = R"({"metadata": {}, "entities": []})";
const char* kNoLeader = R"({"message_list": [{"message": "no leader"}]})";
const char* kRefused = "Failed to connect to fs.test port 9440: Connection refused";

TEST(HaWait, OutagesAreWaitedOutWithinTheBudgetThenReported) {
    struct Case {
        uint32_t uBudget;
        std::vector<afs_rest::HttpResponse> listAnswers;
        std::vector<unsigned> listSleeps;
        std::string failure;  // "" when the request finally succeeds
    };
    const afs_rest::HttpResponse outage = Answer(503, kNoLeader);
    afs_rest::HttpResponse timeout;
    timeout.strError = "no complete answer within 1 s";
    const Case cases[] = {
        {600,
         {outage, Answer(0, kRefused), Answer(502, ""), Answer(504, ""), Answer(200, kEmptyList)},
         {1000, 2000, 4000, 8000},
         ""},
        {100,
         std::vector<afs_rest::HttpResponse>(20, outage),
         {1000, 2000, 4000, 8000, 16000, 30000, 30000, 9000},
         "503 get_mount_target failed: the file server stayed unavailable for the high-availability wait of "
         "100 s "
         "(9 attempts; last: HTTP 503: no leader)"},
        {0,
         {Answer(503, "")},
         {},
         "503 get_mount_target failed: the file server stayed unavailable for the "
         "high-availability wait of 0 s (1 attempts; last: HTTP 503)"},
        // A busy server: its Retry-After lengthens a delay, within the budget.
        {600, {Answer(429, ""), Answer(429, "", 45), Answer(200, kEmptyList)}, {1000, 45000}, ""},
        {10,
         {Answer(429, "", 60), Answer(429, "")},
         {10000},
         "429 get_mount_target failed: the file server stayed unavailable for the high-availability wait of "
         "10 s "
         "(2 attempts; last: HTTP 429)"},
        {600,
         {timeout},
         {},
         "0 get_mount_target failed: https://fs.test:9440/api/nutanix/v3: no complete answer within 1 s"},
    };
    std::vector<unsigned> listSleeps;
    unsigned long long ullBudgetMs = 0;
    bool bShown = true;
    FSleepFunction previous = SetSleepFunction([&](unsigned int ms) {
        // A host is shown the wait so far and its limit while it sleeps.
        bShown =
            bShown && GetProgress(eProgressHaLimitMs) == ullBudgetMs &&
            GetProgress(eProgressHaWaitedMs) == std::accumulate(listSleeps.begin(), listSleeps.end(), 0ULL);
        listSleeps.push_back(ms);
    });
    for (const Case& test : cases) {
        SCOPED_TRACE(test.failure);
        listSleeps.clear();
        ullBudgetMs = test.uBudget * 1000ULL;
        ScriptedBackend backend(test.uBudget);
        for (const auto& answer : test.listAnswers) backend.Script(answer);
        const std::string failure = afs_rest_test::Failure([&] { backend->get_mount_target(3, 4); });
        EXPECT_EQ(test.failure.empty() ? "no exception" : test.failure, failure);
        EXPECT_EQ(test.listSleeps, listSleeps);
        EXPECT_TRUE(bShown);
        EXPECT_EQ(0u, GetProgress(eProgressHaLimitMs)) << "the wait is over";
        EXPECT_EQ(test.listSleeps.size() + 1, backend.listRequests.size());
    }
    // Every operation gets a budget of its own; a re-sent deletion that finds nothing left succeeded.
    listSleeps.clear();
    ScriptedBackend backend(1);
    for (auto answer : {outage, Answer(200, kEmptyList), outage, Answer(200, kEmptyList),
                        Answer(0, "Empty reply"), Answer(404, "")})
        backend.Script(answer);
    backend->get_mount_target(boost::none, boost::none);
    backend->get_mount_target(boost::none, boost::none);
    backend->delete_mount_target_snapshot("s1", true);
    EXPECT_EQ((std::vector<unsigned>{1000, 1000, 1000}), listSleeps);
    backend.Script(Answer(404, ""));
    EXPECT_EQ("404 delete_mount_target_snapshot failed: HTTP 404",
              afs_rest_test::Failure([&] { backend->delete_mount_target_snapshot("s1", true); }));
    SetSleepFunction(previous);
}

}  // namespace
