// A difference page either maps to models or throws NutanixException, and
// no item that reaches the scan database can escape its share.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "restclient/DiffPageParser.h"
#include "restclient/NutanixException.h"

namespace {

class CCheckingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat&, bool) override {
        if (IsUnsafeItemPath(path) || IsUnsafeItemPath(oldPath)) __builtin_trap();
        if (changeType != eNutanixAFSChangeRename && !oldPath.empty()) __builtin_trap();
        return CRhError::Success();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static afs_rest::CDiffPageParser parser;
    io::swagger::client::model::Mount_target_snapshot_diff_tracking_output page;
    try {
        parser.Parse(reinterpret_cast<const char*>(data), size, page);
    } catch (const NutanixException&) {
        return 0;
    }
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = "/mnt/share";
    info.strCurrentSnapPath = "/mnt/share/.snapshot/zkop__2_7_1234";
    info.strPreviousSnapPath = "/mnt/share/.snapshot/zkop__2_7_1233";
    info.strScanVolumePath = "/server/share";
    CCheckingDB database;
    CDiffItemLoader loader(info, database);
    for (const auto& ptrObject : page.getObjectList()) {
        if (ptrObject) loader.Process(*ptrObject);
    }
    page.toJson().serialize();
    return 0;
}
