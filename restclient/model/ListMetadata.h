#pragma once

#include <cpprest/json.h>

#include <cstdint>
#include <string>

#include "restclient/model/ModelField.h"

namespace io {
namespace swagger {
namespace client {
namespace model {

// Paging metadata of a list response.
class List_metadata_output {
    AFS_MODEL_FIELD(std::string, Kind, kind)
    AFS_MODEL_FIELD(int32_t, Offset, offset)
    AFS_MODEL_FIELD(int32_t, Length, length)
    AFS_MODEL_FIELD(int32_t, TotalMatches, totalMatches)
public:
    web::json::value toJson() const;
};

}  // namespace model
}  // namespace client
}  // namespace swagger
}  // namespace io
