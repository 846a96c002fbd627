#include "host/Sleep.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SleepSeam, ReplacementReceivesEverySleepUntilItIsTakenBack) {
    std::vector<unsigned int> listSlept;
    EXPECT_FALSE(SetSleepFunction([&listSlept](unsigned int milliseconds) { listSlept.push_back(milliseconds); }));
    RHSLEEP(600000);
    RHSLEEP_InTeRnAl(6000, __FILE__, __LINE__);
    RHSLEEP(0);
    FSleepFunction fnTaken = SetSleepFunction(FSleepFunction());
    ASSERT_TRUE(fnTaken);
    fnTaken(7);
    EXPECT_EQ((std::vector<unsigned int>{600000, 6000, 0, 7}), listSlept);
}
