#include "host/Sleep.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

// Puts the real sleep back even when an assertion fails mid-test.
class CScopedSleepFunction {
public:
    explicit CScopedSleepFunction(FSleepFunction function)
        : fnPrevious(SetSleepFunction(std::move(function))) {}
    ~CScopedSleepFunction() { SetSleepFunction(fnPrevious); }
    CScopedSleepFunction(const CScopedSleepFunction&) = delete;
    CScopedSleepFunction& operator=(const CScopedSleepFunction&) = delete;

private:
    FSleepFunction fnPrevious;
};

}  // namespace

TEST(SleepSeam, ReplacementReceivesEverySleep) {
    std::vector<unsigned int> listSlept;
    {
        CScopedSleepFunction seam(
            [&listSlept](unsigned int milliseconds) { listSlept.push_back(milliseconds); });
        const auto start = std::chrono::steady_clock::now();
        RHSLEEP(600000);
        RHSLEEP_InTeRnAl(6000, __FILE__, __LINE__);
        RHSLEEP(0);
        // Ten minutes of requested sleep cannot have been slept for real.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    }
    EXPECT_EQ((std::vector<unsigned int>{600000, 6000, 0}), listSlept);
}

TEST(SleepSeam, SetReturnsThePreviousReplacement) {
    int nFirst = 0;
    int nSecond = 0;
    FSleepFunction previous = SetSleepFunction([&nFirst](unsigned int) { ++nFirst; });
    EXPECT_FALSE(previous);
    FSleepFunction first = SetSleepFunction([&nSecond](unsigned int) { ++nSecond; });
    ASSERT_TRUE(first);
    RHSLEEP(1);
    first(1);
    EXPECT_EQ(1, nFirst);
    EXPECT_EQ(1, nSecond);
    SetSleepFunction(FSleepFunction());
    RHSLEEP(1);
    EXPECT_EQ(1, nSecond);
}

TEST(SleepSeam, RealSleepWaitsAtLeastTheTime) {
    const auto start = std::chrono::steady_clock::now();
    RHSLEEP(1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1));
}
