#pragma once

#include <cpprest/asyncrt_utils.h>

#include <cstddef>
#include <string>

namespace afs_rest {

// Parses strict ISO-8601 UTC: "YYYY-MM-DDTHH:MM:SS" with an optional fraction
// of 1 to 7 digits, then "Z". Years 1601 to 9999, real calendar dates, no
// leap seconds, nothing before or after. Returns false (and leaves `out`
// alone) for anything else.
bool ParseIso8601Utc(const char* text, size_t length, utility::datetime& out);
inline bool ParseIso8601Utc(const std::string& text, utility::datetime& out) {
    return ParseIso8601Utc(text.data(), text.size(), out);
}

// "YYYY-MM-DDTHH:MM:SSZ", with ".fffffff" when the time has a sub-second part.
std::string FormatIso8601Utc(const utility::datetime& time);

}  // namespace afs_rest
