#pragma once

#include <cstdint>
#include <string>

namespace afs_sim {

// Appends nanoseconds since the Unix epoch as "YYYY-MM-DDTHH:MM:SSZ", with a
// 7-digit fraction (100 ns ticks, the file server's resolution) when the time
// has one. Times before 1970 are clamped to the epoch.
void AppendIso8601Utc(std::string& strOut, int64_t llNanoseconds);

}  // namespace afs_sim
