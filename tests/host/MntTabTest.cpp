#include "host/MntTab.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"

// A missing table is the plug-in's to report (SnapshotPlanningTest).
TEST(MntTab, ReadsDecodedEntriesAfterWhatTheCallerHasOrSaysWhyNot) {
    CScopedTempDir dir;
    const struct {
        std::string strFile, strEntries, strError;
    } kCases[] = {
        {dir.WriteFile("mounts",
                       "# comment\nsysfs /sys sysfs rw 0 0\nlonely-field\n\n   \n#dev /dir nfs\n"
                       "fs1:/my\\040docs /mnt/my\\040docs nfs rw 0 0\ndev /dir\n"
                       "a\\011b\\012c\\134d \\040 x\\071\n\\04 \\400 \\09x\n"),
         "pre|/pre|x; sysfs|/sys|sysfs; fs1:/my docs|/mnt/my docs|nfs; dev|/dir|; a\tb\nc\\d| |x9; "
         "\\04|\\400|\\09x",
         ""},
        // Regression: a directory opens fine, then fails to read; it once passed for an empty table.
        {dir.GetPath(), "pre|/pre|x", "Cannot read the mount table [" + dir.GetPath() + "]"},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.strFile);
        std::vector<ZkMntTab::Entry> listEntries{{"pre", "/pre", "x"}};
        CRhError error = ZkMntTab(row.strFile).getAll(listEntries);
        std::string strEntries;  // "device|directory|type" per entry, joined by "; "
        for (const auto& entry : listEntries) {
            strEntries += (strEntries.empty() ? "" : "; ") + entry.strDevice + "|" + entry.strDirectory +
                          "|" + entry.strType;
        }
        EXPECT_EQ(row.strEntries, strEntries);
        EXPECT_EQ(row.strError, error.GetMessage());
        EXPECT_EQ(row.strError.empty() ? 0u : 1627u, error.GetCode());
    }
}

TEST(MntTab, FindPicksTheLongestWholeComponentMountAndTheLaterOfTwo) {
    // Case and the finer points of whole components are IsDescendantOf's (FXPathTest).
    const std::vector<ZkMntTab::Entry> listEntries{{"empty", "", ""},
                                                   {"fs1:/share", "/mnt/afs/share", ""},
                                                   {"fs1:/share10", "/mnt/afs/share10", ""},
                                                   {"fs1:/nested", "/mnt/afs/share/nested", ""},
                                                   {"fs2:/over", "/mnt/afs/share10", ""}};
    std::vector<ZkMntTab::Entry> listWithRoot = listEntries;
    listWithRoot.push_back({"rootfs", "/", "ext4"});
    const struct {
        bool bRoot;
        const char* szPath;
        const char* szDevice;
    } kCases[] = {
        {false, "/mnt/afs/share", "fs1:/share"},
        {false, "/mnt/afs/share/dir/file", "fs1:/share"},
        {false, "/mnt/afs/share/nested/x", "fs1:/nested"},
        {false, "/mnt/afs/share10/a", "fs2:/over"},
        {false, "/mnt/afs", nullptr},
        {false, "/mnt/afs/share/nestedx", "fs1:/share"},
        {true, "/mnt/afs", "rootfs"},
        {true, "/mnt/afs/share/x", "fs1:/share"},
    };
    const ZkMntTab table("/unused");
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.szPath);
        const ZkMntTab::Entry* ptrEntry = table.find(row.bRoot ? listWithRoot : listEntries, row.szPath);
        EXPECT_EQ(row.szDevice ? row.szDevice : "<none>", ptrEntry ? ptrEntry->strDevice : "<none>");
    }
}
