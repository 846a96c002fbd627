// Every small REST answer must either map to models or throw
// NutanixException; nothing else may escape, crash or leak.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "restclient/NutanixException.h"
#include "restclient/ResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static afs_rest::CResponseParser parser;
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::function<void()> listParses[] = {
        [&] { parser.PartnerServerList(body)->toJson().serialize(); },
        [&] { parser.MountTargetList(body)->toJson().serialize(); },
        [&] { parser.SnapshotList(body)->toJson().serialize(); },
        [&] { parser.CreatedUuid(body, true); },
        [&] { parser.DiffOutput(body)->toJson().serialize(); },
    };
    for (const auto& fnParse : listParses) {
        try {
            fnParse();
        } catch (const NutanixException&) {
        }
    }
    if (parser.ErrorMessage(body).size() > 512) __builtin_trap();
    return 0;
}
