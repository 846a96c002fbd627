#include "tools/afs-sim/DiffStore.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <set>

#include "tests/simulator/SimClient.h"
#include "tools/afs-sim/JsonText.h"

namespace afs_test {
namespace {

using afs_sim::EOperation;

afs_sim::DiffSource Source(const std::vector<std::pair<EOperation, std::string>>& listChanges) {
    std::vector<afs_sim::DiffObject> listObjects;
    for (const auto& [eOperation, strPaths] : listChanges) {
        afs_sim::DiffObject object;
        object.eOperation = eOperation;
        object.entry.strPath = strPaths.substr(0, strPaths.find(' '));
        object.strOldPath = strPaths.find(' ') == std::string::npos ? "" : strPaths.substr(strPaths.find(' ') + 1);
        object.entry.uInode = 4711;
        object.entry.llSize = 1024;
        object.entry.llModifyNs = 1796119872000000000LL;            // 2026-12-01T10:11:12Z
        object.entry.llAccessNs = 1796119872000000000LL + 1234500;  // plus 1.2345 ms
        listObjects.push_back(object);
    }
    afs_sim::DiffSource source;
    source.uEnd = listObjects.size();
    source.ptrObjects = std::make_shared<const std::vector<afs_sim::DiffObject>>(std::move(listObjects));
    source.strNewerName = "snap_new";
    source.strOlderName = "snap_old";
    return source;
}

TEST(DiffPage, PagesCarryEveryMemberAndTokensUntilTheLastPage) {
    const afs_sim::DiffSource source = Source({{EOperation::eDelete, "gone.txt"}, {EOperation::eRename, "to/new.txt from/old.txt"},
                                               {EOperation::eModify, "dir"}, {EOperation::eAdd, "d"}, {EOperation::eAdd, "e"}});
    std::string strBody;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "", 100, strBody));
    EXPECT_EQ("{\"is_last_page\":true,\"should_retry_page\":false,\"next_page_token\":\"\",\"object_list\":["
              "{\"path\":\"/.snapshot/snap_old/gone.txt\",\"old_path\":\"\",\"object_type\":\"FILE\",\"operation_type\":"
              "\"DELETE\",\"size\":1024,\"inode_number\":4711,\"access_timestamp\":\"2026-12-01T10:11:12.0012345Z\","
              "\"change_timestamp\":\"1970-01-01T00:00:00Z\",\"creation_timestamp\":\"1970-01-01T00:00:00Z\","
              "\"modification_timestamp\":\"2026-12-01T10:11:12Z\"},",
              strBody.substr(0, strBody.find("},") + 2));
    std::vector<std::string> listSeen;
    simdjson::dom::parser parser;
    for (std::string strToken; strToken != "<last>";) {
        ASSERT_EQ("", afs_sim::WriteDiffPage(source, strToken, 2, strBody));
        simdjson::dom::element page = parser.parse(strBody);
        listSeen.push_back("page " + Text(page["next_page_token"]));
        for (simdjson::dom::element object : page["object_list"]) {
            listSeen.push_back(Text(object["operation_type"]) + " " + Text(object["path"]) + " " + Text(object["old_path"]));
        }
        strToken = bool(page["is_last_page"]) ? "<last>" : Text(page["next_page_token"]);
    }
    EXPECT_EQ((std::vector<std::string>{"page 2", "DELETE /.snapshot/snap_old/gone.txt ",
                                        "RENAME /.snapshot/snap_new/to/new.txt /.snapshot/snap_old/from/old.txt", "page 4",
                                        "MODIFY /.snapshot/snap_new/dir ", "ADD /.snapshot/snap_new/d ", "page ",
                                        "ADD /.snapshot/snap_new/e "}),
              listSeen);
    for (const char* szToken : {"7", "1x", "-1"}) {
        EXPECT_NE(std::string::npos, afs_sim::WriteDiffPage(source, szToken, 10, strBody).find("page token not valid")) << szToken;
    }
    const std::string strRetry = afs_sim::RetryPageBody("3000");
    EXPECT_EQ("{\"is_last_page\":false,\"should_retry_page\":true,\"next_page_token\":\"3000\",\"object_list\":[]}", strRetry);
}

TEST(DiffPage, SyntheticPagesAreDeterministicMixedAndSizedLikeRealOnes) {
    afs_sim::DiffSource source;
    source.strNewerName = "bench_new";
    source.strOlderName = "bench_old";
    source.uBegin = 5000;
    source.uEnd = 1005000;
    std::string strFirst, strAgain;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "3000", 1000, strFirst));
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "3000", 1000, strAgain));
    EXPECT_EQ(strFirst, strAgain);
    simdjson::dom::parser parser;
    simdjson::dom::element page = parser.parse(strFirst);
    EXPECT_EQ("4000", Text(page["next_page_token"]));
    std::set<std::string> setKinds, setPaths;
    for (simdjson::dom::element object : page["object_list"]) {
        const std::string strOperation = Text(object["operation_type"]), strPath = Text(object["path"]);
        setKinds.insert(strOperation + " " + Text(object["object_type"]));
        setPaths.insert(strPath);
        EXPECT_EQ(0u, strPath.rfind(strOperation == "DELETE" ? "/.snapshot/bench_old/" : "/.snapshot/bench_new/", 0));
        EXPECT_EQ(strOperation == "RENAME", Text(object["old_path"]) != "");
    }
    EXPECT_EQ(1000u, setPaths.size());
    EXPECT_EQ(8u, setKinds.size());  // every operation on files and on folders
    EXPECT_GT(strFirst.size(), 300000u);
    EXPECT_LT(strFirst.size(), 420000u);
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "999500", 3000, strFirst));
    page = parser.parse(strFirst);
    EXPECT_TRUE(bool(page["is_last_page"]));
    EXPECT_EQ(500u, simdjson::dom::array(page["object_list"]).size());
}

TEST(DiffPage, JsonStringsAreEscapedAndAlwaysValidUtf8) {
    std::string strOut;
    afs_sim::AppendJsonString(strOut, std::string("q\"b\\n\n\x01 \xC3\xA9 \xFF\xC3", 13));
    EXPECT_EQ("\"q\\\"b\\\\n\\n\\u0001 \xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\"", strOut);
}

}  // namespace
}  // namespace afs_test
