#include "tests/e2e/SimulatorAdmin.h"

#include <httplib.h>
#include <simdjson.h>

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

}  // namespace afs_test
