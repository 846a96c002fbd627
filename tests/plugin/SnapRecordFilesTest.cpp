// The two record files the host reads: exact bytes, append-only, and no
// failure reported as success.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "Nutanix/NutanixAFSManager/RecordFile.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class SnapRecordFilesTest : public CPluginTestBase {
protected:
    SnapRecordFilesTest() {
        manager.strSnapInfoFile = tempDir.GetPath() + "/info";
        manager.strSnapMapFile = tempDir.GetPath() + "/map";
    }
    std::string Info() const { return CScopedTempDir::ReadFile(manager.strSnapInfoFile); }
    std::string Map() const { return CScopedTempDir::ReadFile(manager.strSnapMapFile); }

    CScopedTempDir tempDir;
    CTestableManager manager;
};

TEST_F(SnapRecordFilesTest, SaveAppendsOneLineToEachFile) {
    ASSERT_FALSE(manager.SaveSnapDevInfo("/mnt/a", "zkop__2_7_1@fs1:/a", "/mnt/a/.snapshot/zkop__2_7_1").IsError());
    ASSERT_FALSE(manager.SaveSnapDevInfo("/mnt/b", "zkop__2_7_1@fs1:/b", "/mnt/b/.snapshot/zkop__2_7_1").IsError());
    EXPECT_EQ("/mnt/a:zkop__2_7_1@fs1:/a:/mnt/a/.snapshot/zkop__2_7_1\n"
              "/mnt/b:zkop__2_7_1@fs1:/b:/mnt/b/.snapshot/zkop__2_7_1\n",
              Info());
    EXPECT_EQ("m:/mnt/a:/mnt/a/.snapshot/zkop__2_7_1:\nm:/mnt/b:/mnt/b/.snapshot/zkop__2_7_1:\n", Map());
    EXPECT_EQ(2u, log->CountContaining("Added /mnt/"));
}

TEST_F(SnapRecordFilesTest, MissingFileNamesAreErrorsAndWriteNothingMore) {
    manager.strSnapInfoFile.clear();
    CRhError error = manager.SaveSnapDevInfo("/m", "d", "p");
    EXPECT_EQ("SnapInfo file not set", error.GetMessage());
    EXPECT_EQ("", Map());

    manager.strSnapInfoFile = tempDir.GetPath() + "/info";
    manager.strSnapMapFile.clear();
    error = manager.SaveSnapDevInfo("/m", "d", "p");
    EXPECT_EQ("SnapMapInfo file not set", error.GetMessage());
    EXPECT_EQ("/m:d:p\n", Info());

    error = manager.OverWriteSnapDevInfo({{"a", "b"}}, {{"/scan", "/mnt"}});
    EXPECT_EQ("SnapMapInfo file not set", error.GetMessage());
    EXPECT_TRUE(manager.mapScanToMount.empty());
}

TEST_F(SnapRecordFilesTest, InfoFileThatCannotBeCreatedStillWritesTheMapLine) {
    manager.strSnapInfoFile = tempDir.GetPath() + "/missing-folder/info";
    EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());
    EXPECT_EQ("m:/m:p:\n", Map());
}

TEST_F(SnapRecordFilesTest, OverWriteAppendsTheContentMapInKeyOrderAndMergesTheScanMap) {
    manager.mapScanToMount["/keep"] = "/mnt/keep";
    manager.mapScanToMount["/scan/b"] = "/old";
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({{"/z", "/mnt/z"}, {"/a", "/mnt/a"}},
                                              {{"/scan/b", "/mnt/b"}})
                     .IsError());
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {}).IsError());
    EXPECT_EQ("m:/a:/mnt/a:\nm:/z:/mnt/z:\nm:/a:/mnt/a:\n", Map());
    EXPECT_THAT(manager.mapScanToMount, ElementsAre(Pair("/keep", "/mnt/keep"), Pair("/scan/b", "/mnt/b")));
}

TEST_F(SnapRecordFilesTest, EmptyContentMapStillCreatesTheMapFile) {
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({}, {{"/s", "/m"}}).IsError());
    EXPECT_EQ(0, access(manager.strSnapMapFile.c_str(), F_OK));
    EXPECT_EQ("", Map());
    EXPECT_EQ(1u, manager.mapScanToMount.size());
}

TEST_F(SnapRecordFilesTest, MapFileThatCannotBeOpenedIsAnError) {
    manager.strSnapMapFile = tempDir.GetPath() + "/missing-folder/map";
    CRhError error = manager.OverWriteSnapDevInfo({{"a", "b"}}, {{"/s", "/m"}});
    EXPECT_EQ(" Failed to open [" + manager.strSnapMapFile + "] file", error.GetMessage());
    EXPECT_TRUE(manager.mapScanToMount.empty());
}

TEST_F(SnapRecordFilesTest, RegressionFullDiskIsNotReportedAsSuccess) {
    // /dev/full accepts the open and answers every write with ENOSPC.
    manager.strSnapMapFile = "/dev/full";
    CRhError error = manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {{"/s", "/m"}});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ(" Failed to write [/dev/full] file: No space left on device", error.GetMessage());
    EXPECT_TRUE(manager.mapScanToMount.empty());

    manager.strSnapInfoFile = "/dev/full";
    EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());  // its caller ignores the result
    EXPECT_EQ(2u, log->CountContaining("Failed to write [/dev/full] file: No space left on device"));
}

TEST(RecordFileAppenderTest, RegressionFailedBatchKeepsLinesOthersAppended) {
    CScopedTempDir tempDir;
    const std::string path = tempDir.GetPath() + "/map";
    std::ofstream(path) << "before\n";
    CRecordFileAppender appender(path);
    ASSERT_TRUE(appender.IsOpen());
    std::ofstream(path, std::ios::app) << "other\n";  // another process, while our batch is prepared
    appender.Append(std::string(99, 'x') + "\n");
    // A file size limit lets only 10 bytes of the batch in.
    struct rlimit previous {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
    struct rlimit limited = previous;
    limited.rlim_cur = 7 + 6 + 10;
    void (*previousHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    std::string reason;
    const bool bCommitted = appender.Commit(reason);
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(bCommitted);
    EXPECT_EQ("only 10 of 100 bytes could be written", reason);
    EXPECT_EQ("before\nother\n", CScopedTempDir::ReadFile(path));
}

}  // namespace
}  // namespace afs_test
