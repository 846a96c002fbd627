#include <gtest/gtest.h>

#include "restclient/DiffPageParser.h"
#include "restclient/NutanixException.h"
#include "restclient/Timestamp.h"

using afs_rest::CDiffPageParser;
using afs_rest::ParseDiffPage;
using Page = afs_rest::model::Mount_target_snapshot_diff_tracking_output;

namespace {

std::string ParseError(const std::string& body) {
    Page page;
    try {
        ParseDiffPage(body.data(), body.size(), page);
    } catch (const NutanixException& error) {
        return error.what();
    }
    return "parsed";
}

std::string ObjectPage(const std::string& members) { return R"({"object_list": [{)" + members + "}]}"; }

}  // namespace

TEST(DiffPageParser, EmptyObjectLeavesEverythingUnset) {
    Page page;
    ParseDiffPage("{}", 2, page);
    EXPECT_FALSE(page.isLastPageIsSet());
    EXPECT_FALSE(page.isIsLastPage());
    EXPECT_FALSE(page.shouldRetryPageIsSet());
    EXPECT_FALSE(page.nextPageTokenIsSet());
    EXPECT_FALSE(page.objectListIsSet());
}

TEST(DiffPageParser, RetryPageWithoutObjects) {
    Page page;
    std::string body = R"({"should_retry_page": true, "next_page_token": "t\u00e9", "object_list": []})";
    ParseDiffPage(body.data(), body.size(), page);
    EXPECT_TRUE(page.isShouldRetryPage());
    EXPECT_EQ("t\xc3\xa9", page.getNextPageToken());
    EXPECT_TRUE(page.objectListIsSet());
    EXPECT_TRUE(page.getObjectList().empty());
}

TEST(DiffPageParser, ReusedParserReplacesThePreviousPage) {
    CDiffPageParser parser;
    Page page;
    std::string first = R"({"is_last_page": false, "object_list": [{"path": "/a"}, {"path": "/b"}]})";
    std::string second =
        R"({"is_last_page": true, "object_list": [{"path": "/c", "size": 9223372036854775807}]})";
    parser.Parse(first.data(), first.size(), page);
    ASSERT_EQ(2u, page.getObjectList().size());
    parser.Parse(second.data(), second.size(), page);
    EXPECT_TRUE(page.isIsLastPage());
    ASSERT_EQ(1u, page.getObjectList().size());
    EXPECT_EQ("/c", page.getObjectList()[0]->getPath());
    EXPECT_EQ(9223372036854775807LL, page.getObjectList()[0]->getSize());
}

TEST(DiffPageParser, InPlaceParsingLeavesTheBodyIntact) {
    CDiffPageParser parser;
    std::string body =
        R"({"object_list": [{"path": "/x\"y", "object_type": "DIRECTORY", "operation_type": "RENAME",
                                            "old_path": "/.snapshot/old/x"}]})";
    std::string copy = body;
    Page page;
    parser.ParseInPlace(body, page);
    EXPECT_EQ(copy, body);
    EXPECT_EQ("/x\"y", page.getObjectList().at(0)->getPath());
    EXPECT_EQ("RENAME", page.getObjectList().at(0)->getOperationType());
    EXPECT_EQ("/.snapshot/old/x", page.getObjectList().at(0)->getOldPath());
}

TEST(DiffPageParser, UnknownMembersAreIgnored) {
    Page page;
    std::string body =
        R"({"future": {"a": [1, 2, {"b": null}]}, "object_list": [{"path": "/a", "xattr": [1.5]}]})";
    ParseDiffPage(body.data(), body.size(), page);
    EXPECT_EQ("/a", page.getObjectList().at(0)->getPath());
}

TEST(DiffPageParser, WrongTypes) {
    EXPECT_EQ("is_last_page: wrong type", ParseError(R"({"is_last_page": "true"})"));
    EXPECT_EQ("next_page_token: wrong type", ParseError(R"({"next_page_token": 3000})"));
    EXPECT_EQ("object_list: wrong type", ParseError(R"({"object_list": {}})"));
    EXPECT_EQ("object_list[0]: wrong type", ParseError(R"({"object_list": [[]]})"));
    EXPECT_EQ("object_list[0].path: wrong type", ParseError(ObjectPage(R"("path": null)")));
    EXPECT_EQ("object_list[0].size: wrong type", ParseError(ObjectPage(R"("size": "1024")")));
    EXPECT_EQ("object_list[0].size: wrong type", ParseError(ObjectPage(R"("size": 10.5)")));
    EXPECT_EQ("object_list[0].inode_number: wrong type", ParseError(ObjectPage(R"("inode_number": true)")));
}

TEST(DiffPageParser, NumbersOutOfRange) {
    EXPECT_EQ("object_list[0].size: out of range (0 to 9223372036854775807)",
              ParseError(ObjectPage(R"("size": 9223372036854775808)")));
    EXPECT_EQ("object_list[0].inode_number: -1 is out of range",
              ParseError(ObjectPage(R"("inode_number": -1)")));
    EXPECT_NE("parsed", ParseError(ObjectPage(R"("size": 123456789012345678901234567890)")));
}

TEST(DiffPageParser, TimestampsMustBeStrictUtc) {
    EXPECT_EQ("object_list[0].change_timestamp: \"2026-02-30T00:00:00Z\" is not an ISO-8601 UTC time",
              ParseError(ObjectPage(R"("change_timestamp": "2026-02-30T00:00:00Z")")));
    EXPECT_EQ("object_list[0].creation_timestamp: \"2026-12-01T10:11:12+1:00\" is not an ISO-8601 UTC time",
              ParseError(ObjectPage(R"("creation_timestamp": "2026-12-01T10:11:12+1:00")")));
    EXPECT_EQ("object_list[0].modification_timestamp: wrong type",
              ParseError(ObjectPage(R"("modification_timestamp": 1764583872)")));
}

TEST(DiffPageParser, RegressionAnyObjectAndOperationTypePassesThrough) {
    // The plug-in maps them: unknown operations get change type 0, unknown
    // object types are filed as regular files.
    Page page;
    const std::string text = R"({"object_list": [{"object_type": "SYMLINK", "operation_type": "add"},)"
                       R"( {"object_type": "directory", "operation_type": "TRUNCATE"}]})";
    ParseDiffPage(text.data(), text.size(), page);
    ASSERT_EQ(2u, page.getObjectList().size());
    EXPECT_EQ("SYMLINK", page.getObjectList()[0]->getObjectType());
    EXPECT_EQ("add", page.getObjectList()[0]->getOperationType());
    EXPECT_EQ("directory", page.getObjectList()[1]->getObjectType());
    EXPECT_EQ("TRUNCATE", page.getObjectList()[1]->getOperationType());
}

TEST(DiffPageParser, IncompleteOrInvalidBodies) {
    std::string full =
        R"({"is_last_page": true, "object_list": [{"path": "/a", "size": 1}, {"path": "/b"}]})";
    // Every proper prefix is an incomplete body and must fail.
    for (size_t length = 0; length < full.size(); ++length)
        EXPECT_NE("parsed", ParseError(full.substr(0, length))) << full.substr(0, length);
    EXPECT_EQ("parsed", ParseError(full));
    EXPECT_NE("parsed", ParseError(full + " {}"));
    EXPECT_EQ("parsed", ParseError(full + " \r\n\t"));
    EXPECT_NE("parsed", ParseError("[]"));
    EXPECT_NE("parsed", ParseError(ObjectPage("\"path\": \"/bad\xc3\x28\"")));
    EXPECT_NE("parsed", ParseError(ObjectPage("\"path\": \"/overlong\xc0\xaf\"")));
    EXPECT_NE("parsed", ParseError(R"({"object_list": [{"path": "/a",}]})"));
}
