// The two record files the host reads: exact bytes, append-only, and no
// failure reported as success.
#include <fcntl.h>
#include <sys/resource.h>
#include <gmock/gmock.h>

#include <csignal>
#include <fstream>

#include "Nutanix/NutanixAFSManager/RecordFile.h"
#include "tests/support/PluginTestBase.h"
#include "tests/support/ScopedTempDir.h"

namespace afs_test {
namespace {

class SnapRecordFilesTest : public CPluginTestBase {
protected:
    SnapRecordFilesTest() {
        manager.strSnapInfoFile = tempDir.GetPath() + "/info";
        manager.strSnapMapFile = tempDir.GetPath() + "/map";
    }
    std::string Info() const { return CScopedTempDir::ReadFile(tempDir.GetPath() + "/info"); }
    std::string Map() const { return CScopedTempDir::ReadFile(tempDir.GetPath() + "/map"); }

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
    EXPECT_EQ(1u, log->CountContaining("Added /mnt/b:zkop__2_7_1@fs1:/b:/mnt/b/.snapshot/zkop__2_7_1 to " +
                                           manager.strSnapInfoFile, 3));
}

TEST_F(SnapRecordFilesTest, MissingOrUnwritableFilesAreReported) {
    manager.strSnapInfoFile.clear();
    EXPECT_EQ("SnapInfo file not set", manager.SaveSnapDevInfo("/m", "d", "p").GetMessage());
    manager.strSnapInfoFile = tempDir.GetPath() + "/missing-folder/info";
    EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());  // the map line is still written
    manager.strSnapInfoFile = tempDir.GetPath() + "/info";
    manager.strSnapMapFile.clear();
    EXPECT_EQ("SnapMapInfo file not set", manager.SaveSnapDevInfo("/m", "d2", "p").GetMessage());
    EXPECT_EQ("SnapMapInfo file not set", manager.OverWriteSnapDevInfo({{"a", "b"}}, {{"/s", "/m"}}).GetMessage());
    manager.strSnapMapFile = tempDir.GetPath() + "/missing-folder/map";
    EXPECT_EQ(" Failed to open [" + manager.strSnapMapFile + "] file",
              manager.OverWriteSnapDevInfo({{"a", "b"}}, {{"/s", "/m"}}).GetMessage());
    EXPECT_EQ("/m:d2:p\n", Info());
    EXPECT_EQ("m:/m:p:\n", Map());
    EXPECT_TRUE(manager.mapScanToMount.empty());

    std::string reason;
    CRecordFileAppender closed(tempDir.GetPath() + "/missing-folder/x");
    closed.Append("line\n");
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(closed.Commit(reason));
    EXPECT_EQ("not open", reason);
    // A close that fails after everything was written is still a failure.
    const int nNextDescriptor = open("/dev/null", O_RDONLY);
    close(nNextDescriptor);
    CRecordFileAppender stolen(tempDir.GetPath() + "/stolen");
    ASSERT_EQ(0, close(nNextDescriptor));  // the appender's own descriptor, closed behind its back
    EXPECT_FALSE(stolen.Commit(reason));
    EXPECT_EQ("Bad file descriptor", reason);
}

TEST_F(SnapRecordFilesTest, OverWriteAppendsTheContentMapInKeyOrderAndMergesTheScanMap) {
    manager.mapScanToMount = {{"/keep", "/mnt/keep"}, {"/scan/b", "/old"}};
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({}, {}).IsError());
    EXPECT_EQ(0, access(manager.strSnapMapFile.c_str(), F_OK));
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({{"/z", "/mnt/z"}, {"/a", "/mnt/a"}}, {{"/scan/b", "/mnt/b"}}).IsError());
    ASSERT_FALSE(manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {}).IsError());
    EXPECT_EQ("m:/a:/mnt/a:\nm:/z:/mnt/z:\nm:/a:/mnt/a:\n", Map());
    EXPECT_EQ((std::map<std::string, std::string>{{"/keep", "/mnt/keep"}, {"/scan/b", "/mnt/b"}}),
              manager.mapScanToMount);
}

TEST_F(SnapRecordFilesTest, RegressionFullDiskIsNotReportedAsSuccess) {
    // /dev/full accepts the open and answers every write with ENOSPC.
    manager.strSnapMapFile = "/dev/full";
    CRhError error = manager.OverWriteSnapDevInfo({{"/a", "/mnt/a"}}, {{"/s", "/m"}});
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ(" Failed to write [/dev/full] file: No space left on device", error.GetMessage());
    EXPECT_TRUE(manager.mapScanToMount.empty());
    manager.strSnapInfoFile = "/dev/full";
    EXPECT_FALSE(manager.SaveSnapDevInfo("/m", "d", "p").IsError());  // its caller ignores the result
    EXPECT_EQ(2u, log->CountContaining("Failed to write [/dev/full] file: No space left on device", 0));
}

TEST(RecordFileAppenderTest, RegressionFailedBatchKeepsLinesOthersAppended) {
    CScopedTempDir tempDir;
    const std::string path = tempDir.WriteFile("map", "before\n");
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
