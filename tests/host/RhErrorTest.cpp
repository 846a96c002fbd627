#include "host/RhError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

CRhError InnerFailure() {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE, "cannot open [%s]",
                                   "/mnt/a");
}

}  // namespace

TEST(RhErrorSuccess, IsTheEmptyChain) {
    CRhError ok = CRhError::Success();
    EXPECT_FALSE(ok.IsError());
    EXPECT_TRUE(ok.IsSuccess());
    EXPECT_EQ(0, ok.GetStatus());
    EXPECT_EQ(0u, ok.GetCode());
    EXPECT_EQ("", ok.GetMessage());
    EXPECT_TRUE(ok.GetEntries().empty());
    EXPECT_EQ("Success", ok.AsString());
    EXPECT_EQ("Success", ok.AsString(eErrorOutputVerbose));
    EXPECT_FALSE(CRhError().IsError());
}

TEST(RhErrorMake, CarriesStatusCodeAndMessage) {
    CRhError error = InnerFailure();
    EXPECT_TRUE(error.IsError());
    EXPECT_LT(error.GetStatus(), 0);
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("cannot open [/mnt/a]", error.GetMessage());
    ASSERT_EQ(1u, error.GetEntries().size());
    EXPECT_TRUE(Contains(error.GetEntries()[0].location.strFunction, "InnerFailure"));

    CRhError negative = FXErrorUtil::ErrorInt(FX_CODE_LOCATION, -5, "errno style %d", 5);
    EXPECT_TRUE(negative.IsError());
    EXPECT_EQ(static_cast<unsigned int>(-5), negative.GetCode());
    EXPECT_EQ("errno style 5", negative.GetMessage());

    CRhError event = FXErrorUtil::ErrorEventMessage(FX_CODE_LOCATION, 0x4AB);
    EXPECT_TRUE(event.IsError());
    EXPECT_EQ(0x4ABu, event.GetCode());
    EXPECT_EQ("event 0x4AB", event.GetMessage());
}

TEST(RhErrorChain, CopiesShareOneChain) {
    CRhError original = InnerFailure();
    CRhError copy = original;
    copy.Push(FX_CODE_LOCATION, "while scanning share %d", 3);
    ASSERT_EQ(2u, original.GetEntries().size());
    EXPECT_EQ("while scanning share 3", original.GetEntries()[1].strMessage);
    EXPECT_TRUE(Contains(original.AsString(), "while scanning share 3"));

    // The innermost cause stays the one reported by GetCode/GetMessage.
    EXPECT_EQ(1627u, original.GetCode());
    EXPECT_EQ("cannot open [/mnt/a]", original.GetMessage());
}

TEST(RhErrorChain, PushWithoutMessageRecordsOnlyTheLocation) {
    CRhError error = InnerFailure();
    const FXCodeLocation here = FX_CODE_LOCATION;
    error.Push(here);
    ASSERT_EQ(2u, error.GetEntries().size());
    const CRhError::Entry& pushed = error.GetEntries()[1];
    EXPECT_EQ(0u, pushed.uCode);
    EXPECT_EQ("", pushed.strMessage);
    EXPECT_EQ(here.nLine, pushed.location.nLine);
    EXPECT_EQ(here.strFunction, pushed.location.strFunction);
    // Nothing but the pushing function follows the arrow.
    EXPECT_EQ("cannot open [/mnt/a] [error 1627 (0x65B)] <- " + std::string(here.strFunction),
              error.AsString());
}

TEST(RhErrorChain, PushWithMessageFormatsIt) {
    CRhError error = InnerFailure();
    const FXCodeLocation here = FX_CODE_LOCATION;
    error.Push(here, "share [%s] of %u", "docs", 7u);
    EXPECT_EQ("cannot open [/mnt/a] [error 1627 (0x65B)] <- " + std::string(here.strFunction) +
                  ": share [docs] of 7",
              error.AsString());
}

TEST(RhErrorChain, PushOnSuccessKeepsItSuccess) {
    CRhError ok = CRhError::Success();
    ok.Push(FX_CODE_LOCATION, "just passing");
    EXPECT_FALSE(ok.IsError());
    EXPECT_EQ("Success", ok.AsString());
}

TEST(RhErrorParams, StreamedTextsJoinTheNewestEntry) {
    CRhError error = InnerFailure();
    std::string share = "share1";
    error << "path" << share;
    EXPECT_EQ("cannot open [/mnt/a] path share1", error.GetMessage());
    ASSERT_EQ(2u, error.GetEntries()[0].listParams.size());

    error.Push(FX_CODE_LOCATION) << "outer";
    EXPECT_EQ((std::vector<std::string>{"outer"}), error.GetEntries()[1].listParams);
    EXPECT_TRUE(Contains(error.AsString(), ": outer"));
}

TEST(RhErrorParams, NullTextAppendsEmptyText) {
    CRhError error = InnerFailure();
    const char* missing = nullptr;
    error << missing << "after";
    EXPECT_EQ((std::vector<std::string>{"", "after"}), error.GetEntries()[0].listParams);
    EXPECT_TRUE(Contains(error.AsString(), "after"));
}

TEST(RhErrorParams, StreamingIntoAnEmptyChainMakesAnEntry) {
    CRhError ok;
    ok << "note";
    ASSERT_EQ(1u, ok.GetEntries().size());
    EXPECT_EQ("note", ok.GetMessage());
    EXPECT_FALSE(ok.IsError());
}

TEST(RhErrorAsString, BothFormatsNameMessagesAndCodes) {
    CRhError error = InnerFailure();
    error.Push(FX_CODE_LOCATION, "outer context");

    const std::string plain = error.AsString(eErrorOutputPlain);
    EXPECT_EQ(plain, error.AsString());
    EXPECT_TRUE(Contains(plain, "cannot open [/mnt/a]"));
    EXPECT_TRUE(Contains(plain, "1627 (0x65B)"));
    EXPECT_TRUE(Contains(plain, "outer context"));
    EXPECT_EQ(std::string::npos, plain.find('\n'));

    const std::string verbose = error.AsString(eErrorOutputVerbose);
    EXPECT_TRUE(Contains(verbose, "cannot open [/mnt/a]"));
    EXPECT_TRUE(Contains(verbose, "error 1627 (0x65B)"));
    EXPECT_TRUE(Contains(verbose, "outer context"));
    EXPECT_TRUE(Contains(verbose, "RhErrorTest.cpp:"));
    EXPECT_TRUE(Contains(verbose, "InnerFailure"));
    // One line per entry.
    EXPECT_EQ(1, std::count(verbose.begin(), verbose.end(), '\n'));
}
