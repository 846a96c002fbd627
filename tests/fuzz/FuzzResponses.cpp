// Every small REST answer must either map to models or throw
// NutanixException; nothing else may escape, crash or leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "restclient/NutanixException.h"
#include "restclient/ResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static afs_rest::CResponseParser parser;
    const std::string body(reinterpret_cast<const char*>(data), size);
    try {
        parser.PartnerServerList(body)->toJson().serialize();
    } catch (const NutanixException&) {
    }
    try {
        parser.MountTargetList(body)->toJson().serialize();
    } catch (const NutanixException&) {
    }
    try {
        parser.SnapshotList(body)->toJson().serialize();
    } catch (const NutanixException&) {
    }
    try {
        parser.CreatedUuid(body, true);
    } catch (const NutanixException&) {
    }
    try {
        parser.DiffOutput(body)->toJson().serialize();
    } catch (const NutanixException&) {
    }
    const std::string message = parser.ErrorMessage(body);
    if (message.size() > 512) __builtin_trap();
    return 0;
}
