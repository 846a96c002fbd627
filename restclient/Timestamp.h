#pragma once

#include <cpprest/asyncrt_utils.h>

#include <cstddef>
#include <string>

namespace afs_rest {

// Parses an RFC 3339 time: "YYYY-MM-DDTHH:MM:SS", an optional fraction of
// any number of digits (truncated to 100 ns), then "Z" or an offset "+hh:mm"
// / "-hh:mm"; the result is UTC. Years 0000 to 9999, real calendar dates; a
// time before 1601, which the type cannot hold, is read as
// 1601-01-01T00:00:00Z. A leap second (second 60) is read as second 59.
// Returns false (and leaves `out` alone) for anything else.
bool ParseIso8601Utc(const char* text, size_t length, utility::datetime& out);
inline bool ParseIso8601Utc(const std::string& text, utility::datetime& out) {
    return ParseIso8601Utc(text.data(), text.size(), out);
}

// "YYYY-MM-DDTHH:MM:SSZ", with ".fffffff" when the time has a sub-second part.
std::string FormatIso8601Utc(const utility::datetime& time);

}  // namespace afs_rest
