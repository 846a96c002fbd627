// JSON rendering of the response models, in the wire protocol's member names.
// Only members that are set are rendered.
#include <cpprest/json.h>

#include "restclient/Timestamp.h"
#include "restclient/model/MountTarget.h"
#include "restclient/model/MountTargetSnapshot.h"
#include "restclient/model/PartnerServer.h"
#include "restclient/model/SnapshotDiff.h"

namespace io {
namespace swagger {
namespace client {
namespace model {
namespace {

using web::json::value;

template <typename T>
value Render(const std::shared_ptr<T>& ptrModel) {
    return ptrModel ? ptrModel->toJson() : value::null();
}

template <typename T>
value RenderList(const std::vector<std::shared_ptr<T>>& list) {
    value array = value::array(list.size());
    for (size_t i = 0; i < list.size(); ++i) array[i] = Render(list[i]);
    return array;
}

value RenderStrings(const std::vector<std::string>& list) {
    value array = value::array(list.size());
    for (size_t i = 0; i < list.size(); ++i) array[i] = value::string(list[i]);
    return array;
}

}  // namespace

value List_metadata_output::toJson() const {
    value json = value::object();
    if (kindIsSet()) json["kind"] = value::string(getKind());
    if (offsetIsSet()) json["offset"] = value::number(getOffset());
    if (lengthIsSet()) json["length"] = value::number(getLength());
    if (totalMatchesIsSet()) json["total_matches"] = value::number(getTotalMatches());
    return json;
}

value Partner_server_metadata::toJson() const {
    value json = value::object();
    if (uuidIsSet()) json["uuid"] = value::string(getUuid());
    return json;
}

value Partner_server_def_status::toJson() const {
    value json = value::object();
    if (nameIsSet()) json["name"] = value::string(getName());
    if (stateIsSet()) json["state"] = value::string(getState());
    return json;
}

value Partner_server_intent_resource::toJson() const {
    value json = value::object();
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (statusIsSet()) json["status"] = Render(getStatus());
    return json;
}

value Partner_server_list_intent_response::toJson() const {
    value json = value::object();
    if (apiVersionIsSet()) json["api_version"] = value::string(getApiVersion());
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (entitiesIsSet()) json["entities"] = RenderList(getEntities());
    return json;
}

value Mount_target_metadata::toJson() const {
    value json = value::object();
    if (uuidIsSet()) json["uuid"] = value::string(getUuid());
    return json;
}

value Mount_target_details::toJson() const {
    value json = value::object();
    if (shareTypeIsSet()) json["share_type"] = value::string(getShareType());
    if (capabilityListIsSet()) json["capability_list"] = RenderStrings(getCapabilityList());
    return json;
}

value Mount_target_def_status::toJson() const {
    value json = value::object();
    if (nameIsSet()) json["name"] = value::string(getName());
    if (stateIsSet()) json["state"] = value::string(getState());
    if (resourcesIsSet()) json["resources"] = Render(getResources());
    return json;
}

value Mount_target_intent_resource::toJson() const {
    value json = value::object();
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (statusIsSet()) json["status"] = Render(getStatus());
    return json;
}

value Mount_target_list_intent_response::toJson() const {
    value json = value::object();
    if (apiVersionIsSet()) json["api_version"] = value::string(getApiVersion());
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (entitiesIsSet()) json["entities"] = RenderList(getEntities());
    return json;
}

value Mount_target_snapshot_metadata::toJson() const {
    value json = value::object();
    if (uuidIsSet()) json["uuid"] = value::string(getUuid());
    return json;
}

value Mount_target_snapshot_details::toJson() const {
    value json = value::object();
    if (mountTargetUuidIsSet()) json["mount_target_uuid"] = value::string(getMountTargetUuid());
    return json;
}

value Mount_target_snapshot_def_status::toJson() const {
    value json = value::object();
    if (nameIsSet()) json["name"] = value::string(getName());
    if (stateIsSet()) json["state"] = value::string(getState());
    if (resourcesIsSet()) json["resources"] = Render(getResources());
    return json;
}

value Mount_target_snapshot_intent_resource::toJson() const {
    value json = value::object();
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (statusIsSet()) json["status"] = Render(getStatus());
    return json;
}

value Mount_target_snapshot_list_intent_response::toJson() const {
    value json = value::object();
    if (apiVersionIsSet()) json["api_version"] = value::string(getApiVersion());
    if (metadataIsSet()) json["metadata"] = Render(getMetadata());
    if (entitiesIsSet()) json["entities"] = RenderList(getEntities());
    return json;
}

value Mount_target_snapshot_diff_output::toJson() const {
    value json = value::object();
    if (uuidListIsSet()) json["uuid_list"] = RenderStrings(getUuidList());
    return json;
}

value Object_info::toJson() const {
    value json = value::object();
    if (pathIsSet()) json["path"] = value::string(getPath());
    if (oldPathIsSet()) json["old_path"] = value::string(getOldPath());
    if (objectTypeIsSet()) json["object_type"] = value::string(getObjectType());
    if (operationTypeIsSet()) json["operation_type"] = value::string(getOperationType());
    if (sizeIsSet()) json["size"] = value::number(getSize());
    if (inodeNumberIsSet()) json["inode_number"] = value::number(getInodeNumber());
    if (accessTimestampIsSet())
        json["access_timestamp"] = value::string(afs_rest::FormatIso8601Utc(getAccessTimestamp()));
    if (changeTimestampIsSet())
        json["change_timestamp"] = value::string(afs_rest::FormatIso8601Utc(getChangeTimestamp()));
    if (creationTimestampIsSet())
        json["creation_timestamp"] = value::string(afs_rest::FormatIso8601Utc(getCreationTimestamp()));
    if (modificationTimestampIsSet())
        json["modification_timestamp"] =
            value::string(afs_rest::FormatIso8601Utc(getModificationTimestamp()));
    return json;
}

void Object_info::recycle() {
    editPath().clear();
    editOldPath().clear();
    editObjectType().clear();
    editOperationType().clear();
    unsetPath();
    unsetOldPath();
    unsetObjectType();
    unsetOperationType();
    unsetSize();
    unsetInodeNumber();
    unsetAccessTimestamp();
    unsetChangeTimestamp();
    unsetCreationTimestamp();
    unsetModificationTimestamp();
    setUnreadablePath(false);
    unsetUnreadablePath();
}

value Mount_target_snapshot_diff_tracking_output::toJson() const {
    value json = value::object();
    if (isLastPageIsSet()) json["is_last_page"] = value::boolean(isIsLastPage());
    if (shouldRetryPageIsSet()) json["should_retry_page"] = value::boolean(isShouldRetryPage());
    if (nextPageTokenIsSet()) json["next_page_token"] = value::string(getNextPageToken());
    if (objectListIsSet()) json["object_list"] = RenderList(getObjectList());
    return json;
}

}  // namespace model
}  // namespace client
}  // namespace swagger
}  // namespace io
