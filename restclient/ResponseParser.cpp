#include "restclient/ResponseParser.h"

#include <simdjson.h>

#include <cstdint>
#include <limits>

#include "restclient/NutanixException.h"

namespace afs_rest {
namespace {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw NutanixException((where.empty() ? std::string("body") : where) + ": " + what);
}

std::string Join(const std::string& where, const char* key) {
    return where.empty() ? key : where + "." + key;
}

object AsObject(element value, const std::string& where) {
    object result;
    if (value.get_object().get(result)) Fail(where, "not an object");
    return result;
}

array AsArray(element value, const std::string& where) {
    array result;
    if (value.get_array().get(result)) Fail(where, "not an array");
    return result;
}

std::string AsString(element value, const std::string& where) {
    std::string_view text;
    if (value.get_string().get(text)) Fail(where, "not a string");
    return std::string(text);
}

// The paging numbers are int32 on the model side: refuse what would not fit
// instead of wrapping around.
int32_t AsCount(element value, const std::string& where) {
    int64_t number = 0;
    if (!value.is_int64() && !value.is_uint64()) Fail(where, "not an integer");
    if (value.get_int64().get(number) || number < 0 || number > std::numeric_limits<int32_t>::max())
        Fail(where, "out of range (0 to 2147483647)");
    return static_cast<int32_t>(number);
}

// A member that is null is absent, as if the server had left it out: a
// required one is then missing, an optional one (a share type that is only
// logged) unset.
bool Member(object parent, const char* key, element& value) {
    return parent.at_key(key).get(value) == simdjson::SUCCESS && !value.is_null();
}

template <typename TModel>
void OptionalString(object parent, const char* key, const std::string& where, TModel& model,
                    void (TModel::*setter)(const std::string&)) {
    element value;
    if (Member(parent, key, value)) (model.*setter)(AsString(value, Join(where, key)));
}

std::shared_ptr<model::List_metadata_output> ListMetadata(element value, const std::string& where) {
    object json = AsObject(value, where);
    auto metadata = std::make_shared<model::List_metadata_output>();
    OptionalString(json, "kind", where, *metadata, &model::List_metadata_output::setKind);
    element member;
    if (Member(json, "offset", member)) metadata->setOffset(AsCount(member, Join(where, "offset")));
    if (Member(json, "length", member)) metadata->setLength(AsCount(member, Join(where, "length")));
    if (Member(json, "total_matches", member))
        metadata->setTotalMatches(AsCount(member, Join(where, "total_matches")));
    return metadata;
}

std::vector<std::string> Strings(element value, const std::string& where) {
    std::vector<std::string> list;
    size_t index = 0;
    for (element item : AsArray(value, where))
        list.push_back(AsString(item, where + "[" + std::to_string(index++) + "]"));
    return list;
}

// The three resource shapes of the list entities.
void ReadResources(object, const std::string&, model::Partner_server_def_status&) {}

void ReadResources(object status, const std::string& where, model::Mount_target_def_status& model) {
    element value;
    if (!Member(status, "resources", value)) return;
    std::string path = Join(where, "resources");
    object json = AsObject(value, path);
    auto resources = std::make_shared<model::Mount_target_details>();
    OptionalString(json, "share_type", path, *resources, &model::Mount_target_details::setShareType);
    element list;
    if (Member(json, "capability_list", list))
        resources->setCapabilityList(Strings(list, Join(path, "capability_list")));
    model.setResources(resources);
}

void ReadResources(object status, const std::string& where, model::Mount_target_snapshot_def_status& model) {
    element value;
    if (!Member(status, "resources", value)) return;
    std::string path = Join(where, "resources");
    object json = AsObject(value, path);
    auto resources = std::make_shared<model::Mount_target_snapshot_details>();
    OptionalString(json, "mount_target_uuid", path, *resources,
                   &model::Mount_target_snapshot_details::setMountTargetUuid);
    model.setResources(resources);
}

template <typename T>
using Pointee = typename std::decay_t<T>::element_type;

template <typename TEntity>
std::shared_ptr<TEntity> Entity(element value, const std::string& where) {
    using TMetadata = Pointee<decltype(std::declval<TEntity>().getMetadata())>;
    using TStatus = Pointee<decltype(std::declval<TEntity>().getStatus())>;
    object json = AsObject(value, where);
    auto entity = std::make_shared<TEntity>();
    element member;
    if (Member(json, "metadata", member)) {
        std::string path = Join(where, "metadata");
        auto metadata = std::make_shared<TMetadata>();
        OptionalString(AsObject(member, path), "uuid", path, *metadata, &TMetadata::setUuid);
        entity->setMetadata(metadata);
    }
    if (Member(json, "status", member)) {
        std::string path = Join(where, "status");
        object statusJson = AsObject(member, path);
        auto status = std::make_shared<TStatus>();
        OptionalString(statusJson, "name", path, *status, &TStatus::setName);
        OptionalString(statusJson, "state", path, *status, &TStatus::setState);
        ReadResources(statusJson, path, *status);
        entity->setStatus(status);
    }
    return entity;
}

template <typename TResponse>
std::shared_ptr<TResponse> ListResponse(element root) {
    using TEntity =
        Pointee<typename std::decay_t<decltype(std::declval<TResponse>().getEntities())>::value_type>;
    object json = AsObject(root, "");
    auto response = std::make_shared<TResponse>();
    OptionalString(json, "api_version", "", *response, &TResponse::setApiVersion);
    element member;
    if (!Member(json, "metadata", member)) Fail("metadata", "missing");
    response->setMetadata(ListMetadata(member, "metadata"));
    if (!Member(json, "entities", member)) Fail("entities", "missing");
    std::vector<std::shared_ptr<TEntity>> entities;
    size_t index = 0;
    for (element item : AsArray(member, "entities"))
        entities.push_back(Entity<TEntity>(item, "entities[" + std::to_string(index++) + "]"));
    // A count that disagrees with the entities means part of the answer is missing.
    const auto& metadata = *response->getMetadata();
    if (metadata.lengthIsSet() && static_cast<size_t>(metadata.getLength()) != entities.size())
        Fail("metadata.length",
             std::to_string(metadata.getLength()) + " but " + std::to_string(entities.size()) + " entities");
    response->setEntities(std::move(entities));
    return response;
}

}  // namespace

struct CResponseParser::Impl {
    simdjson::dom::parser parser;

    element Parse(const std::string& body) {
        element root;
        simdjson::error_code error = parser.parse(body).get(root);
        if (error) throw NutanixException(std::string("not valid JSON: ") + simdjson::error_message(error));
        return root;
    }
};

CResponseParser::CResponseParser() : ptrImpl(new Impl) {}
CResponseParser::~CResponseParser() = default;

std::shared_ptr<model::Partner_server_list_intent_response> CResponseParser::PartnerServerList(
    const std::string& body) {
    return ListResponse<model::Partner_server_list_intent_response>(ptrImpl->Parse(body));
}

std::shared_ptr<model::Mount_target_list_intent_response> CResponseParser::MountTargetList(
    const std::string& body) {
    return ListResponse<model::Mount_target_list_intent_response>(ptrImpl->Parse(body));
}

std::shared_ptr<model::Mount_target_snapshot_list_intent_response> CResponseParser::SnapshotList(
    const std::string& body) {
    return ListResponse<model::Mount_target_snapshot_list_intent_response>(ptrImpl->Parse(body));
}

std::string CResponseParser::CreatedUuid(const std::string& body, bool bRequired) {
    object json = AsObject(ptrImpl->Parse(body), "");
    element metadata;
    element uuid;
    if (Member(json, "metadata", metadata) && Member(AsObject(metadata, "metadata"), "uuid", uuid)) {
        std::string text = AsString(uuid, "metadata.uuid");
        if (text.empty() && bRequired) Fail("metadata.uuid", "empty");
        return text;
    }
    if (bRequired) Fail("metadata.uuid", "missing");
    return std::string();
}

std::shared_ptr<model::Mount_target_snapshot_diff_output> CResponseParser::DiffOutput(
    const std::string& body) {
    object json = AsObject(ptrImpl->Parse(body), "");
    auto output = std::make_shared<model::Mount_target_snapshot_diff_output>();
    element list;
    if (Member(json, "uuid_list", list)) output->setUuidList(Strings(list, "uuid_list"));
    return output;
}

std::string CResponseParser::ErrorMessage(const std::string& body) noexcept {
    try {
        element root;
        if (ptrImpl->parser.parse(body).get(root)) return std::string();
        std::string_view message;
        if (root.at_pointer("/message_list/0/message").get(message)) return std::string();
        std::string clean;
        for (char c : message) {
            if (clean.size() >= 512) break;
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean += c;
        }
        return clean;
    } catch (...) {
        return std::string();
    }
}

}  // namespace afs_rest
