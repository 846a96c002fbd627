// JSON mapping of every answer and the exact requests behind it, over a
// scripted transport.
#include <gtest/gtest.h>

// After gtest: cpprestsdk defines a macro U that breaks gtest's headers.
#include <cpprest/json.h>

#include "restclient/NutanixException.h"
#include "restclient/Timestamp.h"
#include "tests/restclient/ScriptedTransport.h"

using afs_rest_test::Answer;
using afs_rest_test::ScriptedBackend;

namespace {

// Compares as JSON (member order and spacing do not matter).
::testing::AssertionResult SameJson(const std::string& expected, const std::string& actual) {
    if (web::json::value::parse(expected) == web::json::value::parse(actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sent " << actual;
}

// Runs `call`, expects a NutanixException and returns its text; the status
// is checked on the way.
template <typename TCall>
std::string FailureText(TCall call, long expectedStatus) {
    try {
        call();
    } catch (const NutanixException& error) {
        EXPECT_EQ(expectedStatus, error.GetHttpStatus()) << error.what();
        return error.what();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}

const char* kMountTargets = R"({"api_version": "3.1",
  "metadata": {"kind": "mount_target", "offset": 0, "length": 2, "total_matches": 45, "extra": [1]},
  "entities": [
    {"metadata": {"uuid": "a1"}, "status": {"name": "share1", "state": "COMPLETE",
       "resources": {"share_type": "GENERAL", "capability_list": ["CFT_BACKUP", "SMB"]}}},
    {"metadata": {"uuid": "a2"}, "status": {"name": "share\u00e9", "state": "COMPLETE"}, "unknown": null}]})";

}  // namespace

TEST(ListMapping, MountTargetsMapEveryMember) {
    ScriptedBackend backend;
    backend.Script(Answer(200, kMountTargets));
    auto response = backend->get_mount_target(0, 20);
    ASSERT_EQ(1u, backend.Requests().size());
    EXPECT_EQ("POST", backend.Requests()[0].strMethod);
    EXPECT_EQ("mount_targets/list", backend.Requests()[0].strPath);
    EXPECT_TRUE(
        SameJson(R"({"kind": "mount_target", "offset": 0, "length": 20})", backend.Requests()[0].strBody));
    EXPECT_EQ("3.1", response->getApiVersion());
    EXPECT_EQ(45, response->getMetadata()->getTotalMatches());
    EXPECT_EQ(2, response->getMetadata()->getLength());
    ASSERT_EQ(2u, response->getEntities().size());
    const auto& first = *response->getEntities()[0];
    EXPECT_EQ("a1", first.getMetadata()->getUuid());
    EXPECT_EQ("share1", first.getStatus()->getName());
    EXPECT_EQ("GENERAL", first.getStatus()->getResources()->getShareType());
    EXPECT_EQ((std::vector<std::string>{"CFT_BACKUP", "SMB"}),
              first.getStatus()->getResources()->getCapabilityList());
    EXPECT_EQ("share\xc3\xa9", response->getEntities()[1]->getStatus()->getName());
    EXPECT_FALSE(response->getEntities()[1]->getStatus()->resourcesIsSet());
}

TEST(ListMapping, OffsetAndLengthAreSentOnlyWhenSet) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"metadata": {}, "entities": []})"));
    backend->get_partner_server(boost::none, boost::none);
    EXPECT_EQ("partner_servers/list", backend.Requests()[0].strPath);
    EXPECT_TRUE(SameJson(R"({"kind": "partner_server"})", backend.Requests()[0].strBody));
}

TEST(ListMapping, PartnerServersAndSnapshots) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"metadata": {"length": 1}, "entities": [{"metadata": {"uuid": "5f0e"},
        "status": {"name": "curl_client_partner_server_pellorand", "state": "COMPLETE"}}]})"));
    backend.Script(Answer(200, R"({"metadata": {"length": 1}, "entities": [{"metadata": {"uuid": "c3d4"},
        "status": {"name": "zkop__2_7_1234", "state": "COMPLETE", "resources": {"mount_target_uuid": "a1"}}}]})"));
    auto partners = backend->get_partner_server(5, 7);
    EXPECT_EQ("5f0e", partners->getEntities().at(0)->getMetadata()->getUuid());
    EXPECT_EQ("curl_client_partner_server_pellorand", partners->getEntities().at(0)->getStatus()->getName());
    auto snapshots = backend->get_mount_target_snapshot(boost::none, 100, std::string("name==zk"));
    EXPECT_EQ("mount_target_snapshots/list", backend.Requests()[1].strPath);
    EXPECT_TRUE(SameJson(R"({"kind": "mount_target_snapshot", "length": 100, "filter": "name==zk"})",
                         backend.Requests()[1].strBody));
    EXPECT_EQ("a1", snapshots->getEntities().at(0)->getStatus()->getResources()->getMountTargetUuid());
}

TEST(ListMapping, MalformedAnswersNameOperationStatusAndMember) {
    struct Case {
        const char* body;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"entities": []})", "metadata: missing"},
        {R"({"metadata": {}})", "entities: missing"},
        {R"({"metadata": [], "entities": []})", "metadata: not an object"},
        {R"({"metadata": {}, "entities": {}})", "entities: not an array"},
        {R"({"metadata": {"offset": 2147483648}, "entities": []})", "metadata.offset: out of range"},
        {R"({"metadata": {"total_matches": -1}, "entities": []})", "metadata.total_matches: out of range"},
        {R"({"metadata": {"length": 1.0}, "entities": []})", "metadata.length: not an integer"},
        {R"({"metadata": {"length": "2"}, "entities": []})", "metadata.length: not an integer"},
        {R"({"metadata": {"length": 3}, "entities": [{}]})", "metadata.length: 3 but 1 entities"},
        {R"({"metadata": {}, "entities": [{"metadata": {"uuid": 7}}]})",
         "entities[0].metadata.uuid: not a string"},
        {R"({"metadata": {}, "entities": [{}, {"status": {"resources": {"capability_list": [1]}}}]})",
         "entities[1].status.resources.capability_list[0]: not a string"},
        {R"({"metadata": {}, "entities": [)", "not valid JSON"},
        {"{\"metadata\": {}, \"entities\": [{\"status\": {\"name\": \"bad\xff\"}}]}", "not valid JSON"},
        {R"({"metadata": {}, "entities": []} trailing)", "not valid JSON"},
        {"", "not valid JSON"},
    };
    for (const Case& test : cases) {
        ScriptedBackend backend;
        backend.Script(Answer(200, test.body));
        std::string text = FailureText([&] { backend->get_mount_target(boost::none, boost::none); }, 200);
        EXPECT_EQ(0u, text.find("get_mount_target failed: HTTP 200: malformed response: ")) << text;
        EXPECT_NE(std::string::npos, text.find(test.expected)) << test.body << " -> " << text;
    }
}

TEST(ErrorStatus, TextHasOperationStatusAndServerMessage) {
    ScriptedBackend backend;
    backend.Script(Answer(404, R"({"state": "ERROR", "code": 404,
        "message_list": [{"message": "snapshot not found", "reason": "ENTITY_NOT_FOUND"}]})"));
    EXPECT_EQ(
        "get_mount_target_snapshot failed: HTTP 404: snapshot not found",
        FailureText([&] { backend->get_mount_target_snapshot(boost::none, boost::none, boost::none); }, 404));
}

TEST(ErrorStatus, BodyWithoutMessageOrNotJson) {
    ScriptedBackend backend;
    backend.Script(Answer(401, "<html>Unauthorized</html>"));
    backend.Script(Answer(500, R"({"message_list": []})"));
    EXPECT_EQ("get_partner_server failed: HTTP 401",
              FailureText([&] { backend->get_partner_server(boost::none, boost::none); }, 401));
    EXPECT_EQ("get_partner_server failed: HTTP 500",
              FailureText([&] { backend->get_partner_server(boost::none, boost::none); }, 500));
}

TEST(ErrorStatus, ControlCharactersInServerMessageAreDropped) {
    ScriptedBackend backend;
    backend.Script(Answer(400, R"({"message_list": [{"message": "bad\nrequest\u0007"}]})"));
    EXPECT_EQ("get_mount_target failed: HTTP 400: badrequest",
              FailureText([&] { backend->get_mount_target(boost::none, boost::none); }, 400));
}

TEST(ErrorStatus, SuccessStatusesArePerOperation) {
    ScriptedBackend backend;
    backend.Script(Answer(202, R"({"metadata": {}, "entities": []})"));
    EXPECT_EQ("get_mount_target failed: HTTP 202",
              FailureText([&] { backend->get_mount_target(boost::none, boost::none); }, 202));
}

TEST(PartnerServerCreation, BodyHasOnlyTheSetMembers) {
    ScriptedBackend backend;
    backend.Script(Answer(202, R"({"metadata": {"uuid": "ps-1"}})"));
    afs_rest::PairList servers{{"10.0.0.5", "RW"}};
    std::string uuid = backend->create_partner_server("curl_client_partner_server_pellorand", "BACKUP",
                                                      "Pellorand", "partner server created from curl client",
                                                      boost::none, boost::none, boost::none, true,
                                                      boost::none, servers, boost::none, boost::none, true);
    EXPECT_EQ("ps-1", uuid);
    EXPECT_EQ("partner_servers", backend.Requests()[0].strPath);
    EXPECT_TRUE(SameJson(R"({"metadata": {"kind": "partner_server"},
     "spec": {"name": "curl_client_partner_server_pellorand",
              "resources": {"usage_type": "BACKUP", "vendor_name": "Pellorand",
                            "description": "partner server created from curl client",
                            "is_enabled": true, "allow_backup": true,
                            "server_info_list": [{"name": "10.0.0.5", "access": "RW"}]}}})",
                         backend.Requests()[0].strBody));
}

TEST(PartnerServerCreation, AllOptionalMembersAndQuotesInValues) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"status": {}})"));
    std::string dns = "ps.example.com";
    std::string type = "\"quoted\"";
    afs_rest::PairList empty;
    std::string uuid = backend->create_partner_server("n", "BACKUP", "V", "d", dns, std::string("10.1.1.1"),
                                                      443, false, type, empty, empty, empty, false);
    EXPECT_EQ("", uuid);  // absent UUID member: empty, by the protocol
    EXPECT_TRUE(SameJson(R"({"metadata": {"kind": "partner_server"}, "spec": {"name": "n", "resources": {
        "usage_type": "BACKUP", "vendor_name": "V", "description": "d", "dns_name": "ps.example.com",
        "ip_address": "10.1.1.1", "port": 443, "is_enabled": false, "partner_type": "\"quoted\"",
        "allow_backup": false, "server_info_list": [], "share_list": [], "export_list": []}}})",
                         backend.Requests()[0].strBody));
}

TEST(PartnerServerCreation, WrongTypedUuidIsAFailure) {
    ScriptedBackend backend;
    backend.Script(Answer(202, R"({"metadata": {"uuid": 12}})"));
    std::string text = FailureText(
        [&] {
            backend->create_partner_server("n", "BACKUP", "V", "d", boost::none, boost::none, boost::none,
                                           boost::none, boost::none, boost::none, boost::none, boost::none,
                                           boost::none);
        },
        202);
    EXPECT_EQ("create_partner_server failed: HTTP 202: malformed response: metadata.uuid: not a string",
              text);
}

TEST(SnapshotCreation, RequestAndUuid) {
    ScriptedBackend backend;
    backend.Script(
        Answer(202, R"({"metadata": {"uuid": "snap-9"}, "status": {"name": "zk", "state": "COMPLETE"}})"));
    EXPECT_EQ("snap-9", backend->create_mount_target_snapshot("a1", "zkop__2_7_1234",
                                                              "Snapshot created from scan", true));
    EXPECT_EQ("mount_target_snapshots", backend.Requests()[0].strPath);
    EXPECT_TRUE(SameJson(R"({"metadata": {"kind": "mount_target_snapshot"},
     "spec": {"name": "zkop__2_7_1234", "description": "Snapshot created from scan",
              "resources": {"mount_target_uuid": "a1"}}, "wait_for_completion": true})",
                         backend.Requests()[0].strBody));
}

TEST(SnapshotCreation, AnswerWithoutUuidIsNotASuccess) {
    ScriptedBackend backend;
    backend.Script(Answer(202, R"({"status": {"state": "COMPLETE"}})"));
    EXPECT_EQ("create_mount_target_snapshot failed: HTTP 202: malformed response: metadata.uuid: missing",
              FailureText([&] { backend->create_mount_target_snapshot("a1", "n", "d", boost::none); }, 202));
    EXPECT_EQ(std::string::npos, backend.Requests()[0].strBody.find("wait_for_completion"));
}

TEST(SnapshotCreation, ConflictIsReported) {
    ScriptedBackend backend;
    backend.Script(Answer(409, R"({"message_list": [{"message": "snapshot name exists"}]})"));
    EXPECT_EQ("create_mount_target_snapshot failed: HTTP 409: snapshot name exists",
              FailureText([&] { backend->create_mount_target_snapshot("a1", "n", "d", true); }, 409));
}

TEST(SnapshotDeletion, PathIsEncodedAndFlagSent) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"status": "DELETED"})"));
    backend.Script(Answer(200, R"({"status": "DELETED"})"));
    backend->delete_mount_target_snapshot("c3d4", true);
    backend->delete_mount_target_snapshot("../x?y=1#", boost::none);
    EXPECT_EQ("DELETE", backend.Requests()[0].strMethod);
    EXPECT_EQ("mount_target_snapshots/c3d4?wait_for_completion=true", backend.Requests()[0].strPath);
    EXPECT_EQ("mount_target_snapshots/..%2Fx%3Fy%3D1%23", backend.Requests()[1].strPath);
}

TEST(SnapshotDeletion, UnknownSnapshotFails) {
    ScriptedBackend backend;
    backend.Script(Answer(404, R"({"message_list": [{"message": "snapshot not found"}]})"));
    EXPECT_EQ("delete_mount_target_snapshot failed: HTTP 404: snapshot not found",
              FailureText([&] { backend->delete_mount_target_snapshot("nope", true); }, 404));
}

TEST(IncrementalDiff, RequestAndUuidList) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"uuid_list": ["9a8b", "7c6d"]})"));
    auto output = backend->create_mount_target_snapshot_incremental_diff("c3d4", "e5f6", std::string("/docs"),
                                                                         std::string("FILE"));
    EXPECT_EQ("mount_target_snapshots/incremental_diff", backend.Requests()[0].strPath);
    EXPECT_TRUE(SameJson(R"({"older_snapshot_uuid": "c3d4", "newer_snapshot_uuid": "e5f6",
                      "path_filter": "/docs", "object_type_filter": "FILE"})",
                         backend.Requests()[0].strBody));
    EXPECT_EQ((std::vector<std::string>{"9a8b", "7c6d"}), output->getUuidList());
}

TEST(IncrementalDiff, MissingListIsNotSetAndWrongTypesFail) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"other": 1})"));
    backend.Script(Answer(200, R"({"uuid_list": "9a8b"})"));
    backend.Script(Answer(200, R"({"uuid_list": ["9a8b", null]})"));
    EXPECT_FALSE(backend->create_mount_target_snapshot_incremental_diff("a", "b", boost::none, boost::none)
                     ->uuidListIsSet());
    EXPECT_TRUE(SameJson(R"({"older_snapshot_uuid": "a", "newer_snapshot_uuid": "b"})",
                         backend.Requests()[0].strBody));
    auto call = [&] {
        backend->create_mount_target_snapshot_incremental_diff("a", "b", boost::none, boost::none);
    };
    EXPECT_EQ(
        "create_mount_target_snapshot_incremental_diff failed: HTTP 200: malformed response: uuid_list: not "
        "an array",
        FailureText(call, 200));
    EXPECT_EQ(
        "create_mount_target_snapshot_incremental_diff failed: HTTP 200: malformed response: uuid_list[1]: "
        "not a string",
        FailureText(call, 200));
}

TEST(DiffPage, PathCarriesSizeAndTokenOnlyWhenSet) {
    ScriptedBackend backend;
    for (int i = 0; i < 4; ++i) backend.Script(Answer(200, R"({"is_last_page": true})"));
    backend->get_mount_target_snapshot_diff_page("d1", boost::none, boost::none);
    backend->get_mount_target_snapshot_diff_page("d1", std::string(""), std::string("3000"));
    backend->get_mount_target_snapshot_diff_page("d1", std::string("3000"), boost::none);
    backend->get_mount_target_snapshot_diff_page("d 1", std::string("a&b=c"), boost::none);
    EXPECT_EQ("GET", backend.Requests()[0].strMethod);
    EXPECT_EQ("mount_target_snapshots/diff/d1", backend.Requests()[0].strPath);
    EXPECT_EQ("mount_target_snapshots/diff/d1?page_size=3000&page_token=", backend.Requests()[1].strPath);
    EXPECT_EQ("mount_target_snapshots/diff/d1?page_token=3000", backend.Requests()[2].strPath);
    EXPECT_EQ("mount_target_snapshots/diff/d%201?page_token=a%26b%3Dc", backend.Requests()[3].strPath);
}

TEST(DiffPage, ObjectsAreMapped) {
    ScriptedBackend backend;
    backend.Script(
        Answer(200, R"({"is_last_page": false, "should_retry_page": false, "next_page_token": "3000",
     "object_list": [
       {"path": "/.snapshot/zkop__2_7_1234/docs/a.txt", "old_path": "",
        "object_type": "FILE", "operation_type": "ADD", "size": 1024, "inode_number": 4711,
        "access_timestamp": "2026-12-01T10:11:12Z", "change_timestamp": "2026-12-01T10:11:13Z",
        "creation_timestamp": "1970-01-01T00:00:00Z", "modification_timestamp": "2026-12-01T10:11:12.5Z"},
       {"operation_type": "DELETE"}]})"));
    auto page = backend->get_mount_target_snapshot_diff_page("d1", std::string("0"), std::string("3000"));
    EXPECT_FALSE(page.isIsLastPage());
    EXPECT_TRUE(page.isLastPageIsSet());
    EXPECT_EQ("3000", page.getNextPageToken());
    ASSERT_EQ(2u, page.getObjectList().size());
    const auto& first = *page.getObjectList()[0];
    EXPECT_EQ("/.snapshot/zkop__2_7_1234/docs/a.txt", first.getPath());
    EXPECT_TRUE(first.oldPathIsSet());
    EXPECT_EQ("", first.getOldPath());
    EXPECT_EQ(1024, first.getSize());
    EXPECT_EQ(4711, first.getInodeNumber());
    EXPECT_EQ("2026-12-01T10:11:13Z", afs_rest::FormatIso8601Utc(first.getChangeTimestamp()));
    EXPECT_EQ("2026-12-01T10:11:12.5000000Z", afs_rest::FormatIso8601Utc(first.getModificationTimestamp()));
    EXPECT_EQ(11644473600ULL * 10000000ULL, first.getCreationTimestamp().to_interval());
    const auto& second = *page.getObjectList()[1];
    EXPECT_EQ("DELETE", second.getOperationType());
    EXPECT_FALSE(second.pathIsSet());
    EXPECT_FALSE(second.sizeIsSet());
    EXPECT_FALSE(second.accessTimestampIsSet());
}

TEST(DiffPage, MalformedPageNamesTheObject) {
    ScriptedBackend backend;
    backend.Script(Answer(200, R"({"object_list": [{}, {"access_timestamp": "2026-12-01 10:11:12Z"}]})"));
    EXPECT_EQ(
        "get_mount_target_snapshot_diff_page failed: HTTP 200: malformed response: "
        "object_list[1].access_timestamp: \"2026-12-01 10:11:12Z\" is not an ISO-8601 UTC time",
        FailureText([&] { backend->get_mount_target_snapshot_diff_page("d", boost::none, boost::none); },
                    200));
}

TEST(PathParameter, EmptyUuidIsRefusedBeforeAnythingIsSent) {
    ScriptedBackend backend;
    EXPECT_EQ("delete_mount_target_snapshot refused: the snapshot UUID is empty; nothing was sent",
              FailureText([&] { backend->delete_mount_target_snapshot("", true); }, 0));
    EXPECT_EQ("get_mount_target_snapshot_diff_page refused: the difference UUID is empty; nothing was sent",
              FailureText([&] { backend->get_mount_target_snapshot_diff_page("", boost::none, boost::none); }, 0));
    EXPECT_TRUE(backend.Requests().empty());
}
