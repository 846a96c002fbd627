// The exact request behind every operation and the mapping of its answer,
// over a scripted transport.
#include <gtest/gtest.h>

// After gtest: cpprestsdk defines a macro U that breaks gtest's headers.
#include <cpprest/json.h>

#include <functional>

#include "restclient/Timestamp.h"
#include "tests/restclient/ScriptedTransport.h"

using afs_rest::IRestBackend;
using afs_rest_test::Answer;
using afs_rest_test::Failure;
using afs_rest_test::ScriptedBackend;

namespace {

const boost::none_t none = boost::none;

std::string Join(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& item : list) text += (text.empty() ? "" : ",") + item;
    return text;
}

// One operation: the call, the server's answer, the request it must send and what it must return.
struct Exchange {
    std::function<std::string(IRestBackend&)> fnCall;
    long lStatus;
    const char *answer, *method, *path, *body, *result;
};

const Exchange kExchanges[] = {
    {[](IRestBackend& rest) {
         auto page = rest.get_mount_target(0, 20);
         const auto& first = *page->getEntities().at(0)->getStatus();
         return page->getApiVersion() + " " + std::to_string(page->getMetadata()->getTotalMatches()) + " " +
                page->getEntities()[0]->getMetadata()->getUuid() + " " + first.getName() + " " +
                first.getResources()->getShareType() + " " + Join(first.getResources()->getCapabilityList()) +
                " " + page->getEntities()[1]->getStatus()->getName() +
                (page->getEntities()[1]->getStatus()->getResources()->shareTypeIsSet() ? " typed"
                                                                                       : " untyped");
     },
     200,
     R"({"api_version": "3.1", "metadata": {"kind": "mount_target", "offset": 0, "length": 2,
        "total_matches": 45, "extra": [1]}, "entities": [{"metadata": {"uuid": "a1"},
        "status": {"name": "share1", "state": "COMPLETE",
        "resources": {"share_type": "GENERAL", "capability_list": ["CFT_BACKUP", "SMB"]}}},
        {"metadata": {"uuid": "a2"}, "status": {"name": "share\u00e9", "state": null,
         "resources": {"share_type": null}},
         "unknown": null}]})",
     "POST", "mount_targets/list", R"({"kind": "mount_target", "offset": 0, "length": 20})",
     "3.1 45 a1 share1 GENERAL CFT_BACKUP,SMB share\xc3\xa9 untyped"},
    {[](IRestBackend& rest) {
         auto page = rest.get_mount_target_snapshot(none, 100, std::string("name==zk"));
         return page->getEntities().at(0)->getStatus()->getResources()->getMountTargetUuid();
     },
     200, R"({"metadata": {"length": 1}, "entities": [{"metadata": {"uuid": "c3d4"}, "status": {"name": "zk",
        "state": "COMPLETE", "resources": {"mount_target_uuid": "a1"}}}]})",
     "POST", "mount_target_snapshots/list",
     R"({"kind": "mount_target_snapshot", "length": 100, "filter": "name==zk"})", "a1"},
    {[](IRestBackend& rest) {
         afs_rest::PairList servers{{"10.0.0.5", "RW"}};
         return rest.create_partner_server("ps", "BACKUP", "Pellorand", "desc", none, none, none, true, none,
                                           servers, none, none, true);
     },
     202, R"({"metadata": {"uuid": "ps-1"}})", "POST", "partner_servers",
     R"({"metadata": {"kind": "partner_server"}, "spec": {"name": "ps", "resources": {"usage_type": "BACKUP",
        "vendor_name": "Pellorand", "description": "desc", "is_enabled": true, "allow_backup": true,
        "server_info_list": [{"name": "10.0.0.5", "access": "RW"}]}}})",
     "ps-1"},
    // Every optional member, quotes in a value, and an answer without a UUID (empty, by the protocol).
    {[](IRestBackend& rest) {
         std::string dns = "ps.example.com", type = "\"quoted\"";
         afs_rest::PairList empty;
         return rest.create_partner_server("n", "BACKUP", "V", "d", dns, std::string("10.1.1.1"), 443, false,
                                           type, empty, empty, empty, false);
     },
     200, R"({"status": {}})", "POST", "partner_servers",
     R"({"metadata": {"kind": "partner_server"}, "spec": {"name": "n", "resources": {"usage_type": "BACKUP",
        "vendor_name": "V", "description": "d", "dns_name": "ps.example.com", "ip_address": "10.1.1.1",
        "port": 443,
        "is_enabled": false, "partner_type": "\"quoted\"", "allow_backup": false, "server_info_list": [],
        "share_list": [], "export_list": []}}})",
     ""},
    {[](IRestBackend& rest) {
         return rest.create_mount_target_snapshot("a1", "zk_1", "Snapshot created", true);
     },
     202, R"({"metadata": {"uuid": "snap-9"}, "status": {"name": "zk", "state": "COMPLETE"}})", "POST",
     "mount_target_snapshots",
     R"({"metadata": {"kind": "mount_target_snapshot"}, "spec": {"name": "zk_1",
         "description": "Snapshot created",
        "resources": {"mount_target_uuid": "a1"}}, "wait_for_completion": true})",
     "snap-9"},
    // Any success answers a deletion.
    {[](IRestBackend& rest) { return rest.delete_mount_target_snapshot("c3d4", true), std::string(); }, 204,
     "", "DELETE", "mount_target_snapshots/c3d4?wait_for_completion=true", "", ""},
    {[](IRestBackend& rest) { return rest.delete_mount_target_snapshot("../x?y=1#", none), std::string(); },
     200, "{}", "DELETE", "mount_target_snapshots/..%2Fx%3Fy%3D1%23", "", ""},
    {[](IRestBackend& rest) {
         return std::to_string(
             rest.create_mount_target_snapshot_incremental_diff("a", "b", none, none)->uuidListIsSet());
     },
     200, R"({"other": 1})", "POST", "mount_target_snapshots/incremental_diff",
     R"({"older_snapshot_uuid": "a", "newer_snapshot_uuid": "b"})", "0"},
    {[](IRestBackend& rest) {
         return rest.get_mount_target_snapshot_diff_page("d 1", std::string("a&b=c"), std::string("3000"))
             .getNextPageToken();
     },
     200, R"({"next_page_token": "t"})", "GET",
     "mount_target_snapshots/diff/d%201?page_size=3000&page_token=a%26b%3Dc", "", "t"},
    // The page's members are DiffPageParserTest's.
    {[](IRestBackend& rest) {
         return rest.get_mount_target_snapshot_diff_page("d1", none, none).getObjectList().at(0)->getPath();
     },
     200, R"({"object_list": [{"path": "/.snapshot/s/a.txt"}]})", "GET", "mount_target_snapshots/diff/d1", "",
     "/.snapshot/s/a.txt"},
};

TEST(BackendMapping, EveryOperationSendsItsRequestAndMapsTheAnswer) {
    for (const Exchange& test : kExchanges) {
        SCOPED_TRACE(test.path);
        ScriptedBackend backend;
        backend.Script(Answer(test.lStatus, test.answer));
        EXPECT_EQ(test.result, test.fnCall(*backend.ptrBackend));
        ASSERT_EQ(1u, backend.listRequests.size());
        EXPECT_EQ(test.method, backend.listRequests[0].strMethod);
        EXPECT_EQ(test.path, backend.listRequests[0].strPath);
        if (*test.body) {
            EXPECT_EQ(web::json::value::parse(test.body),
                      web::json::value::parse(backend.listRequests[0].strBody))
                << backend.listRequests[0].strBody;
        } else {
            EXPECT_EQ("", backend.listRequests[0].strBody);
        }
    }
}

// Every failure names the operation and the status; the password never shows.
TEST(BackendMapping, FailuresNameTheOperationStatusAndCause) {
    const auto listShares = [](IRestBackend& rest) { rest.get_mount_target(none, none); };
    const auto createSnap = [](IRestBackend& rest) {
        rest.create_mount_target_snapshot("a1", "n", "d", none);
    };
    const auto createDiff = [](IRestBackend& rest) {
        rest.create_mount_target_snapshot_incremental_diff("a", "b", none, none);
    };
    const std::string kMalformed = "200 get_mount_target failed: HTTP 200: malformed response: ";
    struct Case {
        std::function<void(IRestBackend&)> fnCall;
        long lStatus;
        std::string answer, expected;
    };
    const Case cases[] = {
        {listShares, 200, R"({"entities": []})", kMalformed + "metadata: missing"},
        {listShares, 200, R"({"metadata": {}})", kMalformed + "entities: missing"},
        {listShares, 200, R"({"metadata": [], "entities": []})", kMalformed + "metadata: not an object"},
        {listShares, 200, R"({"metadata": {"offset": 2147483648}, "entities": []})",
         kMalformed + "metadata.offset: out of range (0 to 2147483647)"},
        {listShares, 200, R"({"metadata": {"total_matches": -1}, "entities": []})",
         kMalformed + "metadata.total_matches: out of range (0 to 2147483647)"},
        {listShares, 200, R"({"metadata": {"length": 1.0}, "entities": []})",
         kMalformed + "metadata.length: not an integer"},
        {listShares, 200, R"({"metadata": {"length": 3}, "entities": [{}]})",
         kMalformed + "metadata.length: 3 but 1 entities"},
        {listShares, 200,
         R"({"metadata": {}, "entities": [{}, {"status": {"resources": {"capability_list": [1]}}}]})",
         kMalformed + "entities[1].status.resources.capability_list[0]: not a string"},
        {listShares, 200, R"({"metadata": {}, "entities": []} trailing)", kMalformed + "not valid JSON"},
        {listShares, 202, R"({"metadata": {}, "entities": []})", "202 get_mount_target failed: HTTP 202"},
        {listShares, 500, R"({"message_list": []})", "500 get_mount_target failed: HTTP 500"},
        {listShares, 400, R"({"message_list": [{"message": "bad\nrequest\u0007"}]})",
         "400 get_mount_target failed: HTTP 400: badrequest"},
        {listShares, 401, R"({"message_list": [{"message": "bad password S3cret-Pa55 for backup-admin"}]})",
         "401 get_mount_target failed: HTTP 401: bad password *** for backup-admin"},
        {[](IRestBackend& rest) { rest.get_mount_target_snapshot(none, none, none); }, 404,
         R"({"state": "ERROR", "message_list": [{"message": "snapshot not found",
             "reason": "ENTITY_NOT_FOUND"}]})",
         "404 get_mount_target_snapshot failed: HTTP 404: snapshot not found"},
        {createSnap, 202, R"({"status": {"state": "COMPLETE"}})",
         "202 create_mount_target_snapshot failed: HTTP 202: malformed response: metadata.uuid: missing"},
        {createSnap, 202, R"({"metadata": {"uuid": ""}})",
         "202 create_mount_target_snapshot failed: HTTP 202: malformed response: metadata.uuid: empty"},
        {createSnap, 500, R"({"message_list": [{"message": ")" + std::string(600, 'm') + "\"}]}",
         "500 create_mount_target_snapshot failed: HTTP 500: " + std::string(512, 'm')},
        {createDiff, 200, R"({"uuid_list": "9a8b"})",
         "200 create_mount_target_snapshot_incremental_diff failed: HTTP 200: malformed response: uuid_list: "
         "not an array"},
        {[](IRestBackend& rest) { rest.get_mount_target_snapshot_diff_page("d", none, none); }, 200,
         R"({"object_list": [{}, {"access_timestamp": "2026-12-01 10:11:12Z"}]})",
         "200 get_mount_target_snapshot_diff_page failed: HTTP 200: malformed response: "
         "object_list[1].access_timestamp: "
         "\"2026-12-01 10:11:12Z\" is not an ISO-8601 UTC time"},
        {[](IRestBackend& rest) { rest.delete_mount_target_snapshot("", true); }, 0, "",
         "0 delete_mount_target_snapshot refused: the snapshot UUID is empty; nothing was sent"},
        {[](IRestBackend& rest) { rest.get_mount_target_snapshot_diff_page("", none, none); }, 0, "",
         "0 get_mount_target_snapshot_diff_page refused: the difference UUID is empty; nothing was sent"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.answer);
        ScriptedBackend backend;
        backend.Script(Answer(test.lStatus, test.answer));
        const std::string text = Failure([&] { test.fnCall(*backend.ptrBackend); });
        // simdjson's own reason follows "not valid JSON".
        const bool bPrefix = test.expected.find("not valid JSON") != std::string::npos;
        EXPECT_EQ(test.expected, text.substr(0, bPrefix ? test.expected.size() : std::string::npos));
        EXPECT_EQ(test.expected.find("nothing was sent") == std::string::npos,
                  backend.listRequests.size() == 1);
    }
}

}  // namespace
