#include "host/MntTab.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScopedSettings.h"

namespace {

const char* const kMountTable =
    "# written by the test\n"
    "sysfs /sys sysfs rw 0 0\n"
    "fs1:/share /mnt/afs/share nfs4 rw 0 0\n"
    "fs1:/share10 /mnt/afs/share10 nfs4 rw 0 0\n"
    "fs1:/share/nested /mnt/afs/share/nested nfs4 rw 0 0\n"
    "fs1:/my\\040docs /mnt/afs/my\\040docs nfs rw 0 0\n"
    "lonely-field\n"
    "\n"
    "fs2:/over /mnt/afs/share10 nfs4 rw 0 0\n";

std::vector<ZkMntTab::Entry> ReadAll(const ZkMntTab& table) {
    std::vector<ZkMntTab::Entry> listEntries;
    CRhError error = table.getAll(listEntries);
    EXPECT_FALSE(error.IsError()) << error.AsString();
    return listEntries;
}

std::string DeviceFor(const ZkMntTab& table, const std::vector<ZkMntTab::Entry>& entries,
                      const std::string& path) {
    const ZkMntTab::Entry* ptrEntry = table.find(entries, path);
    return ptrEntry == nullptr ? "<none>" : ptrEntry->strDevice;
}

}  // namespace

TEST(MntTabFile, SettingNamesTheTable) {
    CScopedTempDir dir;
    const std::string path = dir.WriteFile("mounts", kMountTable);
    CScopedSettings settings("[Host]\nMountTableFile = " + path + "\n");

    ZkMntTab table;
    std::vector<ZkMntTab::Entry> listEntries = ReadAll(table);
    ASSERT_EQ(6u, listEntries.size());
    EXPECT_EQ("sysfs", listEntries[0].strDevice);
    EXPECT_EQ("/sys", listEntries[0].strDirectory);
    EXPECT_EQ("sysfs", listEntries[0].strType);
    EXPECT_EQ("fs1:/share", listEntries[1].strDevice);
    EXPECT_EQ("/mnt/afs/share", listEntries[1].strDirectory);
    EXPECT_EQ("nfs4", listEntries[1].strType);
}

TEST(MntTabFile, AppendsToWhatTheCallerHas) {
    CScopedTempDir dir;
    ZkMntTab table(dir.WriteFile("mounts", "a /a t\n"));
    std::vector<ZkMntTab::Entry> listEntries(1);
    ASSERT_FALSE(table.getAll(listEntries).IsError());
    ASSERT_EQ(2u, listEntries.size());
    EXPECT_EQ("/a", listEntries[1].strDirectory);
}

TEST(MntTabFile, UnreadableTableIsAnError) {
    CScopedTempDir dir;
    ZkMntTab table(dir.GetPath() + "/absent");
    std::vector<ZkMntTab::Entry> listEntries;
    CRhError error = table.getAll(listEntries);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Cannot read the mount table [" + dir.GetPath() + "/absent]", error.GetMessage());
    EXPECT_TRUE(listEntries.empty());
}

TEST(MntTabFile, RegressionDirectoryAsTableIsAnErrorNotAnEmptyTable) {
    CScopedTempDir dir;
    ZkMntTab table(dir.GetPath());
    std::vector<ZkMntTab::Entry> listEntries;
    CRhError error = table.getAll(listEntries);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Cannot read the mount table [" + dir.GetPath() + "]", error.GetMessage());
}

TEST(MntTabDecode, OctalEscapesBecomeTheirBytes) {
    EXPECT_EQ("my docs", ZkMntTab::DecodeField("my\\040docs"));
    EXPECT_EQ("a\tb\nc\\d", ZkMntTab::DecodeField("a\\011b\\012c\\134d"));
    EXPECT_EQ(" ", ZkMntTab::DecodeField("\\040"));
    // Not escapes: kept as written.
    EXPECT_EQ("\\04", ZkMntTab::DecodeField("\\04"));
    EXPECT_EQ("\\400", ZkMntTab::DecodeField("\\400"));
    EXPECT_EQ("\\09x", ZkMntTab::DecodeField("\\09x"));
    EXPECT_EQ("plain", ZkMntTab::DecodeField("plain"));
}

TEST(MntTabDecode, ParsedLinesAreDecoded) {
    ZkMntTab::Entry entry;
    ASSERT_TRUE(ZkMntTab::ParseLine("fs1:/my\\040docs /mnt/my\\040docs nfs rw 0 0", entry));
    EXPECT_EQ("fs1:/my docs", entry.strDevice);
    EXPECT_EQ("/mnt/my docs", entry.strDirectory);
    EXPECT_EQ("nfs", entry.strType);

    ASSERT_TRUE(ZkMntTab::ParseLine("dev /dir", entry));
    EXPECT_EQ("", entry.strType);
    EXPECT_FALSE(ZkMntTab::ParseLine("only-one", entry));
    EXPECT_FALSE(ZkMntTab::ParseLine("   ", entry));
    EXPECT_FALSE(ZkMntTab::ParseLine("#dev /dir nfs", entry));
}

TEST(MntTabFind, LongestWholeComponentPrefixWins) {
    CScopedTempDir dir;
    ZkMntTab table(dir.WriteFile("mounts", kMountTable));
    std::vector<ZkMntTab::Entry> listEntries = ReadAll(table);

    EXPECT_EQ("fs1:/share", DeviceFor(table, listEntries, "/mnt/afs/share"));
    EXPECT_EQ("fs1:/share", DeviceFor(table, listEntries, "/mnt/afs/share/dir/file"));
    EXPECT_EQ("fs1:/share/nested", DeviceFor(table, listEntries, "/mnt/afs/share/nested/x"));
    EXPECT_EQ("fs1:/share", DeviceFor(table, listEntries, "/mnt/afs/share/nestedx"));
    EXPECT_EQ("fs1:/my docs", DeviceFor(table, listEntries, "/mnt/afs/my docs/report.txt"));
    // The later of two mounts on one directory hides the earlier.
    EXPECT_EQ("fs2:/over", DeviceFor(table, listEntries, "/mnt/afs/share10/a"));
}

TEST(MntTabFind, NoHoldingMountIsNull) {
    CScopedTempDir dir;
    ZkMntTab table(dir.WriteFile("mounts", kMountTable));
    std::vector<ZkMntTab::Entry> listEntries = ReadAll(table);
    EXPECT_EQ(nullptr, table.find(listEntries, "/mnt/afs/share1"));
    EXPECT_EQ(nullptr, table.find(listEntries, "/mnt/afs"));
    EXPECT_EQ(nullptr, table.find(listEntries, "/Mnt/afs/share"));
    EXPECT_EQ(nullptr, table.find({}, "/mnt/afs/share"));

    std::vector<ZkMntTab::Entry> listWithRoot = listEntries;
    listWithRoot.push_back(ZkMntTab::Entry{"rootfs", "/", "ext4"});
    EXPECT_EQ("rootfs", DeviceFor(table, listWithRoot, "/mnt/afs"));
    EXPECT_EQ("fs1:/share", DeviceFor(table, listWithRoot, "/mnt/afs/share/x"));
}
