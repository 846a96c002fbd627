#include <gtest/gtest.h>

#include "restclient/Timestamp.h"

using afs_rest::FormatIso8601Utc;
using afs_rest::ParseIso8601Utc;

namespace {

// Seconds since the Unix epoch, through the datetime's 100 ns ticks since 1601.
long long UnixSeconds(const utility::datetime& time) {
    return static_cast<long long>(time.to_interval() / 10000000ULL) - 11644473600LL;
}

utility::datetime Parsed(const std::string& text) {
    utility::datetime time;
    EXPECT_TRUE(ParseIso8601Utc(text, time)) << text;
    return time;
}

}  // namespace

TEST(Iso8601Parse, EpochAndTheSecondBeforeIt) {
    EXPECT_EQ(0, UnixSeconds(Parsed("1970-01-01T00:00:00Z")));
    EXPECT_EQ(-1, UnixSeconds(Parsed("1969-12-31T23:59:59Z")));
}

TEST(Iso8601Parse, FirstRepresentableInstantIs1601) {
    EXPECT_EQ(0u, Parsed("1601-01-01T00:00:00Z").to_interval());
    utility::datetime untouched = utility::datetime::from_interval(42);
    EXPECT_FALSE(ParseIso8601Utc("1600-12-31T23:59:59Z", untouched));
    EXPECT_EQ(42u, untouched.to_interval());
}

TEST(Iso8601Parse, LastYear9999) {
    EXPECT_EQ(253402300799LL, UnixSeconds(Parsed("9999-12-31T23:59:59Z")));
    EXPECT_EQ("9999-12-31T23:59:59Z", FormatIso8601Utc(Parsed("9999-12-31T23:59:59Z")));
}

TEST(Iso8601Parse, FractionsUpToSevenDigits) {
    uint64_t whole = Parsed("2026-12-01T10:11:12Z").to_interval();
    EXPECT_EQ(whole + 5000000, Parsed("2026-12-01T10:11:12.5Z").to_interval());
    EXPECT_EQ(whole + 1234567, Parsed("2026-12-01T10:11:12.1234567Z").to_interval());
    EXPECT_EQ("2026-12-01T10:11:12.1234567Z", FormatIso8601Utc(Parsed("2026-12-01T10:11:12.1234567Z")));
    utility::datetime time;
    EXPECT_FALSE(ParseIso8601Utc("2026-12-01T10:11:12.Z", time));
}

TEST(Iso8601Parse, RejectsWhatIsNotRfc3339) {
    utility::datetime time;
    for (const char* text : {"2026-12-01 10:11:12Z", "2026-02-30T00:00:00Z", "2026-12-01T10:11:12",
                             "2026-12-01T10:11:12+0000", "2026-12-01T24:00:00Z", "2026-12-01T10:60:00Z",
                             "2026-12-01T10:11:61Z", "2026-13-01T10:11:12Z", "2026-12-01T10:11:12Zjunk",
                             " 2026-12-01T10:11:12Z", "2026-1-01T10:11:12Z", "2025-02-29T00:00:00Z", ""}) {
        EXPECT_FALSE(ParseIso8601Utc(text, time)) << text;
    }
    EXPECT_EQ(951782400LL, UnixSeconds(Parsed("2000-02-29T00:00:00Z")));
}

struct Rfc3339Case {
    const char* szText;
    const char* szUtc;  // the same instant as written back in UTC
};

TEST(Iso8601Parse, RegressionEveryRfc3339FormIsRead) {
    const Rfc3339Case cases[] = {
        {"2026-12-01T10:11:12+00:00", "2026-12-01T10:11:12Z"},
        {"2026-12-01T10:11:12-00:00", "2026-12-01T10:11:12Z"},
        {"2026-12-01T01:11:12+05:30", "2026-11-30T19:41:12Z"},
        {"2026-12-31T23:11:12-01:00", "2027-01-01T00:11:12Z"},
        {"2026-12-01t10:11:12z", "2026-12-01T10:11:12Z"},
        {"2026-12-01T10:11:12.12345678Z", "2026-12-01T10:11:12.1234567Z"},
        {"2026-12-01T10:11:12.999999999+00:00", "2026-12-01T10:11:12.9999999Z"},
        {"2016-12-31T23:59:60Z", "2016-12-31T23:59:59Z"},
        {"1601-01-01T00:30:00+00:30", "1601-01-01T00:00:00Z"},
    };
    for (const Rfc3339Case& test : cases) {
        SCOPED_TRACE(test.szText);
        EXPECT_EQ(test.szUtc, FormatIso8601Utc(Parsed(test.szText)));
    }
    utility::datetime time;
    EXPECT_FALSE(ParseIso8601Utc("1601-01-01T00:00:00+00:01", time));  // before 1601 in UTC
    EXPECT_FALSE(ParseIso8601Utc("9999-12-31T23:59:59-00:01", time));  // after 9999 in UTC
    EXPECT_FALSE(ParseIso8601Utc("2026-12-01T10:11:12+24:00", time));
}
