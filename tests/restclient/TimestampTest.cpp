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

TEST(Iso8601, Rfc3339TimesTo9999InUtcEarlierThan1601As1601) {
    const std::pair<const char*, const char*> cases[] = {
        {"1970-01-01T00:00:00Z", "0"},
        {"1601-01-01T00:00:00Z", "-11644473600"},
        {"1601-01-01T00:00:00.5Z", "-11644473600+5000000"},
        {"9999-12-31T23:59:59Z", "253402300799"},
        {"2000-02-29T00:00:00Z", "951782400"},
        {"2026-12-01T10:11:12.1234567Z", "1796119872+1234567"},
        {"2026-12-01T01:11:12+05:30", "1796067672"},
        {"2026-12-31T23:11:12-01:00", "1798762272"},
        {"2026-12-01t10:11:12z", "1796119872"},
        {"2026-12-01T10:11:12.999999999+00:00", "1796119872+9999999"},
        {"2016-12-31T23:59:60Z", "1483228799"},
        {"1601-01-01T00:00:00+00:01", "-11644473600"},
        {"9999-12-31T23:59:59-00:01", "rejected"},
        {"2026-12-01T10:11:12+24:00", "rejected"},
        {"2026-12-01T10:11:12+0000", "rejected"},
        {"2026-12-01T10:11:12+1:00", "rejected"},
        {"2026-12-1xT10:11:12Z", "rejected"},
        {"0001-01-01T00:00:00Z", "-11644473600"},
        {"2026-12-01T10:11:12.Z", "rejected"},
        {"2026-12-01 10:11:12Z", "rejected"},
        {"2026-02-30T00:00:00Z", "rejected"},
        {"2026-12-01T10:11:12", "rejected"},
        {"2026-12-01T24:00:00Z", "rejected"},
        {"2026-12-01T10:60:00Z", "rejected"},
        {"2026-12-01T10:11:61Z", "rejected"},
        {"2026-13-01T10:11:12Z", "rejected"},
        {"2026-12-01T10:11:12Zjunk", "rejected"},
        {" 2026-12-01T10:11:12Z", "rejected"},
        {"2025-02-29T00:00:00Z", "rejected"},
        {"1900-02-29T00:00:00Z", "rejected"},
    };
    // Formatting back is FuzzResponses', and the texts DiffPageParserTest maps.
    for (const auto& test : cases) EXPECT_EQ(test.second, UnixSeconds(test.first)) << test.first;
}

}  // namespace
