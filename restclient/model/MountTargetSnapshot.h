#pragma once

#include <cpprest/json.h>

#include <memory>
#include <string>
#include <vector>

#include "restclient/model/ListMetadata.h"
#include "restclient/model/ModelField.h"

namespace io {
namespace swagger {
namespace client {
namespace model {

class Mount_target_snapshot_metadata {
    AFS_MODEL_FIELD(std::string, Uuid, uuid)
public:
    web::json::value toJson() const;
};

class Mount_target_snapshot_details {
    AFS_MODEL_FIELD(std::string, MountTargetUuid, mountTargetUuid)
public:
    web::json::value toJson() const;
};

class Mount_target_snapshot_def_status {
    AFS_MODEL_FIELD(std::string, Name, name)
    AFS_MODEL_FIELD(std::string, State, state)
    AFS_MODEL_FIELD(std::shared_ptr<Mount_target_snapshot_details>, Resources, resources)
public:
    web::json::value toJson() const;
};

class Mount_target_snapshot_intent_resource {
    AFS_MODEL_FIELD(std::shared_ptr<Mount_target_snapshot_metadata>, Metadata, metadata)
    AFS_MODEL_FIELD(std::shared_ptr<Mount_target_snapshot_def_status>, Status, status)
public:
    web::json::value toJson() const;
};

class Mount_target_snapshot_list_intent_response {
    AFS_MODEL_FIELD(std::string, ApiVersion, apiVersion)
    AFS_MODEL_FIELD(std::shared_ptr<List_metadata_output>, Metadata, metadata)
    AFS_MODEL_FIELD(std::vector<std::shared_ptr<Mount_target_snapshot_intent_resource>>, Entities, entities)
public:
    web::json::value toJson() const;
};

}  // namespace model
}  // namespace client
}  // namespace swagger
}  // namespace io
