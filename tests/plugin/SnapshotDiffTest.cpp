// Loading a snapshot difference into the scan database: which share a scan
// path resolves to, path rewriting, attributes, paging and retries in virtual
// time, and the unsafe-path guard.
#include <gmock/gmock.h>

#include <boost/make_shared.hpp>
#include <deque>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "restclient/Timestamp.h"
#include "tests/support/PluginTestBase.h"
#include "tests/support/RecordingDB.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;

// The folders of the job's two snapshots as the server names them.
const std::string kNew = "/.snapshot/zkop__2_7_1234/", kOld = "/.snapshot/zkop__2_7_1233/";

// An empty `oldPath` is not set.
std::shared_ptr<model::Object_info> Object(const std::string& operation, const std::string& path,
                                           const std::string& oldPath = "",
                                           const std::string& type = "FILE") {
    auto ptrObject = std::make_shared<model::Object_info>();
    if (!operation.empty()) ptrObject->setOperationType(operation);
    ptrObject->setPath(path);
    if (!oldPath.empty()) ptrObject->setOldPath(oldPath);
    ptrObject->setObjectType(type);
    return ptrObject;
}

// "retry": not ready yet; "last": the last page; "-TOKEN": a page without
// items; any other text: a page with that next-page token.
DiffPage Page(const std::string& kind, std::vector<std::shared_ptr<model::Object_info>> objects = {}) {
    DiffPage page;
    page.setIsLastPage(kind == "last");
    page.setShouldRetryPage(kind == "retry");
    page.setNextPageToken(kind == "last" || kind == "retry" ? "" : kind.substr(kind[0] == '-'));
    if (kind != "retry" && kind[0] != '-' && objects.empty())
        objects.push_back(Object("ADD", kNew + "page" + kind));
    page.setObjectList(std::move(objects));
    return page;
}

class SnapshotDiffTest : public CPluginTestBase {
protected:
    SnapshotDiffTest() {
        info.strVolumeMountPath = "/mnt/share";
        info.strCurrentSnapPath = "/mnt/share/.snapshot/zkop__2_7_1234";
        info.strPreviousSnapPath = "/mnt/share/.snapshot/zkop__2_7_1233";
        info.strScanVolumePath = "/server/share";
        info.strCurrentSnapUUID = "cur";
        info.strPreviousSnapUUID = "prev";
        DiffUuids({"d1"});
    }
    void DiffUuids(std::vector<std::string> listUuids) {
        ptrBackend->fnCreateDiff = [listUuids]() {
            auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
            ptrDiff->setUuidList(listUuids);
            return ptrDiff;
        };
    }
    // Serves `pages` in order, whatever is asked.
    void ServePages(std::deque<DiffPage> pages) {
        auto ptrPages = std::make_shared<std::deque<DiffPage>>(std::move(pages));
        ptrBackend->fnGetDiffPage = [ptrPages](Str) {
            if (ptrPages->empty()) throw std::logic_error("no more scripted pages");
            DiffPage page = ptrPages->front();
            ptrPages->pop_front();
            return page;
        };
    }
    CRhError Load() {
        CNutanixDBHelperPtr ptrHelper = ptrDB;
        return helper.CompareSnapAndLoadItem(info, "pass", ptrHelper);
    }
    // The page requests' tokens and diff UUIDs, e.g. "d1[unset] d1[t1]".
    std::string PageRequests() const {
        std::string requests;
        for (const std::string& call : ptrBackend->listCalls) {
            if (call.rfind("get_mount_target_snapshot_diff_page ", 0) != 0) continue;
            std::string request = call.substr(36, call.size() - 41);
            requests += (requests.empty() ? "" : " ") + request.erase(request.find(' '), 1);
        }
        return requests;
    }

    CNutanixAFSManagerAPIHelper helper{"server", "user", "secret", 1234};
    NutanixAFSVolumeInfo info;
    boost::shared_ptr<CRecordingDB> ptrDB{new CRecordingDB};
};

TEST_F(SnapshotDiffTest, ItemsAreHandedOverInScanFormWithTheirChangeTypes) {
    // Paths no file system here can hold are skipped and counted: a server's
    // text that names no characters, an 86-character CJK name (258 bytes),
    // a path over 4096 bytes, and one of 4 MiB, which must not fill the log.
    auto ptrUnreadable = Object("ADD", kNew + "a\\ud800b");
    ptrUnreadable->setUnreadablePath(true);
    std::string strCjk = kNew, strDeep = kOld + "d";
    for (int i = 0; i < 86; ++i) strCjk += "\xe4\xb8\xad";
    for (int i = 0; i < 17; ++i) strDeep += "/" + std::string(250, 'n');
    // A time before 1970 is none (all bits set); fractions of a second are dropped.
    auto ptrModified = Object("MODIFY", kNew + "m.txt");
    utility::datetime times[4];
    // clang-format off
    const char* texts[] = {"1969-12-31T23:59:59Z", "1970-01-01T00:00:00Z", "2026-12-01T10:11:12.9Z",
                           "1970-01-01T00:00:01Z"};
    // clang-format on
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(afs_rest::ParseIso8601Utc(texts[i], times[i]));
    ptrModified->setAccessTimestamp(times[0]);
    ptrModified->setChangeTimestamp(times[1]);
    ptrModified->setModificationTimestamp(times[2]);
    ptrModified->setCreationTimestamp(times[3]);
    ptrModified->setSize(123456789012LL);
    ptrModified->setInodeNumber(4711);
    ServePages(
        {Page("last", {nullptr, Object("ADD", kNew + "docs/a.txt"), Object("DELETE", kOld + "old.txt"),
                       ptrModified, Object("RENAME", kNew + "new.txt", kOld + "was.txt"),
                       // Trailing "/" of a directory are dropped.
                       Object("ADD", kNew + "docs//", "", "DIRECTORY"), ptrUnreadable, Object("ADD", strCjk),
                       Object("RENAME", kNew + "r", strDeep), Object("ADD", kNew + std::string(4 << 20, 'x')),
                       Object("RENAME", kNew + "lost.txt"), Object("ADD", "/docs/a.txt"),
                       Object("ADD", kNew + "x/.snapshot/y", "", "DIRECTORY"),
                       Object("add", kNew + "lower", "", "directory"),
                       Object("", "/mnt/share/.snapshot/zkop__2_7_1234/none")})});
    CScopedLogCapture atThree(3);  // the level at which a host sees a rename's old path
    CRhError error = Load();
    ASSERT_FALSE(error.IsError()) << error.AsString();
    ASSERT_THAT(
        ptrDB->listItems,
        ElementsAre("1 /server/share/docs/a.txt  f32768", "4 /server/share/old.txt  f32768",
                    "2 /server/share/m.txt  f32768", "3 /server/share/new.txt /server/share/was.txt f32768",
                    "1 /server/share/docs  d16384", "1 /server/share/x/.snapshot/y  d16384",
                    "0 /server/share/lower  f32768", "0 /server/share/none  f32768"));
    // clang-format off
    const char* logLines[] = {
        "No of Items from the SnapDiff : 8",
        "2 items of the snapshot difference were skipped: outside the compared snapshots",
        "4 items of the snapshot difference were skipped: their paths cannot be file names here",
        "Skipping item [/.snapshot/zkop__2_7_1234/a\\ud800b] of the snapshot difference: its path "
        "cannot be a file name here (the server's text names no characters)",
        "(a name in it is longer than 255 bytes)", "(it is longer than 4096 bytes)",
        "x...(4194330 bytes)] of the snapshot difference: its path cannot be a file name here "
        "(the server sent more"};
    // clang-format on
    for (const char* line : logLines) EXPECT_EQ(1u, atThree->CountContaining(line, 0)) << line;
    std::string seen;  // of the modified item, and of the added one that came without attributes
    for (const struct stat& s : {ptrDB->listAttributes[2], ptrDB->listAttributes[0]}) {
        for (long long value :
             {(long long)s.st_atim.tv_sec, (long long)s.st_ctim.tv_sec, (long long)s.st_mtim.tv_sec,
              (long long)s.st_mtim.tv_nsec, (long long)s.st_size, (long long)s.st_ino, (long long)s.st_nlink})
            seen += std::to_string(value) + " ";
        seen += "| ";
    }
    EXPECT_EQ("-1 0 1796119872 0 123456789012 4711 0 | 0 0 0 0 0 0 0 | ", seen);
    size_t uLogBytes = 0;
    for (const std::string& message : atThree->GetMessages()) uLogBytes += message.size();
    EXPECT_LT(uLogBytes, 8192u);
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("create_mount_target_snapshot_incremental_diff prev cur unset unset",
                            "get_mount_target_snapshot_diff_page d1 [unset] 3000"));
    // ".snapshot" and the snapshot names count as whole components only.
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"/docs/my.snapshot.txt", nullptr}, {"/docs/.snapshots/a", nullptr},
        {"/.snapshot/s1/docs/my.snapshot.txt", "/mnt/share/.snapshot/s1/docs/my.snapshot.txt"},
        {"/.snapshot/zkop__2_7_12345/a", "/mnt/share/.snapshot/zkop__2_7_12345/a"},
        {"/.snapshot/zkop__2_7_1233x/a", "/mnt/share/.snapshot/zkop__2_7_1233x/a"},
        {"/.snapshot/zkop__2_7_1234", "/server/share"}, {"/my.snapshot/.snapshot/ZKOP__2_7_1233/a",
         "/server/share/a"},
        {"/x/.snapshot/zkop__2_7_1234/a/.snapshot/b", "/server/share/a/.snapshot/b"}};
    // clang-format on
    for (const auto& test : cases) {
        std::string path = test.first;
        EXPECT_EQ(test.second != nullptr, RewriteSnapshotPath(info, path, true)) << test.first;
        EXPECT_EQ(test.second ? test.second : test.first, path);
    }
}

// Settings absent, 0, 2 and huge; the retry count is per page: it restarts
// when a page arrives ready.
TEST_F(SnapshotDiffTest, PagesAreFollowedByTokenAndRetriedWithinTheLimits) {
    const std::string kStuck =
        "get_mount_target_snapshot_diff paging stopped: the page token did not advance [";
    struct Case {
        const char* ini;
        std::vector<std::string> listUuids, listPages;
        std::vector<unsigned> listSleeps;
        std::string requests, error;
        size_t uItems;
    };
    // clang-format off
    const Case cases[] = {
        {"MaxScanRetries = 2", {"d1"}, {"retry", "retry", "t1", "retry", "retry", "retry"}, {6000, 6000, 6000,
         6000},
         "d1[unset] d1[unset] d1[unset] d1[t1] d1[t1] d1[t1]", "Maximum retry reached", 1},
        // Pages without items that are not the last: a run longer than the ceiling ends the comparison.
        {"MaxEmptyDiffPages = 2", {"d1"}, {"-e1", "-e2", "t3", "-e4", "-e5", "last"}, {},
         "d1[unset] d1[e1] d1[e2] d1[t3] d1[e4] d1[e5]", "", 2},
        {"MaxEmptyDiffPages = 2", {"d1"}, {"-e1", "-e2", "-e3", "last"}, {}, "d1[unset] d1[e1] d1[e2]",
         "get_mount_target_snapshot_diff paging stopped: 3 pages in a row held no items and were "
         "not the last ([FileSystemAgent] MaxEmptyDiffPages)", 0},
        {"MaxScanRetries = 0", {"d1"}, {"retry"}, {}, "d1[unset]", "Maximum retry reached", 0},
        {"NutanixRetrySleep = 99999999999\nMaxScanRetries = 1", {"d1"}, {"retry", "last"}, {4294967000u},
         "d1[unset] d1[unset]", "", 1},
        // A page that is not the last must lead elsewhere.
        {"", {"d1"}, {""}, {}, "d1[unset]", kStuck + "]", 1},
        {"", {"d1"}, {"t1", "t1", "last"}, {}, "d1[unset] d1[t1]", kStuck + "t1]", 2},
        // Ready on the last permitted re-request: processed; a sleep of 0 is the default.
        {"MaxScanRetries = 1\nNutanixRetrySleep = 0", {"d1", "d2"}, {"retry", "t", "last", "retry", "last"},
         {6000, 6000}, "d1[unset] d1[unset] d1[t] d2[unset] d2[unset]", "", 3},
        {"", {}, {}, {}, "", "", 0},
    };
    // clang-format on
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.ini) + " " + test.requests);
        settings.Rewrite(std::string("[FileSystemAgent]\n") + test.ini + "\n");
        ptrBackend->listCalls.clear();
        ptrDB->listItems.clear();
        listSleeps.clear();
        DiffUuids(test.listUuids);
        std::deque<DiffPage> pages;
        for (const std::string& kind : test.listPages) pages.push_back(Page(kind));
        ServePages(pages);
        CRhError error = Load();
        EXPECT_EQ(test.error, error.GetMessage());
        EXPECT_EQ(test.listSleeps, listSleeps);
        EXPECT_EQ(test.requests, PageRequests());
        EXPECT_EQ(test.uItems, ptrDB->listItems.size());
    }
    settings.Rewrite("[FileSystemAgent]\nNutanixRetrySleep = 2\n");
    DiffUuids({"d1"});
    ServePages(std::deque<DiffPage>(301, Page("retry")));
    listSleeps.clear();
    EXPECT_EQ("Maximum retry reached", Load().GetMessage());
    EXPECT_EQ(std::vector<unsigned>(300, 2000), listSleeps);
    std::deque<DiffPage> listEmpty;
    for (int i = 0; i < 10001; ++i) listEmpty.push_back(Page("-e" + std::to_string(i)));
    ServePages(listEmpty);
    EXPECT_THAT(Load().GetMessage(), ::testing::HasSubstr("stopped: 10001 pages in a row held no items"));
}

TEST_F(SnapshotDiffTest, FailuresEndTheComparison) {
    g_ptrLogWriter.reset();  // a host may install no writer at all; the fixture's capture puts its own back
    ptrDB->strRejectPath = "/server/share/2";
    ServePages({Page("t", {Object("RENAME", kNew + "1", kOld + "0"), Object("ADD", kNew + "2"),
                           Object("ADD", kNew + "3")})});
    CRhError error = Load();
    EXPECT_EQ("database full", error.GetMessage());
    EXPECT_EQ(2u, error.GetEntries().size());  // the database, then the loader once
    EXPECT_EQ(1u, ptrDB->listItems.size());

    ptrBackend->fnCreateDiff = []() { return std::make_shared<model::Mount_target_snapshot_diff_output>(); };
    EXPECT_EQ("no snap uuid set", Load().GetMessage());
    ptrBackend->fnCreateDiff = []() { return std::shared_ptr<model::Mount_target_snapshot_diff_output>(); };
    EXPECT_EQ("no snap uuid set", Load().GetMessage());
    EXPECT_EQ("d1[unset]", PageRequests());
    CNutanixDBHelperPtr ptrNoDB;
    EXPECT_EQ("No scan database to load the snapshot difference into",
              helper.CompareSnapAndLoadItem(info, "", ptrNoDB).GetMessage());
}

TEST_F(SnapshotDiffTest, RegressionUnsafePathsAreNeverHandedOver) {
    const std::string kNeither = "] is in neither snapshot of the difference";
    const std::pair<std::shared_ptr<model::Object_info>, std::string> cases[] = {
        {Object("ADD", kNew + "../../etc/passwd"), "/server/share/../../etc/passwd"},
        {Object("RENAME", kNew + "n", kOld + "a/.."), "/server/share/a/.."},
        {Object("ADD", kNew + std::string("a\0b", 3)), ""},
        // A catalog keyed by path would miss these.
        {Object("ADD", kNew + "./docs//d.txt"), "/server/share/./docs//d.txt"},
        {Object("MODIFY", kNew + "docs/."), "/server/share/docs/."},
        {Object("RENAME", kNew + "n", kOld + "a//b"), "/server/share/a//b"},
        // The snapshot folder itself is the whole share.
        {Object("DELETE", "/.snapshot/zkop__2_7_1233"), "/server/share"},
        {Object("DELETE", kOld, "", "DIRECTORY"), "/server/share"},
        // A rename comes from the older snapshot.
        {Object("RENAME", kNew + "n2", "/x/.snapshot/zkop__2_7_1234/o2"),
         "Item path [/mnt/share/.snapshot/zkop__2_7_1234/o2" + kNeither},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.second);
        ptrDB->listItems.clear();
        log->Clear();
        ServePages({Page("last", {Object("ADD", kNew + "ok"), test.first, Object("ADD", kNew + "after")})});
        CRhError error = Load();
        EXPECT_EQ(1627u, error.GetCode());
        if (!test.second.empty()) {
            EXPECT_EQ(test.second.find(kNeither) != std::string::npos
                          ? test.second
                          : "Unsafe path [" + test.second + "] in snapshot difference",
                      error.GetMessage());
        }
        EXPECT_EQ(1u, log->CountContaining(error.GetMessage(), 0));
        EXPECT_THAT(ptrDB->listItems, ElementsAre("1 /server/share/ok  f32768"));
    }
    // No file system holds a component over 255 bytes or a path over 4096.
    std::string longest;
    for (int i = 0; i < 16; ++i) longest += "/" + std::string(255, 'n');
    // clang-format off
    const std::pair<std::string, bool> paths[] = {
        {"..", true}, {"/a/../b", true}, {"/a/..", true}, {"../a", true}, {std::string("/a\0", 3), true},
        {"/a/..b/c..", false}, {"/a/./b", false}, {"/a../b", false}, {"", false},
        {"/" + std::string(255, 'n'), false}, {"/" + std::string(256, 'n'), true}, {longest, false},
        {longest + "/x", true}};
    // clang-format on
    for (const auto& test : paths) EXPECT_EQ(test.second, IsUnsafeItemPath(test.first)) << test.first.size();
}

// fs1:/share1/sub on /mnt/s1: the server names items from the share's root.
TEST_F(SnapshotDiffTest, ShareMountedAtASubDirectoryGetsOnlyItsOwnItems) {
    info.strShareSubPath = "/sub";
    const DiffPage page =
        Page("last", {Object("ADD", kNew + "sub/f.txt"), Object("ADD", kNew + "f.txt"),
                      Object("ADD", kNew + "subway/x"), Object("MODIFY", kNew.substr(0, 25)),
                      Object("RENAME", kNew + "sub/in", kOld + "out"),
                      Object("RENAME", kNew + "out", kOld + "sub/in"),
                      Object("RENAME", kNew + "sub/n", kOld + "sub/o"), Object("DELETE", kOld + "sub/d/")});
    // Without a scan map items are named below the mount; with one, below the share's root.
    const std::pair<std::string, const char*> cases[] = {{"/mnt/share", ""}, {"/fs1/share1", "/sub"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.first);
        info.strScanVolumePath = test.first;
        const std::string root = test.first + test.second;
        ptrDB->listItems.clear();
        log->Clear();
        ServePages({page});
        ASSERT_FALSE(Load().IsError());
        // A move across the mount's edge arrives as an ADD or leaves as a DELETE.
        EXPECT_THAT(ptrDB->listItems,
                    ElementsAre("1 " + root + "/f.txt  f32768", "1 " + root + "/in  f32768",
                                "4 " + root + "/in  f32768", "3 " + root + "/n " + root + "/o f32768",
                                "4 " + root + "/d  f32768"));
        EXPECT_EQ(0u, log->CountContaining("items of the snapshot difference were skipped", 0));
        EXPECT_EQ(1u, log->CountContaining("/x] since it lies outside the mounted directory [/sub]", 3));
        // The mounted directory itself is the mount's root: refused like the share's root.
        ServePages({Page("last", {Object("MODIFY", kNew + "sub/")})});
        EXPECT_EQ("Unsafe path [" + test.first + "/sub] in snapshot difference", Load().GetMessage());
    }
}

// Each share's difference, named after its current snapshot, loads one page
// holding the item "diff-<that snapshot>".
TEST_F(SnapshotDiffTest, ScanPathResolvesToTheFirstRecordOfItsMount) {
    ptrBackend->fnCreateDiff = [this]() {
        auto ptrDiff = std::make_shared<model::Mount_target_snapshot_diff_output>();
        const std::string& call = ptrBackend->listCalls.back();  // "... qs1 cs1 unset unset"
        ptrDiff->setUuidList({call.substr(call.find(" c") + 2, 2)});
        return ptrDiff;
    };
    ptrBackend->fnGetDiffPage = [](Str snap) {
        return Page("last", {Object("ADD", "/.snapshot/" + snap + "/diff-" + snap)});
    };
    const std::string kNotMapped = " not present in the Scan Path to Mount path";
    // clang-format off
    const struct {
        std::map<std::string, std::string> mapScan;
        const char* sourcePath;
        std::string item, error;
    } cases[] = {
        {{{"/scan/share1", "/mnt/share1/"}}, "/scan/share1", "/fs1/share1/diff-s1", ""},
        {{{"/scan/share1", "/mnt/share1"}}, "/scan/share1/", "/fs1/share1/diff-s1", ""},
        {{{"/scan/share1", "/mnt/share1"}}, "/scan/share1/dir", "",
         "Source volume name /scan/share1/dir" + kNotMapped},
        {{{"/scan/slash/", "/mnt/share2"}}, "/scan/slash/", "",
         "Source volume name /scan/slash" + kNotMapped},
        // A mount path that is no record's (IsPreviousSnapAvailable takes the
        // mount around it, and ignores case): nothing loaded must not pass for no change.
        {{{"/scan/share1", "/MNT/SHARE1"}}, "/scan/share1", "",
         "No share of this job is mounted at /MNT/SHARE1"},
        {{{"/scan/proj", "/mnt/share1/proj"}}, "/scan/proj", "",
         "No share of this job is mounted at /mnt/share1/proj"},
        // Without a scan-path map the host finds the mount, and items carry the mount path.
        {{}, "/mnt/share2/some/dir", "/mnt/share2/diff-s2", ""},
        {{}, "/elsewhere", "", "No mounted volume holds [/elsewhere]"},
    };
    // clang-format on
    CScopedTempDir tempDir;
    settings.Rewrite("[Host]\nMountTableFile = " +
                     tempDir.WriteFile("mounts", "fs1:/share2 /mnt/share2 nfs rw 0 0\n"));
    for (const auto& test : cases) {
        SCOPED_TRACE(test.sourcePath);
        CTestableManager manager;
        InitializeManager(manager);
        for (const char* share : {"1s1", "2s2", "1s9"}) {
            manager.listVolumeInfo.push_back(Volume("/mnt/share" + std::string(share, 1), share + 1, true));
            manager.listVolumeInfo.back().strScanVolumePath = "/fs1/share" + std::string(share, 1);
        }
        manager.mapScanToMount = test.mapScan;
        ptrDB->listItems.clear();
        CNutanixDBHelperPtr ptrHelper = ptrDB;
        CRhError error = manager.CompareSnapAndLoadItem(test.sourcePath, "pass", ptrHelper);
        EXPECT_EQ(test.error, error.GetMessage());
        EXPECT_EQ(test.item.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{"1 " + test.item + "  f32768"},
                  ptrDB->listItems);
    }
}

}  // namespace
}  // namespace afs_test
