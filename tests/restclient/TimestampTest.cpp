#include <gtest/gtest.h>

#include "restclient/Timestamp.h"

namespace {

// Seconds since 1970 as text, through the datetime's 100 ns ticks since 1601, or "rejected".
std::string UnixSeconds(const std::string& text) {
    utility::datetime time = utility::datetime::from_interval(42);
    if (!afs_rest::ParseIso8601Utc(text, time)) return time.to_interval() == 42 ? "rejected" : "changed";
    const uint64_t ticks = time.to_interval();
    return std::to_string(static_cast<long long>(ticks / 10000000ULL) - 11644473600LL) +
           (ticks % 10000000ULL ? "+" + std::to_string(ticks % 10000000ULL) : "");
}

TEST(Iso8601, StrictUtcTimesFrom1601To9999) {
    const std::pair<const char*, const char*> cases[] = {
        {"1970-01-01T00:00:00Z", "0"}, {"1969-12-31T23:59:59Z", "-1"}, {"1601-01-01T00:00:00Z", "-11644473600"},
        {"9999-12-31T23:59:59Z", "253402300799"}, {"2000-02-29T00:00:00Z", "951782400"},
        {"2026-12-01T10:11:12.5Z", "1796119872+5000000"}, {"2026-12-01T10:11:12.1234567Z", "1796119872+1234567"},
        {"1600-12-31T23:59:59Z", "rejected"}, {"2026-12-01T10:11:12.12345678Z", "rejected"},
        {"2026-12-01T10:11:12.Z", "rejected"}, {"2026-12-01 10:11:12Z", "rejected"},
        {"2026-02-30T00:00:00Z", "rejected"}, {"2026-12-01T10:11:12", "rejected"},
        {"2026-12-01T10:11:12+00:00", "rejected"}, {"2026-12-01T24:00:00Z", "rejected"},
        {"2026-12-01T10:60:00Z", "rejected"}, {"2026-12-01T10:11:60Z", "rejected"},
        {"2026-13-01T10:11:12Z", "rejected"}, {"2026-12-01T10:11:12Zjunk", "rejected"},
        {" 2026-12-01T10:11:12Z", "rejected"}, {"2026-1-01T10:11:12Z", "rejected"},
        {"2025-02-29T00:00:00Z", "rejected"}, {"1900-02-29T00:00:00Z", "rejected"}, {"", "rejected"},
    };
    for (const auto& test : cases) EXPECT_EQ(test.second, UnixSeconds(test.first)) << test.first;
    for (const char* text : {"9999-12-31T23:59:59Z", "2026-12-01T10:11:12.1234567Z", "1601-01-01T00:00:00Z"}) {
        utility::datetime time;
        ASSERT_TRUE(afs_rest::ParseIso8601Utc(text, time));
        EXPECT_EQ(text, afs_rest::FormatIso8601Utc(time));
    }
}

}  // namespace
