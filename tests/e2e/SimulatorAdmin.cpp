#include "tests/e2e/SimulatorAdmin.h"

#include <httplib.h>
#include <simdjson.h>

#include <memory>

namespace afs_test {
namespace {

const char* const kBase = "/api/nutanix/v3";

// The entities of a list answer as (uuid, name, mount target uuid).
struct Entity {
    std::string strUuid;
    std::string strName;
    std::string strMountTarget;
};

std::string ListEntities(httplib::Client& client, const std::string& strPath, const char* pszKind,
                         std::vector<Entity>& listEntities) {
    const std::string strBody = std::string("{\"kind\":\"") + pszKind + "\",\"offset\":0,\"length\":1000}";
    auto response = client.Post(std::string(kBase) + strPath, strBody, "application/json");
    if (!response || response->status != 200) return "listing " + strPath + " failed";
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(response->body).get(root) != simdjson::SUCCESS) return "bad JSON from " + strPath;
    simdjson::dom::array entities;
    if (root["entities"].get_array().get(entities) != simdjson::SUCCESS) return "no entities from " + strPath;
    for (simdjson::dom::element entity : entities) {
        Entity item;
        std::string_view text;
        if (entity.at_pointer("/metadata/uuid").get_string().get(text) == simdjson::SUCCESS)
            item.strUuid = text;
        if (entity.at_pointer("/status/name").get_string().get(text) == simdjson::SUCCESS)
            item.strName = text;
        if (entity.at_pointer("/status/resources/mount_target_uuid").get_string().get(text) ==
            simdjson::SUCCESS) {
            item.strMountTarget = text;
        }
        listEntities.push_back(item);
    }
    return {};
}

// The UUID of share `strShare`, or an error text.
std::string FindShareUuid(httplib::Client& client, const std::string& strShare, std::string& strUuid) {
    std::vector<Entity> listShares;
    std::string strError = ListEntities(client, "/mount_targets/list", "mount_target", listShares);
    if (!strError.empty()) return strError;
    for (const Entity& share : listShares) {
        if (share.strName == strShare) strUuid = share.strUuid;
    }
    return strUuid.empty() ? "no share " + strShare : std::string();
}

std::unique_ptr<httplib::Client> MakeClient(const AdminConnection& connection) {
    auto ptrClient = std::make_unique<httplib::Client>(connection.strOrigin);
    ptrClient->set_basic_auth(connection.strUser, connection.strPassword);
    if (!connection.strCaFile.empty()) ptrClient->set_ca_cert_path(connection.strCaFile);
    return ptrClient;
}

}  // namespace

std::string DeleteShareSnapshot(const std::string& strOrigin, const std::string& strUser,
                                const std::string& strPassword, const std::string& strShare,
                                const std::string& strSnapshot) {
    httplib::Client client(strOrigin);
    client.set_basic_auth(strUser, strPassword);
    std::vector<Entity> listShares;
    std::string strError = ListEntities(client, "/mount_targets/list", "mount_target", listShares);
    if (!strError.empty()) return strError;
    std::string strShareUuid;
    for (const Entity& share : listShares) {
        if (share.strName == strShare) strShareUuid = share.strUuid;
    }
    if (strShareUuid.empty()) return "no share " + strShare;
    std::vector<Entity> listSnapshots;
    strError = ListEntities(client, "/mount_target_snapshots/list", "mount_target_snapshot", listSnapshots);
    if (!strError.empty()) return strError;
    for (const Entity& snapshot : listSnapshots) {
        if (snapshot.strName != strSnapshot || snapshot.strMountTarget != strShareUuid) continue;
        auto response = client.Delete(std::string(kBase) + "/mount_target_snapshots/" + snapshot.strUuid);
        if (!response || response->status < 200 || response->status >= 300)
            return "deleting the snapshot failed";
        return {};
    }
    return "no snapshot " + strSnapshot + " of " + strShare;
}

std::string CreateShareSnapshot(const AdminConnection& connection, const std::string& strShare,
                                const std::string& strSnapshot) {
    auto ptrClient = MakeClient(connection);
    std::string strShareUuid;
    std::string strError = FindShareUuid(*ptrClient, strShare, strShareUuid);
    if (!strError.empty()) return strError;
    const std::string strBody =
        "{\"metadata\":{\"kind\":\"mount_target_snapshot\"},\"spec\":{\"name\":\"" + strSnapshot +
        "\",\"description\":\"taken by hand\",\"resources\":" + "{\"mount_target_uuid\":\"" + strShareUuid +
        "\"}},\"wait_for_completion\":true}";
    auto response =
        ptrClient->Post(std::string(kBase) + "/mount_target_snapshots", strBody, "application/json");
    if (!response) return "creating the snapshot got no answer";
    if (response->status != 200 && response->status != 202)
        return "creating the snapshot answered " + std::to_string(response->status);
    return {};
}

std::string ListShareSnapshots(const AdminConnection& connection, const std::string& strShare,
                               std::vector<std::string>& listNames) {
    auto ptrClient = MakeClient(connection);
    std::string strShareUuid;
    std::string strError = FindShareUuid(*ptrClient, strShare, strShareUuid);
    if (!strError.empty()) return strError;
    std::vector<Entity> listSnapshots;
    strError =
        ListEntities(*ptrClient, "/mount_target_snapshots/list", "mount_target_snapshot", listSnapshots);
    if (!strError.empty()) return strError;
    listNames.clear();
    for (const Entity& snapshot : listSnapshots) {
        if (snapshot.strMountTarget == strShareUuid) listNames.push_back(snapshot.strName);
    }
    return {};
}

std::string ApplyScenario(const AdminConnection& connection, const std::string& strScenario) {
    auto ptrClient = MakeClient(connection);
    auto response = ptrClient->Post("/_sim/scenario", strScenario, "application/json");
    if (!response) return "POST /_sim/scenario got no answer";
    if (response->status != 200) return "POST /_sim/scenario: " + response->body;
    return {};
}

std::string SeenRequests(const AdminConnection& connection, std::vector<SeenRequest>& listRequests) {
    auto ptrClient = MakeClient(connection);
    auto response = ptrClient->Get("/_sim/requests");
    if (!response || response->status != 200) return "GET /_sim/requests failed";
    simdjson::dom::parser parser;
    simdjson::dom::array requests;
    if (parser.parse(response->body)["requests"].get_array().get(requests) != simdjson::SUCCESS)
        return "GET /_sim/requests: no request list";
    listRequests.clear();
    for (simdjson::dom::element element : requests) {
        SeenRequest request;
        std::string_view text;
        int64_t llStatus = 0;
        if (element["method"].get_string().get(text) == simdjson::SUCCESS) request.strMethod = text;
        if (element["operation"].get_string().get(text) == simdjson::SUCCESS) request.strOperation = text;
        if (element["fault"].get_string().get(text) == simdjson::SUCCESS) request.strFault = text;
        if (element["status"].get_int64().get(llStatus) == simdjson::SUCCESS)
            request.lStatus = static_cast<long>(llStatus);
        listRequests.push_back(request);
    }
    return {};
}

std::string ForgetRequests(const AdminConnection& connection) {
    auto ptrClient = MakeClient(connection);
    auto response = ptrClient->Delete("/_sim/requests");
    if (!response || response->status < 200 || response->status >= 300) return "DELETE /_sim/requests failed";
    return {};
}

}  // namespace afs_test
