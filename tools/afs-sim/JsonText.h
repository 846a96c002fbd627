#pragma once

// Text-level JSON helpers. Bodies are built by appending to a std::string
// because page bodies of a million objects must be produced quickly; parsing
// is left to simdjson.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace afs_sim {

// Appends `text` as a quoted JSON string. Bytes that are not valid UTF-8 are
// replaced with U+FFFD so that a body is always valid UTF-8.
void AppendJsonString(std::string& strOut, std::string_view text);

void AppendJsonInt(std::string& strOut, int64_t llValue);

// Returns the position just past the JSON value starting at `uPos`, or
// std::string::npos when the text there is not a complete value.
size_t SkipJsonValue(std::string_view text, size_t uPos);

// Error body of the protocol: state, code and one message with its reason.
std::string ErrorBody(int nStatus, std::string_view strMessage, std::string_view strReason);

}  // namespace afs_sim
