// Faults of the file server's answers, injected by the simulator into one
// job of afs-scan through the built plug-in: an HTTP 500 on each operation in
// turn, and answers that break off or are not what the protocol promises.
#include <gmock/gmock.h>

#include <algorithm>

#include "tests/e2e/FaultScanTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

struct ServerFault {
    const char* pszName;       // test name suffix
    const char* pszScenario;   // armed before job 3
    const char* pszOperation;  // the simulator's name of the faulted operation
    const char* pszFault;      // what /_sim/requests records for it
    std::vector<std::string> listErrorTexts;
    bool bSnapshotTaken;  // job 3 got as far as creating its snapshot
};

void PrintTo(const ServerFault& fault, std::ostream* ptrOut) { *ptrOut << fault.pszName; }

class ServerFaultE2ETest : public CFaultScanTestBase, public ::testing::WithParamInterface<ServerFault> {
protected:
    // Job 3 under the fault: a clear error chain, no rows, whole record lines,
    // the hand-made snapshot intact, no request after the failing one, and
    // job 3's own snapshot only when the job got that far.
    void RunFailingJob(const ServerFault& fault) {
        ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
        ASSERT_NO_FATAL_FAILURE(Arm(fault.pszScenario));
        ProgramResult run3 = RunJob();
        // Before anything else asks the server: the job's requests are the last ones.
        const std::vector<SeenRequest> listSeen = Seen();
        auto itFault = std::find_if(listSeen.begin(), listSeen.end(), [&](const SeenRequest& request) {
            return request.strOperation == fault.pszOperation && request.strFault == fault.pszFault;
        });
        ASSERT_NE(listSeen.end(), itFault) << "the fault was never served";
        // libcurl may re-send a request whose reused connection closed
        // without an answer; nothing else may follow the fault.
        for (auto it = itFault; it != listSeen.end(); ++it)
            EXPECT_EQ(fault.pszOperation, it->strOperation) << "the job went on after the fault";
        ExpectFailedJob(run3, 3, fault.listErrorTexts);
        ExpectWholeRecordLines(3);
        ExpectForeignSnapshotSurvives();
        const std::vector<std::string> listSnapshots = SnapshotsOfShare1();
        const bool bTaken =
            std::find(listSnapshots.begin(), listSnapshots.end(), SnapName(3)) != listSnapshots.end();
        EXPECT_EQ(fault.bSnapshotTaken, bTaken);

        ASSERT_NO_FATAL_FAILURE(Disarm());
        ExpectNextJobRecovers(4);
    }
};

TEST_P(ServerFaultE2ETest, JobFailsCleanlyAndTheNextJobReportsExactlyTheChanges) {
    RunFailingJob(GetParam());
}

const char* const kServerFailure = "HTTP 500: simulated failure";

INSTANTIATE_TEST_SUITE_P(
    Http500OnEachOperation, ServerFaultE2ETest,
    ::testing::Values(
        ServerFault{"get_partner_server",
                    R"({"faults":[{"operation":"list_partner_servers","status":500}]})",
                    "list_partner_servers",
                    "status",
                    {"CreatePartnerServer failed", "get_partner_server failed: ", kServerFailure},
                    false},
        ServerFault{"create_partner_server",
                    R"({"faults":[{"operation":"create_partner_server","status":500}]})",
                    "create_partner_server",
                    "status",
                    {"CreatePartnerServer failed", "create_partner_server failed: ", kServerFailure},
                    false},
        ServerFault{"get_mount_target",
                    R"({"faults":[{"operation":"list_mount_targets","status":500}]})",
                    "list_mount_targets",
                    "status",
                    {"CreateAndMountSnap failed", "get_mount_target failed: ", kServerFailure},
                    false},
        ServerFault{"get_mount_target_snapshot",
                    R"({"faults":[{"operation":"list_snapshots","status":500}]})",
                    "list_snapshots",
                    "status",
                    {"CreateAndMountSnap failed", "get_mount_target_snapshot failed: ", kServerFailure},
                    false},
        ServerFault{"create_mount_target_snapshot",
                    R"({"faults":[{"operation":"create_snapshot","status":500}]})",
                    "create_snapshot",
                    "status",
                    {"CreateAndMountSnap failed", "create_mount_target_snapshot failed: ", kServerFailure},
                    false},
        ServerFault{"create_mount_target_snapshot_incremental_diff",
                    R"({"faults":[{"operation":"incremental_diff","status":500}]})",
                    "incremental_diff",
                    "status",
                    {"CompareSnapAndLoadItem threw: create_mount_target_snapshot_incremental_diff failed: ",
                     kServerFailure},
                    true},
        // The second page: the first page's items reached the scan database
        // before the failure and must be taken back.
        ServerFault{
            "get_mount_target_snapshot_diff_page",
            R"({"faults":[{"operation":"diff_page","nth":2,"status":500}]})",
            "diff_page",
            "status",
            {"CompareSnapAndLoadItem threw: get_mount_target_snapshot_diff_page failed: ", kServerFailure},
            true}),
    [](const ::testing::TestParamInfo<ServerFault>& info) { return std::string(info.param.pszName); });

INSTANTIATE_TEST_SUITE_P(
    BrokenAnswers, ServerFaultE2ETest,
    ::testing::Values(
        ServerFault{"ConnectionDroppedMidPage",
                    R"({"faults":[{"operation":"diff_page","nth":2,"kind":"drop_mid_body"}]})",
                    "diff_page",
                    "drop_mid_body",
                    {"CompareSnapAndLoadItem threw: get_mount_target_snapshot_diff_page failed: "},
                    true},
        ServerFault{"TruncatedPage",
                    R"({"faults":[{"operation":"diff_page","nth":2,"kind":"truncate"}]})",
                    "diff_page",
                    "truncate",
                    {"CompareSnapAndLoadItem threw: get_mount_target_snapshot_diff_page failed: HTTP 200: "
                     "malformed response"},
                    true},
        ServerFault{"WrongTypedSizeInPage",
                    R"({"faults":[{"operation":"diff_page","nth":2,"kind":"wrong_type","member":"size"}]})",
                    "diff_page",
                    "wrong_type",
                    {"CompareSnapAndLoadItem threw: get_mount_target_snapshot_diff_page failed: HTTP 200: "
                     "malformed response"},
                    true},
        ServerFault{
            "MalformedSnapshotList",
            R"({"faults":[{"operation":"list_snapshots","kind":"malformed"}]})",
            "list_snapshots",
            "malformed",
            {"CreateAndMountSnap failed", "get_mount_target_snapshot failed: HTTP 200: malformed response"},
            false},
        ServerFault{"TruncatedShareList",
                    R"({"faults":[{"operation":"list_mount_targets","kind":"truncate"}]})",
                    "list_mount_targets",
                    "truncate",
                    {"CreateAndMountSnap failed", "get_mount_target failed: HTTP 200: malformed response"},
                    false}),
    [](const ::testing::TestParamInfo<ServerFault>& info) { return std::string(info.param.pszName); });

// A failed deletion of a stale snapshot is logged and skipped by design: the
// job succeeds, the snapshot stays, and the next job deletes it.
TEST_F(ServerFaultE2ETest, FailedSnapshotDeletionIsSkippedAndRetriedByTheNextJob) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"faults":[{"operation":"delete_snapshot","status":500}]})"));
    ProgramResult run3 = RunJob();
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStdout, HasSubstr("job 3 (incremental, previous job 2, full job 1): ok"));
    EXPECT_THAT(Items(3), ElementsAreArray(ChangesAfterJob2()));
    ExpectNoDuplicateRows(3);
    ExpectWholeRecordLines(3);
    EXPECT_THAT(
        ReadWholeFile(strStateDir + "/afs-scan.log"),
        HasSubstr("Delete Snap called failed with error [delete_mount_target_snapshot failed: HTTP 500"));
    EXPECT_THAT(SnapshotsOfShare1(), ElementsAre(SnapName(1), SnapName(2), kForeignSnapshot, SnapName(3)));
    int nDeletions = 0;
    for (const SeenRequest& request : Seen()) nDeletions += request.strOperation == "delete_snapshot" ? 1 : 0;
    EXPECT_EQ(1, nDeletions) << "job 1's snapshot is the only stale one";

    ASSERT_NO_FATAL_FAILURE(Disarm());
    WriteFile("share1/later.txt", "later\n");
    ProgramResult run4 = RunJob();
    ASSERT_EQ(0, run4.nExitStatus) << run4.strStderr;
    EXPECT_THAT(Items(4), ElementsAre("ADD /127.0.0.1/share1/later.txt"));
    EXPECT_THAT(SnapshotsOfShare1(), ElementsAre(kForeignSnapshot, SnapName(3), SnapName(4)));
    ExpectForeignSnapshotSurvives();
}

}  // namespace
}  // namespace afs_test
