#pragma once

#include <string>
#include <vector>

#include "host/NutanixAFSManagerBase.h"

// The host's scan database as the plug-in sees it: one line per item,
// "<change type> <path> <old path> <d|f><mode>", and the item's attributes.
// An item at strRejectPath is refused as a full database would refuse it.
class CRecordingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat& attributes, bool bIsDirectory) override {
        if (path == strRejectPath) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, 1627, "database full");
        listItems.push_back(std::to_string(changeType) + " " + path + " " + oldPath + " " +
                            (bIsDirectory ? "d" : "f") + std::to_string(attributes.st_mode));
        listAttributes.push_back(attributes);
        return CRhError::Success();
    }
    std::vector<std::string> listItems;
    std::vector<struct stat> listAttributes;
    std::string strRejectPath;
};
