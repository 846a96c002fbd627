#include <gtest/gtest.h>

#include "restclient/DiffPageParser.h"
#include "restclient/NutanixException.h"
#include "restclient/Timestamp.h"

using Page = afs_rest::model::Mount_target_snapshot_diff_tracking_output;

namespace {

// "parsed" and a summary of the page, or the parser's reason.
std::string Parse(const std::string& body) {
    Page page;
    try {
        afs_rest::ParseDiffPage(body.data(), body.size(), page);
    } catch (const NutanixException& error) {
        return error.what();
    }
    std::string summary = "parsed " + std::to_string(page.isLastPageIsSet()) +
                          std::to_string(page.isIsLastPage()) + std::to_string(page.shouldRetryPageIsSet()) +
                          std::to_string(page.isShouldRetryPage()) + " [" + page.getNextPageToken() + "] " +
                          std::to_string(page.objectListIsSet());
    // Then per object its texts and, in braces, which members are set (the modification time as text).
    for (const auto& ptr : page.getObjectList()) {
        summary +=
            " " + ptr->getPath() + ptr->getObjectType() + ptr->getOperationType() + "{" +
            (ptr->pathIsSet() ? "p" : "") + (ptr->oldPathIsSet() ? "o" : "") + (ptr->sizeIsSet() ? "s" : "") +
            (ptr->isUnreadablePath() ? "!" : "") +
            (ptr->modificationTimestampIsSet() ? afs_rest::FormatIso8601Utc(ptr->getModificationTimestamp())
                                               : "") +
            "}";
    }
    return summary;
}

std::string ObjectPage(const std::string& members) { return R"({"object_list": [{)" + members + "}]}"; }

TEST(DiffPageParser, BodiesGiveThePageOrTheMemberAtFault) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"should_retry_page": true, "next_page_token": "t\u00e9", "object_list": []})",
         "parsed 0011 [t\xc3\xa9] 1"},
        {R"({"future": {"a": [1, {"b": null}]}, "is_last_page": true,
            "object_list": [{"path": "/a", "xattr": [1.5]}]})",
         "parsed 1100 [] 1 /a{p}"},
        // Null is an absent member; so is an empty time, wherever it comes.
        {R"({"is_last_page": true, "should_retry_page": null, "next_page_token": null,
            "object_list": [{"path": null, "old_path": null, "size": null, "inode_number": null,
            "object_type": null, "access_timestamp": null}]})",
         "parsed 1100 [] 1 {}"},
        {R"({"object_list": null})", "parsed 0000 [] 0"},
        // A repeated time text gives the same time, another text its own.
        {R"({"object_list": [{"modification_timestamp": ""},
            {"modification_timestamp": "2026-12-01T10:11:12Z"},
            {"modification_timestamp": "2026-12-01T10:11:12Z"}, {"modification_timestamp": ""},
            {"modification_timestamp": "2026-12-01T10:11:13Z"}]})",
         "parsed 0000 [] 1 {} {2026-12-01T10:11:12Z} {2026-12-01T10:11:12Z} {} {2026-12-01T10:11:13Z}"},
        // A path no name can be made of is marked, not a failure of the page.
        {R"({"object_list": [{"path": "/a\ud800b"}, {"path": "/b", "old_path": "/x\uDFFF"}]})",
         "parsed 0000 [] 1 /a\\ud800b{p!} /b{po!}"},
        {ObjectPage("\"size\": 1, \"path\": \"/" + std::string(70000, 'a') + "\""),
         "parsed 0000 [] 1 /" + std::string(511, 'a') + "{ps!}"},
        {R"({"is_last_page": "true"})", "is_last_page: wrong type"},
        {R"({"next_page_token": 3000})", "next_page_token: wrong type"},
        {R"({"object_list": {}})", "object_list: wrong type"},
        {R"({"object_list": [[]]})", "object_list[0]: wrong type"},
        {ObjectPage(R"("size": "1024")"), "object_list[0].size: wrong type"},
        {ObjectPage(R"("size": 9223372036854775808)"),
         "object_list[0].size: out of range (0 to 9223372036854775807)"},
        {ObjectPage(R"("inode_number": -1)"), "object_list[0].inode_number: -1 is out of range"},
        {ObjectPage(R"("change_timestamp": "2026-02-30T00:00:00Z")"),
         "object_list[0].change_timestamp: \"2026-02-30T00:00:00Z\" is not an ISO-8601 UTC time"},
        {ObjectPage(R"("modification_timestamp": 1764583872)"),
         "object_list[0].modification_timestamp: wrong type"},
        // Any object and operation type passes through; the plug-in maps them.
        {R"({"object_list": [{"object_type": "SYMLINK", "operation_type": "add"}, {"object_type": "directory",
            "operation_type": "TRUNCATE"}]})",
         "parsed 0000 [] 1 SYMLINKadd{} directoryTRUNCATE{}"},
    };
    for (const auto& test : cases) EXPECT_EQ(test.second, Parse(test.first)) << test.first;
}

TEST(DiffPageParser, IncompleteOrInvalidBodiesFail) {
    const std::string full =
        R"({"is_last_page": true, "object_list": [{"path": "/a", "size": 1}, {"path": "/b"}]})";
    EXPECT_EQ("parsed 1100 [] 1 /a{ps} /b{p}", Parse(full + " \r\n\t"));
    for (size_t length = 0; length < full.size(); ++length)
        EXPECT_NE("parsed", Parse(full.substr(0, length)).substr(0, 6));
    for (const std::string& bad :
         {full + " {}", std::string("[]"), ObjectPage("\"path\": \"/bad\xc3\x28\""),
          ObjectPage("\"path\": \"/overlong\xc0\xaf\""), ObjectPage("\"path\": \"/a\\qb\""),
          std::string(R"({"object_list": [{"path": "/a",}]})"),
          ObjectPage(R"("size": 123456789012345678901234567890)")})
        EXPECT_NE("parsed", Parse(bad).substr(0, 6)) << bad;
}

TEST(DiffPageParser, AReusedParserReplacesThePageAndLeavesAnInPlaceBodyIntact) {
    afs_rest::CDiffPageParser parser;
    Page page;
    std::string first = R"({"is_last_page": false, "object_list": [{"path": "/a"}, {"path": "/b"}]})";
    std::string second =
        R"({"is_last_page": true, "object_list": [{"path": "/x\"y", "size": 9223372036854775807,
        "object_type": "DIRECTORY", "operation_type": "RENAME", "old_path": "/.snapshot/old/x",
        "inode_number": 4711, "access_timestamp": "2026-12-01T10:11:12.5Z",
        "change_timestamp": "2026-12-01T10:11:13Z", "creation_timestamp": "1970-01-01T00:00:00Z"}]})";
    const std::string copy = second;
    parser.Parse(first.data(), first.size(), page);
    parser.ParseInPlace(second, page);
    EXPECT_EQ(copy, second);
    ASSERT_EQ(1u, page.getObjectList().size());
    const auto& object = *page.getObjectList()[0];
    EXPECT_EQ(
        "1 /x\"y 9223372036854775807 DIRECTORY RENAME /.snapshot/old/x 4711 2026-12-01T10:11:12.5000000Z "
        "2026-12-01T10:11:13Z 116444736000000000",
        std::to_string(page.isIsLastPage()) + " " + object.getPath() + " " +
            std::to_string(object.getSize()) + " " + object.getObjectType() + " " +
            object.getOperationType() + " " + object.getOldPath() + " " +
            std::to_string(object.getInodeNumber()) + " " +
            afs_rest::FormatIso8601Utc(object.getAccessTimestamp()) + " " +
            afs_rest::FormatIso8601Utc(object.getChangeTimestamp()) + " " +
            std::to_string(object.getCreationTimestamp().to_interval()));
}

}  // namespace
