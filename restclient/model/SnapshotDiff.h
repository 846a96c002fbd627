#pragma once

#include <cpprest/asyncrt_utils.h>
#include <cpprest/json.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "restclient/model/ModelField.h"

namespace io {
namespace swagger {
namespace client {
namespace model {

// Answer to an incremental difference request: the differences to page through.
class Mount_target_snapshot_diff_output {
    AFS_MODEL_FIELD(std::vector<std::string>, UuidList, uuidList)
public:
    web::json::value toJson() const;
};

// One changed file or directory.
class Object_info {
    AFS_MODEL_FIELD(std::string, Path, path)
    AFS_MODEL_FIELD(std::string, OldPath, oldPath)
    AFS_MODEL_FIELD(std::string, ObjectType, objectType)
    AFS_MODEL_FIELD(std::string, OperationType, operationType)
    AFS_MODEL_FIELD(int64_t, Size, size)
    AFS_MODEL_FIELD(int64_t, InodeNumber, inodeNumber)
    AFS_MODEL_FIELD(utility::datetime, AccessTimestamp, accessTimestamp)
    AFS_MODEL_FIELD(utility::datetime, ChangeTimestamp, changeTimestamp)
    AFS_MODEL_FIELD(utility::datetime, CreationTimestamp, creationTimestamp)
    AFS_MODEL_FIELD(utility::datetime, ModificationTimestamp, modificationTimestamp)
    // Set when the path or the old path came in a form no file name can be
    // made of: an escape of half a UTF-16 surrogate pair, or a text too long
    // to be a path (then only its start is kept). The member holds the text
    // as the server escaped it, for messages only.
    AFS_MODEL_FLAG(UnreadablePath, unreadablePath)
public:
    web::json::value toJson() const;
    // Unsets every member but keeps the strings' storage, so that a parser
    // can fill this object again without allocating.
    void recycle();
};

// One page of a difference. A default-constructed page is not the last page.
class Mount_target_snapshot_diff_tracking_output {
    AFS_MODEL_FLAG(IsLastPage, isLastPage)
    AFS_MODEL_FLAG(ShouldRetryPage, shouldRetryPage)
    AFS_MODEL_FIELD(std::string, NextPageToken, nextPageToken)
    AFS_MODEL_FIELD(std::vector<std::shared_ptr<Object_info>>, ObjectList, objectList)
public:
    web::json::value toJson() const;
};

}  // namespace model
}  // namespace client
}  // namespace swagger
}  // namespace io
