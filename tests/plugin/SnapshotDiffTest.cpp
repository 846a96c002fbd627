// Loading a snapshot difference into the scan database: paging, retries in
// virtual time, path rewriting, attributes and the unsafe-path guard.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "restclient/NutanixException.h"
#include "restclient/Timestamp.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;

struct ReceivedItem {
    std::string strPath, strOldPath;
    int nChangeType;
    struct stat attributes;
    bool bIsDirectory;
};

class CRecordingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat& attributes, bool bIsDirectory) override {
        if (path == strRejectPath) {
            return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE, "database full");
        }
        listItems.push_back(ReceivedItem{path, oldPath, static_cast<int>(changeType), attributes, bIsDirectory});
        return CRhError::Success();
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> listPaths;
        for (const ReceivedItem& item : listItems) listPaths.push_back(item.strPath);
        return listPaths;
    }
    std::vector<ReceivedItem> listItems;
    std::string strRejectPath;
};

std::shared_ptr<model::Object_info> Object(const std::string& operation, const std::string& path,
                                           const std::string& oldPath = "", const std::string& type = "FILE") {
    auto ptrObject = std::make_shared<model::Object_info>();
    if (!operation.empty()) ptrObject->setOperationType(operation);
    ptrObject->setPath(path);
    if (!oldPath.empty()) ptrObject->setOldPath(oldPath);
    ptrObject->setObjectType(type);
    return ptrObject;
}

model::Mount_target_snapshot_diff_tracking_output Page(std::vector<std::shared_ptr<model::Object_info>> objects,
                                                       bool bLast, const std::string& token = "",
                                                       bool bRetry = false) {
    model::Mount_target_snapshot_diff_tracking_output page;
    page.setIsLastPage(bLast);
    page.setShouldRetryPage(bRetry);
    page.setNextPageToken(token);
    page.setObjectList(std::move(objects));
    return page;
}

model::Mount_target_snapshot_diff_tracking_output RetryPage() { return Page({}, false, "", true); }

class SnapshotDiffTest : public CPluginTestBase {
protected:
    SnapshotDiffTest() : helper("server", "user", "secret", 1234), ptrDB(new CRecordingDB) {
        info.strVolumeMountPath = "/mnt/share";
        info.strCurrentSnapPath = "/mnt/share/.snapshot/zkop__2_7_1234";
        info.strPreviousSnapPath = "/mnt/share/.snapshot/zkop__2_7_1233";
        info.strScanVolumePath = "/server/share";
        info.strCurrentSnapUUID = "cur";
        info.strPreviousSnapUUID = "prev";
        ptrBackend->fnCreateDiff = [](const std::string&, const std::string&) {
            auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
            ptrDiff->setUuidList({"d1"});
            return ptrDiff;
        };
    }
    // Serves `pages` in order, whatever is asked.
    void ServePages(std::deque<model::Mount_target_snapshot_diff_tracking_output> pages) {
        auto ptrPages = std::make_shared<decltype(pages)>(std::move(pages));
        ptrBackend->fnGetDiffPage = [ptrPages](const std::string&, const boost::optional<std::string>&) {
            if (ptrPages->empty()) throw std::logic_error("no more scripted pages");
            auto page = ptrPages->front();
            ptrPages->pop_front();
            return page;
        };
    }
    CRhError Load() {
        CNutanixDBHelperPtr ptrHelper = ptrDB;
        return helper.CompareSnapAndLoadItem(info, "pass", ptrHelper);
    }
    size_t PageRequests() const {
        size_t uCount = 0;
        for (const std::string& call : ptrBackend->listCalls) uCount += call.find("diff_page") != std::string::npos;
        return uCount;
    }

    CNutanixAFSManagerAPIHelper helper;
    NutanixAFSVolumeInfo info;
    boost::shared_ptr<CRecordingDB> ptrDB;
};

// --- path rewriting --------------------------------------------------------------

TEST_F(SnapshotDiffTest, ItemsAreHandedOverInScanFormWithTheirChangeTypes) {
    ServePages({Page({Object("ADD", "/.snapshot/zkop__2_7_1234/docs/a.txt"),
                      Object("DELETE", "/.snapshot/zkop__2_7_1233/old.txt"),
                      Object("MODIFY", "/.snapshot/zkop__2_7_1234/m.txt"),
                      Object("RENAME", "/.snapshot/zkop__2_7_1234/new.txt", "/.snapshot/zkop__2_7_1233/was.txt"),
                      Object("ADD", "/docs/a.txt"),
                      Object("ADD", "/.snapshot/zkop__2_7_1234/x/.snapshot/y", "", "DIRECTORY")},
                     true)});
    CRhError error = Load();
    ASSERT_FALSE(error.IsError()) << error.AsString();
    ASSERT_EQ(5u, ptrDB->listItems.size());
    EXPECT_THAT(ptrDB->Paths(), ElementsAre("/server/share/docs/a.txt", "/server/share/old.txt",
                                            "/server/share/m.txt", "/server/share/new.txt",
                                            "/server/share/x/.snapshot/y"));
    EXPECT_EQ(1, ptrDB->listItems[0].nChangeType);
    EXPECT_EQ(4, ptrDB->listItems[1].nChangeType);
    EXPECT_EQ(2, ptrDB->listItems[2].nChangeType);
    EXPECT_EQ(3, ptrDB->listItems[3].nChangeType);
    EXPECT_EQ("/server/share/was.txt", ptrDB->listItems[3].strOldPath);
    EXPECT_EQ("", ptrDB->listItems[0].strOldPath);
    EXPECT_TRUE(ptrDB->listItems[4].bIsDirectory);
    EXPECT_EQ(0x4000u, ptrDB->listItems[4].attributes.st_mode);
    EXPECT_EQ(1u, log->CountContaining("Ignoring path [/docs/a.txt] since .snapshot not found in it"));
    EXPECT_EQ(1u, log->CountContaining("No of Items from the SnapDiff : 5"));
    EXPECT_EQ(1u, log->CountContaining("Add Snap path path [/.snapshot/zkop__2_7_1234/docs/a.txt]"));
    const std::vector<std::string> listMessages = log->GetMessages();
    EXPECT_EQ(1, std::count(listMessages.begin(), listMessages.end(),
                            "Previous snap path [/mnt/share/.snapshot/zkop__2_7_1233]"));
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("create_mount_target_snapshot_incremental_diff prev cur",
                            "get_mount_target_snapshot_diff_page d1 unset 3000"));
}

TEST_F(SnapshotDiffTest, SnapshotTwiceIsCutAtTheFirst) {
    std::string path = "/x/.snapshot/zkop__2_7_1234/a/.snapshot/b";
    ASSERT_TRUE(RewriteSnapshotPath(info, path, true));
    EXPECT_EQ("/server/share/a/.snapshot/b", path);
}

TEST_F(SnapshotDiffTest, RenameWithoutOldPathIsSkipped) {
    ServePages({Page({Object("RENAME", "/.snapshot/zkop__2_7_1234/n.txt")}, true)});
    ASSERT_FALSE(Load().IsError());
    EXPECT_TRUE(ptrDB->listItems.empty());
    EXPECT_EQ(1u, log->CountContaining("Ignoring path [/.snapshot/zkop__2_7_1234/n.txt] since .snapshot not found"));
    EXPECT_EQ(1u, log->CountContaining("No of Items from the SnapDiff : 0"));
}

TEST_F(SnapshotDiffTest, UnknownOperationAndLowerCaseTypesAreOther) {
    ServePages({Page({Object("add", "/.snapshot/zkop__2_7_1234/a", "", "directory"),
                      Object("", "/.snapshot/zkop__2_7_1234/b")},
                     true)});
    ASSERT_FALSE(Load().IsError());
    ASSERT_EQ(2u, ptrDB->listItems.size());
    EXPECT_EQ(0, ptrDB->listItems[0].nChangeType);
    EXPECT_FALSE(ptrDB->listItems[0].bIsDirectory);
    EXPECT_EQ(0x8000u, ptrDB->listItems[0].attributes.st_mode);
    EXPECT_EQ(0, ptrDB->listItems[1].nChangeType);
}

TEST_F(SnapshotDiffTest, AttributesAndTimestampEdges) {
    auto ptrObject = Object("MODIFY", "/.snapshot/zkop__2_7_1234/f");
    utility::datetime time;
    ASSERT_TRUE(afs_rest::ParseIso8601Utc("1969-12-31T23:59:59Z", time));
    ptrObject->setAccessTimestamp(time);
    ASSERT_TRUE(afs_rest::ParseIso8601Utc("1970-01-01T00:00:00Z", time));
    ptrObject->setChangeTimestamp(time);
    ASSERT_TRUE(afs_rest::ParseIso8601Utc("2026-12-01T10:11:12.9Z", time));
    ptrObject->setModificationTimestamp(time);
    ptrObject->setSize(123456789012LL);
    ptrObject->setInodeNumber(4711);
    ServePages({Page({ptrObject, Object("ADD", "/.snapshot/zkop__2_7_1234/bare")}, true)});
    ASSERT_FALSE(Load().IsError());
    ASSERT_EQ(2u, ptrDB->listItems.size());
    const struct stat& attributes = ptrDB->listItems[0].attributes;
    EXPECT_EQ(static_cast<time_t>(-1), attributes.st_atim.tv_sec);  // all bits set
    EXPECT_EQ(0, attributes.st_ctim.tv_sec);
    EXPECT_EQ(1796119872, attributes.st_mtim.tv_sec);
    EXPECT_EQ(0, attributes.st_mtim.tv_nsec);
    EXPECT_EQ(123456789012LL, attributes.st_size);
    EXPECT_EQ(4711u, attributes.st_ino);
    EXPECT_EQ(0u, attributes.st_nlink);
    const struct stat& bare = ptrDB->listItems[1].attributes;
    EXPECT_EQ(0, bare.st_atim.tv_sec);
    EXPECT_EQ(0, bare.st_size);
    EXPECT_EQ(0u, bare.st_ino);
    EXPECT_EQ(1u, log->CountContaining("ullATime [18446744073709551615], ullCrTime [0], ullCTime [0], ullMTime "
                                       "[1796119872], ullSize [123456789012], ullInodeNumber [4711]"));
}

// --- paging and retries ----------------------------------------------------------

TEST_F(SnapshotDiffTest, TokenIsCarriedAndRetriesCountAcrossPages) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 2\n");
    ServePages({RetryPage(), Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1")}, false, "t1"), RetryPage(),
                Page({Object("ADD", "/.snapshot/zkop__2_7_1234/2")}, true, "t2")});
    CRhError error = Load();
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(2u, ptrDB->listItems.size());
    EXPECT_THAT(listSleeps, ElementsAre(6000u, 6000u));
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("create_mount_target_snapshot_incremental_diff prev cur",
                            "get_mount_target_snapshot_diff_page d1 unset 3000",
                            "get_mount_target_snapshot_diff_page d1 unset 3000",
                            "get_mount_target_snapshot_diff_page d1 [t1] 3000",
                            "get_mount_target_snapshot_diff_page d1 [t1] 3000"));
}

TEST_F(SnapshotDiffTest, PageStillNotReadyAfterTheLastRetryEndsTheComparison) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 2\nNutanixRetrySleep = 2\n");
    ServePages({Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1")}, false, "t1"), RetryPage(), RetryPage(),
                RetryPage()});
    CRhError error = Load();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Maximum retry reached", error.GetMessage());
    EXPECT_EQ(1u, ptrDB->listItems.size());  // the first page stays handed over
    EXPECT_THAT(listSleeps, ElementsAre(2000u, 2000u));
    EXPECT_EQ(1u, log->CountContaining("Registry key NutanixRetrySleep present with value : 2"));
    EXPECT_EQ(0u, log->CountContaining("No of Items"));
}

TEST_F(SnapshotDiffTest, RegressionPageReadyOnTheLastPermittedRetryIsProcessed) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 1\nNutanixRetrySleep = 0\n");
    ServePages({RetryPage(), Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1")}, true)});
    CRhError error = Load();
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(1u, ptrDB->listItems.size());
    EXPECT_THAT(listSleeps, ElementsAre(6000u));
    EXPECT_EQ(0u, log->CountContaining("NutanixRetrySleep"));
}

TEST_F(SnapshotDiffTest, RegressionZeroRetriesMeansNoReRequestNotFailure) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 0\n");
    ServePages({Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1")}, true)});
    ASSERT_FALSE(Load().IsError());
    EXPECT_EQ(1u, ptrDB->listItems.size());

    ServePages({RetryPage()});
    CRhError error = Load();
    EXPECT_EQ("Maximum retry reached", error.GetMessage());
    EXPECT_EQ(1u, PageRequests() - 1);
}

TEST_F(SnapshotDiffTest, DefaultsAllowThreeHundredReRequestsSixSecondsApart) {
    std::deque<model::Mount_target_snapshot_diff_tracking_output> pages(301, RetryPage());
    ServePages(pages);
    EXPECT_EQ("Maximum retry reached", Load().GetMessage());
    EXPECT_EQ(300u, listSleeps.size());
    EXPECT_EQ(6000u, listSleeps.back());
    EXPECT_EQ(301u, PageRequests());
}

TEST_F(SnapshotDiffTest, SeveralDifferenceUUIDsRestartTokenAndRetryCount) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 1\n");
    ptrBackend->fnCreateDiff = [](const std::string&, const std::string&) {
        auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
        ptrDiff->setUuidList({"d1", "d2"});
        return ptrDiff;
    };
    ServePages({RetryPage(), Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1")}, true, "t"), RetryPage(),
                Page({Object("ADD", "/.snapshot/zkop__2_7_1234/2")}, true)});
    ASSERT_FALSE(Load().IsError());
    EXPECT_EQ(2u, ptrDB->listItems.size());
    EXPECT_EQ("get_mount_target_snapshot_diff_page d2 unset 3000", ptrBackend->listCalls[3]);
}

// --- failures --------------------------------------------------------------------

TEST_F(SnapshotDiffTest, RejectedItemStopsEverything) {
    ptrDB->strRejectPath = "/server/share/2";
    ServePages({Page({Object("ADD", "/.snapshot/zkop__2_7_1234/1"), Object("ADD", "/.snapshot/zkop__2_7_1234/2"),
                      Object("ADD", "/.snapshot/zkop__2_7_1234/3")},
                     false, "t")});
    CRhError error = Load();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("database full", error.GetMessage());
    EXPECT_EQ(2u, error.GetEntries().size());  // the database, then the comparison once
    EXPECT_EQ(1u, ptrDB->listItems.size());
    EXPECT_EQ(1u, PageRequests());
}

TEST_F(SnapshotDiffTest, EmptyUUIDListSucceedsWithNoItems) {
    ptrBackend->fnCreateDiff = [](const std::string&, const std::string&) {
        auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
        ptrDiff->setUuidList({});
        return ptrDiff;
    };
    ASSERT_FALSE(Load().IsError());
    EXPECT_EQ(1u, log->CountContaining("No of Items from the SnapDiff : 0"));
}

TEST_F(SnapshotDiffTest, MissingUUIDListOrOutputIsAnError) {
    ptrBackend->fnCreateDiff = [](const std::string&, const std::string&) {
        return std::make_shared<model::Mount_target_snapshot_diff_output>();
    };
    EXPECT_EQ("no snap uuid set", Load().GetMessage());
    ptrBackend->fnCreateDiff = [](const std::string&, const std::string&) {
        return std::shared_ptr<model::Mount_target_snapshot_diff_output>();
    };
    EXPECT_EQ("no snap uuid set", Load().GetMessage());
    EXPECT_EQ(0u, PageRequests());
}

TEST_F(SnapshotDiffTest, RegressionUnsafePathsAreNeverHandedOver) {
    ServePages({Page({Object("ADD", "/.snapshot/zkop__2_7_1234/ok"),
                      Object("ADD", "/.snapshot/zkop__2_7_1234/../../etc/passwd"),
                      Object("ADD", "/.snapshot/zkop__2_7_1234/after")},
                     true)});
    CRhError error = Load();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Unsafe path [/server/share/../../etc/passwd] in snapshot difference", error.GetMessage());
    EXPECT_THAT(ptrDB->Paths(), ElementsAre("/server/share/ok"));

    ptrDB->listItems.clear();
    ServePages({Page({Object("RENAME", "/.snapshot/zkop__2_7_1234/n", "/.snapshot/zkop__2_7_1233/a/..")}, true)});
    EXPECT_EQ("Unsafe path [/server/share/a/..] in snapshot difference", Load().GetMessage());
    ServePages({Page({Object("ADD", std::string("/.snapshot/zkop__2_7_1234/a\0b", 30))}, true)});
    EXPECT_TRUE(Load().IsError());
    EXPECT_TRUE(ptrDB->listItems.empty());
}

TEST_F(SnapshotDiffTest, RestExceptionsPassThrough) {
    ptrBackend->fnCreateDiff = [](const std::string&, const std::string&)
        -> std::shared_ptr<model::Mount_target_snapshot_diff_output> { throw NutanixException("HTTP 404"); };
    EXPECT_THROW(Load(), NutanixException);
}

TEST_F(SnapshotDiffTest, EachComparisonBuildsItsOwnClient) {
    ServePages({Page({}, true), Page({}, true)});
    const size_t uBefore = scopedBackend.GetConfigs().size();
    ASSERT_FALSE(Load().IsError());
    ASSERT_FALSE(Load().IsError());
    ASSERT_EQ(uBefore + 2, scopedBackend.GetConfigs().size());
    EXPECT_EQ("1234", scopedBackend.GetConfigs().back().strJobId);
    EXPECT_EQ("secret", scopedBackend.GetConfigs().back().strPassword);
}

struct StuckPagingCase {
    const char* szName;
    std::vector<std::string> listTokens;  // next token of each non-last page served
    const char* szStuckToken;
};

TEST_F(SnapshotDiffTest, RegressionPageTokenThatDoesNotAdvanceEndsTheComparison) {
    const StuckPagingCase cases[] = {
        {"empty on the first page", {""}, ""},
        {"repeated", {"t1", "t1"}, "t1"},
        {"empty after the first page", {"t1", ""}, ""},
    };
    for (const StuckPagingCase& test : cases) {
        SCOPED_TRACE(test.szName);
        ptrDB->listItems.clear();
        ptrBackend->listCalls.clear();
        std::deque<model::Mount_target_snapshot_diff_tracking_output> pages;
        for (size_t i = 0; i < test.listTokens.size(); ++i) {
            pages.push_back(Page({Object("ADD", "/.snapshot/zkop__2_7_1234/" + std::to_string(i))}, false,
                                 test.listTokens[i]));
        }
        ServePages(pages);
        CRhError error = Load();
        EXPECT_EQ(1627u, error.GetCode());
        EXPECT_EQ(std::string("get_mount_target_snapshot_diff paging stopped: the page token did not advance [") +
                      test.szStuckToken + "]",
                  error.GetMessage());
        EXPECT_EQ(test.listTokens.size(), ptrDB->listItems.size());  // each page's items handed over once
        EXPECT_EQ(test.listTokens.size(), PageRequests());
    }
}

TEST_F(SnapshotDiffTest, RegressionNullScanDatabaseAndNullObjectsAreNoCrash) {
    CNutanixDBHelperPtr ptrNone;
    EXPECT_EQ("No scan database to load the snapshot difference into",
              helper.CompareSnapAndLoadItem(info, "pass", ptrNone).GetMessage());
    EXPECT_EQ(0u, PageRequests());
    ServePages({Page({nullptr, Object("ADD", "/.snapshot/zkop__2_7_1234/a")}, true)});
    ASSERT_FALSE(Load().IsError());
    EXPECT_THAT(ptrDB->Paths(), ElementsAre("/server/share/a"));
}

TEST_F(SnapshotDiffTest, RegressionRetrySleepBeyondThirtyTwoBitsOfMillisecondsIsClamped) {
    settings.Rewrite("[FileSystemAgent]\nMaxScanRetries = 1\nNutanixRetrySleep = 5000000\n");
    ServePages({RetryPage(), Page({}, true)});
    ASSERT_FALSE(Load().IsError());
    EXPECT_THAT(listSleeps, ElementsAre(4294967000u));
}

struct SnapshotPathCase {
    const char* szPath;
    const char* szExpected;  // null: skipped as outside any snapshot
};

TEST_F(SnapshotDiffTest, RegressionSnapshotRuleWorksOnWholeComponents) {
    const SnapshotPathCase cases[] = {
        {"/docs/my.snapshot.txt", nullptr},
        {"/docs/.snapshots/a", nullptr},
        {"/.snapshot/s1/docs/my.snapshot.txt", "/mnt/share/.snapshot/s1/docs/my.snapshot.txt"},
        {"/.snapshot/zkop__2_7_12345/a", "/mnt/share/.snapshot/zkop__2_7_12345/a"},
        {"/.snapshot/zkop__2_7_1233x/a", "/mnt/share/.snapshot/zkop__2_7_1233x/a"},
        {"/.snapshot/zkop__2_7_1234", "/server/share"},
        {"/my.snapshot/.snapshot/ZKOP__2_7_1233/a", "/server/share/a"},
    };
    for (const SnapshotPathCase& test : cases) {
        SCOPED_TRACE(test.szPath);
        std::string path = test.szPath;
        EXPECT_EQ(test.szExpected != nullptr, RewriteSnapshotPath(info, path, true));
        if (test.szExpected != nullptr) {
            EXPECT_EQ(test.szExpected, path);
        }
    }
}

TEST(UnsafePathTest, RecognisesParentComponentsAndNulOnly) {
    EXPECT_TRUE(IsUnsafeItemPath(".."));
    EXPECT_TRUE(IsUnsafeItemPath("/a/../b"));
    EXPECT_TRUE(IsUnsafeItemPath("/a/.."));
    EXPECT_TRUE(IsUnsafeItemPath(std::string("/a\0", 3)));
    EXPECT_FALSE(IsUnsafeItemPath("/a/..b/c.."));
    EXPECT_FALSE(IsUnsafeItemPath("/a/./b"));
    EXPECT_FALSE(IsUnsafeItemPath(""));
}

}  // namespace
}  // namespace afs_test
