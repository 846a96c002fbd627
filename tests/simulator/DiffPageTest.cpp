#include "tools/afs-sim/DiffStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <simdjson.h>

#include <map>
#include <set>

#include "tools/afs-sim/JsonText.h"

namespace afs_test {
namespace {

using afs_sim::DiffObject;
using afs_sim::DiffSource;
using afs_sim::EObjectType;
using afs_sim::EOperation;

std::string Text(simdjson::dom::element element, const char* szKey) {
    return std::string(std::string_view(element[szKey]));
}

DiffObject Object(EOperation eOperation, const std::string& strPath, const std::string& strOldPath = "") {
    DiffObject object;
    object.eOperation = eOperation;
    object.entry.strPath = strPath;
    object.entry.uInode = 4711;
    object.entry.llSize = 1024;
    object.entry.llModifyNs = 1796119872000000000LL;         // 2026-12-01T10:11:12Z
    object.entry.llAccessNs = 1796119872000000000LL + 1234500;  // plus 1.2345 ms
    object.strOldPath = strOldPath;
    return object;
}

DiffSource Source(std::vector<DiffObject> listObjects) {
    DiffSource source;
    source.uEnd = listObjects.size();
    source.ptrObjects = std::make_shared<const std::vector<DiffObject>>(std::move(listObjects));
    source.strNewerName = "snap_new";
    source.strOlderName = "snap_old";
    return source;
}

TEST(DiffPageTest, PagesCarryTokensUntilTheLastPage) {
    DiffSource source = Source({Object(EOperation::eAdd, "a"), Object(EOperation::eAdd, "b"), Object(EOperation::eAdd, "c"),
                                Object(EOperation::eAdd, "d"), Object(EOperation::eAdd, "e")});
    std::string strToken;
    std::vector<std::string> listPaths;
    std::vector<size_t> listSizes;
    simdjson::dom::parser parser;
    for (int nPage = 0; nPage < 10; ++nPage) {
        std::string strBody;
        ASSERT_EQ("", afs_sim::WriteDiffPage(source, strToken, 2, strBody));
        simdjson::dom::element page = parser.parse(strBody);
        simdjson::dom::array objects = page["object_list"];
        listSizes.push_back(objects.size());
        for (simdjson::dom::element object : objects) listPaths.emplace_back(std::string_view(object["path"]));
        EXPECT_FALSE(bool(page["should_retry_page"]));
        if (bool(page["is_last_page"])) break;
        strToken = std::string(std::string_view(page["next_page_token"]));
    }
    EXPECT_THAT(listSizes, ::testing::ElementsAre(2, 2, 1));
    EXPECT_THAT(listPaths, ::testing::ElementsAre("/.snapshot/snap_new/a", "/.snapshot/snap_new/b", "/.snapshot/snap_new/c",
                                                  "/.snapshot/snap_new/d", "/.snapshot/snap_new/e"));
}

TEST(DiffPageTest, ObjectsNameTheRightSnapshotAndCarryAllMembers) {
    DiffSource source = Source({Object(EOperation::eDelete, "gone.txt"), Object(EOperation::eRename, "to/new.txt", "from/old.txt"),
                                Object(EOperation::eModify, "dir")});
    std::string strBody;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "", 100, strBody));
    EXPECT_EQ(
        "{\"is_last_page\":true,\"should_retry_page\":false,\"next_page_token\":\"\",\"object_list\":["
        "{\"path\":\"/.snapshot/snap_old/gone.txt\",\"old_path\":\"\",\"object_type\":\"FILE\",\"operation_type\":\"DELETE\","
        "\"size\":1024,\"inode_number\":4711,\"access_timestamp\":\"2026-12-01T10:11:12.0012345Z\","
        "\"change_timestamp\":\"1970-01-01T00:00:00Z\",\"creation_timestamp\":\"1970-01-01T00:00:00Z\","
        "\"modification_timestamp\":\"2026-12-01T10:11:12Z\"},",
        strBody.substr(0, strBody.find("},") + 2));
    simdjson::dom::parser parser;
    simdjson::dom::array objects = parser.parse(strBody)["object_list"];
    std::vector<std::string> listSeen;
    for (simdjson::dom::element object : objects) {
        listSeen.push_back(std::string(std::string_view(object["operation_type"])) + " " +
                           std::string(std::string_view(object["path"])) + " " +
                           std::string(std::string_view(object["old_path"])));
    }
    EXPECT_THAT(listSeen, ::testing::ElementsAre("DELETE /.snapshot/snap_old/gone.txt ",
                                                 "RENAME /.snapshot/snap_new/to/new.txt /.snapshot/snap_old/from/old.txt",
                                                 "MODIFY /.snapshot/snap_new/dir "));
}

TEST(DiffPageTest, ForeignTokensAreRefused) {
    DiffSource source = Source({Object(EOperation::eAdd, "a")});
    std::string strBody;
    EXPECT_THAT(afs_sim::WriteDiffPage(source, "7", 10, strBody), ::testing::HasSubstr("page token not valid"));
    EXPECT_THAT(afs_sim::WriteDiffPage(source, "1x", 10, strBody), ::testing::HasSubstr("page token not valid"));
    EXPECT_THAT(afs_sim::WriteDiffPage(source, "-1", 10, strBody), ::testing::HasSubstr("page token not valid"));
}

TEST(DiffPageTest, StoreSpreadsObjectsOverUuidsOfBoundedSize) {
    afs_sim::CDiffStore store;
    auto listUuids = store.Add(nullptr, 2500, "n", "o", 1000);
    ASSERT_EQ(3u, listUuids.size());
    std::vector<std::pair<uint64_t, uint64_t>> listRanges;
    for (const std::string& strUuid : listUuids) {
        DiffSource source;
        ASSERT_TRUE(store.Find(strUuid, source));
        listRanges.emplace_back(source.uBegin, source.uEnd);
    }
    EXPECT_THAT(listRanges, ::testing::ElementsAre(std::pair<uint64_t, uint64_t>{0, 1000},
                                                   std::pair<uint64_t, uint64_t>{1000, 2000},
                                                   std::pair<uint64_t, uint64_t>{2000, 2500}));
    // An empty difference still has one UUID, whose only page is the last one.
    EXPECT_EQ(1u, store.Add(nullptr, 0, "n", "o", 1000).size());
    DiffSource missing;
    EXPECT_FALSE(store.Find("no-such-uuid", missing));
}

TEST(DiffPageTest, SyntheticPagesAreDeterministicMixedAndLikeRealOnes) {
    DiffSource source;
    source.strNewerName = "bench_new";
    source.strOlderName = "bench_old";
    source.uBegin = 5000;
    source.uEnd = 1005000;
    std::string strFirst;
    std::string strAgain;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "3000", 1000, strFirst));
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "3000", 1000, strAgain));
    EXPECT_EQ(strFirst, strAgain);

    simdjson::dom::parser parser;
    simdjson::dom::element page = parser.parse(strFirst);
    EXPECT_EQ("4000", std::string_view(page["next_page_token"]));
    simdjson::dom::array objects = page["object_list"];
    ASSERT_EQ(1000u, objects.size());
    std::map<std::string, int> mapOperations;
    std::set<std::string> setTypes;
    std::set<std::string> setPaths;
    for (simdjson::dom::element object : objects) {
        std::string strOperation = Text(object, "operation_type");
        std::string strPath = Text(object, "path");
        ++mapOperations[strOperation];
        setTypes.emplace(std::string_view(object["object_type"]));
        setPaths.insert(strPath);
        const char* szPrefix = strOperation == "DELETE" ? "/.snapshot/bench_old/" : "/.snapshot/bench_new/";
        EXPECT_EQ(0u, strPath.rfind(szPrefix, 0)) << strPath;
        EXPECT_EQ(strOperation == "RENAME", !std::string_view(object["old_path"]).empty());
        EXPECT_GE(int64_t(object["size"]), 0);
        EXPECT_EQ('Z', std::string_view(object["modification_timestamp"]).back());
    }
    EXPECT_EQ(1000u, setPaths.size());
    EXPECT_EQ(4u, mapOperations.size());
    EXPECT_EQ(2u, setTypes.size());
    double dBytesPerObject = static_cast<double>(strFirst.size()) / 1000.0;
    EXPECT_GT(dBytesPerObject, 300.0);
    EXPECT_LT(dBytesPerObject, 420.0);

    std::string strLast;
    ASSERT_EQ("", afs_sim::WriteDiffPage(source, "999500", 3000, strLast));
    page = parser.parse(strLast);
    EXPECT_TRUE(bool(page["is_last_page"]));
    EXPECT_EQ(500u, simdjson::dom::array(page["object_list"]).size());
}

TEST(DiffPageTest, RetryPageHasNoObjectsAndTheSameToken) {
    simdjson::dom::parser parser;
    simdjson::dom::element page = parser.parse(afs_sim::RetryPageBody("3000"));
    EXPECT_TRUE(bool(page["should_retry_page"]));
    EXPECT_FALSE(bool(page["is_last_page"]));
    EXPECT_EQ("3000", std::string_view(page["next_page_token"]));
    EXPECT_EQ(0u, simdjson::dom::array(page["object_list"]).size());
}

TEST(JsonTextTest, StringsAreEscapedAndAlwaysValidUtf8) {
    std::string strOut;
    afs_sim::AppendJsonString(strOut, std::string("q\"b\\n\n\x01 \xC3\xA9 \xFF\xC3", 13));
    EXPECT_EQ("\"q\\\"b\\\\n\\n\\u0001 \xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\"", strOut);
    simdjson::dom::parser parser;
    EXPECT_EQ(simdjson::SUCCESS, parser.parse(strOut).error());
}

}  // namespace
}  // namespace afs_test
