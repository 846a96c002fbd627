// Path rewriting on arbitrary share records and item paths: never crashes,
// and a rewritten path always begins at the share's mount path or scan path.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "host/FXString.h"

namespace {

// Splits the input at NUL-free "\n" boundaries into up to five fields.
std::vector<std::string> Fields(const uint8_t* data, size_t size) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && fields.size() < 5) {
            fields.emplace_back();
        } else {
            fields.back() += static_cast<char>(data[i]);
        }
    }
    fields.resize(5);
    return fields;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return FXString::CompareLeftNoCase(text, prefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> fields = Fields(data, size);
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = fields[0];
    info.strCurrentSnapPath = fields[1];
    info.strPreviousSnapPath = fields[2];
    info.strScanVolumePath = fields[3];
    for (bool bReplaceCurrent : {true, false}) {
        std::string path = fields[4];
        if (!RewriteSnapshotPath(info, path, bReplaceCurrent)) {
            if (path != fields[4]) __builtin_trap();  // a skipped path stays as it was
            continue;
        }
        // Appending leaves exactly one "/" after the mount path.
        std::string mountPath = info.strVolumeMountPath;
        while (!mountPath.empty() && mountPath.back() == '/') mountPath.pop_back();
        if (!StartsWithNoCase(path, mountPath) && !StartsWithNoCase(path, info.strScanVolumePath)) {
            __builtin_trap();
        }
        IsUnsafeItemPath(path);
    }
    return 0;
}
