#include "host/SendEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/CapturingLogWriter.h"

TEST(SendEvent, RecordsAndLogsEachEventWithTheTextsOfEveryEntry) {
    ISendEventInterface* ptrEvents = ISendEventInterface::GetInstance();
    ASSERT_EQ(ptrEvents, ISendEventInterface::GetInstance());
    ptrEvents->ClearSentEvents();
    CScopedLogCapture capture;
    CRhError first = FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x4AB);
    first << "share1" << std::string("snapshot missing");
    first.Push(FX_CODE_LOCATION) << "outer";
    ptrEvents->SendEvent(first, 0, 0);
    ptrEvents->SendEvent(FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x10), 0, 0);
    EXPECT_EQ((std::vector<std::string>{"0x4AB: share1 | snapshot missing | outer", "0x10:"}), ptrEvents->GetSentEvents());
    EXPECT_EQ((std::vector<std::string>{"Event sent 0x4AB: share1 | snapshot missing | outer", "Event sent 0x10:"}),
              capture->GetMessages());
    ptrEvents->ClearSentEvents();
    EXPECT_TRUE(ptrEvents->GetSentEvents().empty());
}
