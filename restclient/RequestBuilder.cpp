#include "restclient/RequestBuilder.h"

#include <cpprest/json.h>

#include "restclient/RestOperations.h"

namespace afs_rest {
namespace {

using web::json::value;

value Pairs(const PairList& list) {
    value array = value::array(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        value entry = value::object(true);
        entry["name"] = value::string(list[i].first);
        entry["access"] = value::string(list[i].second);
        array[i] = entry;
    }
    return array;
}

value Metadata(const char* kind) {
    value metadata = value::object(true);
    metadata["kind"] = value::string(kind);
    return metadata;
}

}  // namespace

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::string ListBody(const char* kind, boost::optional<int32_t> offset, boost::optional<int32_t> length,
                     const boost::optional<std::string>& filter) {
    value body = value::object(true);
    body["kind"] = value::string(kind);
    if (offset) body["offset"] = value::number(*offset);
    if (length) body["length"] = value::number(*length);
    if (filter) body["filter"] = value::string(*filter);
    return body.serialize();
}

std::string PartnerServerBody(const PartnerServerRequest& request) {
    value resources = value::object(true);
    resources["usage_type"] = value::string(request.strUsage);
    resources["vendor_name"] = value::string(request.strVendorName);
    resources["description"] = value::string(request.strDescription);
    if (request.optDnsName) resources["dns_name"] = value::string(*request.optDnsName);
    if (request.optIpAddress) resources["ip_address"] = value::string(*request.optIpAddress);
    if (request.optPort) resources["port"] = value::number(*request.optPort);
    if (request.optIsEnabled) resources["is_enabled"] = value::boolean(*request.optIsEnabled);
    if (request.optPartnerType) resources["partner_type"] = value::string(*request.optPartnerType);
    if (request.optAllowBackup) resources["allow_backup"] = value::boolean(*request.optAllowBackup);
    if (request.optServerInfoList) resources["server_info_list"] = Pairs(*request.optServerInfoList);
    if (request.optShareList) resources["share_list"] = Pairs(*request.optShareList);
    if (request.optExportList) resources["export_list"] = Pairs(*request.optExportList);
    value spec = value::object(true);
    spec["name"] = value::string(request.strName);
    spec["resources"] = resources;
    value body = value::object(true);
    body["metadata"] = Metadata("partner_server");
    body["spec"] = spec;
    return body.serialize();
}

std::string SnapshotBody(const std::string& mountTargetUuid, const std::string& name,
                         const std::string& description, boost::optional<bool> waitForCompletion) {
    value resources = value::object(true);
    resources["mount_target_uuid"] = value::string(mountTargetUuid);
    value spec = value::object(true);
    spec["name"] = value::string(name);
    spec["description"] = value::string(description);
    spec["resources"] = resources;
    value body = value::object(true);
    body["metadata"] = Metadata("mount_target_snapshot");
    body["spec"] = spec;
    if (waitForCompletion) body["wait_for_completion"] = value::boolean(*waitForCompletion);
    return body.serialize();
}

std::string IncrementalDiffBody(const std::string& olderSnapshotUuid, const std::string& newerSnapshotUuid,
                                const boost::optional<std::string>& pathFilter,
                                const boost::optional<std::string>& objectTypeFilter) {
    value body = value::object(true);
    body["older_snapshot_uuid"] = value::string(olderSnapshotUuid);
    body["newer_snapshot_uuid"] = value::string(newerSnapshotUuid);
    if (pathFilter) body["path_filter"] = value::string(*pathFilter);
    if (objectTypeFilter) body["object_type_filter"] = value::string(*objectTypeFilter);
    return body.serialize();
}

std::string DeleteSnapshotPath(const std::string& snapshotUuid, boost::optional<bool> waitForCompletion) {
    std::string path =
        RestPath(RestOperationOf(ERestOperation::eDeleteMountTargetSnapshot), PercentEncode(snapshotUuid));
    if (waitForCompletion)
        path += *waitForCompletion ? "?wait_for_completion=true" : "?wait_for_completion=false";
    return path;
}

std::string DiffPagePath(const std::string& diffUuid, const boost::optional<std::string>& pageToken,
                         const boost::optional<std::string>& pageSize) {
    std::string path = RestPath(RestOperationOf(ERestOperation::eGetDiffPage), PercentEncode(diffUuid));
    char separator = '?';
    if (pageSize) {
        path += separator;
        path += "page_size=" + PercentEncode(*pageSize);
        separator = '&';
    }
    if (pageToken) {
        path += separator;
        path += "page_token=" + PercentEncode(*pageToken);
    }
    return path;
}

}  // namespace afs_rest
