#include "host/SendEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/CapturingLogWriter.h"

TEST(SendEvent, RecordsAndLogsEachEvent) {
    ISendEventInterface* ptrEvents = ISendEventInterface::GetInstance();
    ASSERT_NE(nullptr, ptrEvents);
    EXPECT_EQ(ptrEvents, ISendEventInterface::GetInstance());
    ptrEvents->ClearSentEvents();
    CScopedLogCapture capture;

    CRhError first = FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x4AB);
    first << "share1" << std::string("snapshot missing");
    ptrEvents->SendEvent(first, 0, 0);
    CRhError second = FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x10);
    ptrEvents->SendEvent(second, 0, 0);

    EXPECT_EQ((std::vector<std::string>{"0x4AB: share1 | snapshot missing", "0x10:"}),
              ptrEvents->GetSentEvents());
    EXPECT_EQ((std::vector<std::string>{"Event sent 0x4AB: share1 | snapshot missing", "Event sent 0x10:"}),
              capture->GetMessages());

    ptrEvents->ClearSentEvents();
    EXPECT_TRUE(ptrEvents->GetSentEvents().empty());
}

TEST(SendEvent, TextsPushedOnOuterEntriesAreKept) {
    ISendEventInterface* ptrEvents = ISendEventInterface::GetInstance();
    ptrEvents->ClearSentEvents();
    CRhError event = FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x20);
    event << "inner";
    event.Push(FX_CODE_LOCATION) << "outer";
    ptrEvents->SendEvent(event, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"0x20: inner | outer"}), ptrEvents->GetSentEvents());
    ptrEvents->ClearSentEvents();
}
