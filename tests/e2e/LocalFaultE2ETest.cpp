// Faults that the plug-in must catch itself: a difference item whose path
// climbs out of the share, and record files on a full disk.
#include <gmock/gmock.h>
#include <unistd.h>  // symlink

#include <filesystem>
#include <fstream>

#include "tests/e2e/FaultScanTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class LocalFaultE2ETest : public CFaultScanTestBase {
protected:
    // The manifest the simulator keeps for snapshot `strName`, "" when none.
    std::string ManifestOf(const std::string& strName) const {
        for (const auto& entry : std::filesystem::directory_iterator(strRoot + "/sim-state/snapshots")) {
            const std::string strJson = ReadWholeFile((entry.path() / "snapshot.json").string());
            if (strJson.find("\"name\":\"" + strName + "\"") != std::string::npos)
                return (entry.path() / "manifest.tsv").string();
        }
        return {};
    }
    // Makes job `llJobId`'s record file `pszName` a way into /dev/full.
    void PutOnFullDisk(long long llJobId, const char* pszName) {
        std::filesystem::create_directories(strStateDir + "/job-" + std::to_string(llJobId));
        ASSERT_EQ(0, symlink("/dev/full", JobFile(llJobId, pszName).c_str()));
    }
};

// The server reports a deletion under "zz/../../outside.txt" (the manifest
// of job 2's snapshot is given such an entry, as a damaged or hostile server
// would have it). Such a path would let the host place an item outside the
// share, so the comparison must stop; the item before it on the same page
// was already handed over and must be taken back.
TEST_F(LocalFaultE2ETest, DotDotPathInTheDifferenceFailsTheJob) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    const std::string strManifest = ManifestOf(SnapName(2));
    ASSERT_FALSE(strManifest.empty());
    const std::string strOriginal = ReadWholeFile(strManifest);
    // Appended last, it keeps the manifest sorted by path ("zz" > "old/x.txt").
    std::ofstream(strManifest, std::ios::app) << "F\t987654321\t4\t0\t0\t0\t0\t0\tzz/../../outside.txt\n";

    ProgramResult run3 = RunJob();
    ExpectFailedJob(run3, 3,
                    {"CompareSnapAndLoadItem failed",
                     "Unsafe path [/127.0.0.1/share1/zz/../../outside.txt] in snapshot difference"});
    EXPECT_FALSE(std::filesystem::exists(Share("outside.txt")));
    EXPECT_FALSE(std::filesystem::exists(strSharesDir + "/outside.txt"));
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();

    std::ofstream(strManifest, std::ios::trunc) << strOriginal;
    ExpectNextJobRecovers(4);
}

// A snapshot info line that cannot be written is logged and the job goes on
// by design: the items still reach the scan database.
TEST_F(LocalFaultE2ETest, SnapInfoOnAFullDiskIsLoggedAndTheJobSucceeds) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    ASSERT_NO_FATAL_FAILURE(PutOnFullDisk(3, "snapinfo"));
    ProgramResult run3 = RunJob();
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(Items(3), ElementsAreArray(ChangesAfterJob2()));
    ExpectNoDuplicateRows(3);
    ExpectWholeRecordLines(3);
    EXPECT_THAT(ReadWholeFile(strStateDir + "/afs-scan.log"),
                HasSubstr("Failed to write [" + JobFile(3, "snapinfo") + "] file: No space left on device"));
    EXPECT_THAT(
        ReadWholeFile(JobFile(3, "snapmap")),
        HasSubstr("m:" + Share("share1") + ":" + Share("share1") + "/.snapshot/" + SnapName(3) + ":\n"));
    ExpectForeignSnapshotSurvives();

    WriteFile("share1/later.txt", "later\n");
    ProgramResult run4 = RunJob();
    ASSERT_EQ(0, run4.nExitStatus) << run4.strStderr;
    EXPECT_THAT(Items(4), ElementsAre("ADD /127.0.0.1/share1/later.txt"));
    EXPECT_EQ(Share("share1") + ":" + SnapName(4) + "@127.0.0.1:/share1:" + Share("share1") + "/.snapshot/" +
                  SnapName(4) + "\n",
              ReadWholeFile(JobFile(4, "snapinfo")));
}

// The snapshot map is what the host reads the scan-form names from: a map
// that cannot be written fails the job instead of leaving it without lines.
TEST_F(LocalFaultE2ETest, SnapMapOnAFullDiskFailsTheJob) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    ASSERT_NO_FATAL_FAILURE(PutOnFullDisk(3, "snapmap"));
    ProgramResult run3 = RunJob();
    ExpectFailedJob(run3, 3,
                    {"OverWriteSnapDevInfo failed",
                     "Failed to write [" + JobFile(3, "snapmap") + "] file: No space left on device"});
    EXPECT_EQ(Share("share1") + ":" + SnapName(3) + "@127.0.0.1:/share1:" + Share("share1") + "/.snapshot/" +
                  SnapName(3) + "\n",
              ReadWholeFile(JobFile(3, "snapinfo")));
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();

    ExpectNextJobRecovers(4);
}

}  // namespace
}  // namespace afs_test
