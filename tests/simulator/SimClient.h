#pragma once

#include <httplib.h>
#include <simdjson.h>

#include <string>

namespace afs_test {

// The text of a JSON member, or "<none>".
inline std::string Text(simdjson::simdjson_result<simdjson::dom::element> element) {
    std::string_view text;
    return element.get(text) == simdjson::SUCCESS ? std::string(text) : "<none>";
}

// A client of a simulator, user admin unless told otherwise. Call answers the
// status (-1: no answer) and keeps the body, parsed into `json` when it is JSON.
class CSimClient {
public:
    explicit CSimClient(const std::string& strOrigin) : client(strOrigin) {
        client.set_basic_auth("admin", "nutanix/4u");
        client.set_read_timeout(10, 0);
    }
    // `strPath` below the API unless it begins with "/"; a body means POST.
    int Call(const std::string& strPath, const char* szBody = nullptr, const char* szMethod = "POST") {
        const std::string strUrl = strPath[0] == '/' ? strPath : "/api/nutanix/v3/" + strPath;
        httplib::Result result = std::string(szMethod) == "DELETE" ? client.Delete(strUrl)
                                 : szBody == nullptr                 ? client.Get(strUrl)
                                                                     : client.Post(strUrl, szBody, "application/json");
        strBody = result ? result->body : "";
        bJson = parser.parse(strBody).get(json) == simdjson::SUCCESS;
        return result ? result->status : -1;
    }
    int Call(const std::string& strPath, const std::string& strBodyText) { return Call(strPath, strBodyText.c_str()); }
    // Creates snapshot `strName` of a share; its UUID, or "<none>".
    std::string Snapshot(const std::string& strShare, const std::string& strName) {
        Call("mount_target_snapshots",
             "{\"spec\":{\"name\":\"" + strName + "\",\"resources\":{\"mount_target_uuid\":\"" + strShare + "\"}}}");
        return bJson ? Text(json["metadata"]["uuid"]) : "<none>";
    }

    httplib::Client client;
    simdjson::dom::parser parser;
    simdjson::dom::element json;
    std::string strBody;
    bool bJson = false;
};

}  // namespace afs_test
