// The strict timestamp parser accepts only what it can write back: every
// accepted text formats to a text that parses to the same time.
#include <cstddef>
#include <cstdint>

#include "restclient/Timestamp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    utility::datetime time;
    if (!afs_rest::ParseIso8601Utc(reinterpret_cast<const char*>(data), size, time)) return 0;
    const std::string text = afs_rest::FormatIso8601Utc(time);
    utility::datetime again;
    if (!afs_rest::ParseIso8601Utc(text, again) || again.to_interval() != time.to_interval())
        __builtin_trap();
    return 0;
}
