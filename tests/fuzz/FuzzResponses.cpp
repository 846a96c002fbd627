// Every REST answer the file server sends, fed to each reader: a small answer
// and a difference page either map to models or throw NutanixException,
// nothing else may escape, crash or leak; no item of a page that reaches the
// scan database can escape its share; and a time text is accepted only when
// it formats to a text that parses to the same time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "restclient/DiffPageParser.h"
#include "restclient/NutanixException.h"
#include "restclient/ResponseParser.h"
#include "restclient/Timestamp.h"

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

void LoadDiffPage(const std::string& body) {
    static afs_rest::CDiffPageParser parser;
    io::swagger::client::model::Mount_target_snapshot_diff_tracking_output page;
    parser.Parse(body.data(), body.size(), page);
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static afs_rest::CResponseParser parser;
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::function<void()> listParses[] = {
        [&] { parser.PartnerServerList(body)->toJson().serialize(); },
        [&] { parser.MountTargetList(body)->toJson().serialize(); },
        [&] { parser.SnapshotList(body)->toJson().serialize(); },
        [&] { parser.CreatedUuid(body, true); },
        [&] { parser.DiffOutput(body)->toJson().serialize(); },
        [&] { LoadDiffPage(body); },
    };
    for (const auto& fnParse : listParses) {
        try {
            fnParse();
        } catch (const NutanixException&) {
        }
    }
    if (parser.ErrorMessage(body).size() > 512) __builtin_trap();
    utility::datetime time;
    utility::datetime again;
    if (afs_rest::ParseIso8601Utc(body, time) &&
        (!afs_rest::ParseIso8601Utc(afs_rest::FormatIso8601Utc(time), again) ||
         again.to_interval() != time.to_interval()))
        __builtin_trap();
    return 0;
}
