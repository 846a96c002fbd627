// Faults injected into one job of afs-scan through the built plug-in, one
// table row each: errors and broken answers of the file server, a server
// that misbehaves on purpose, faults the plug-in must catch itself (the
// transport's faults are CurlTransportTest's and CliE2ETest's; jobs killed,
// or left by their server, are the chain test's: tests/chain). A fault that
// only costs the difference of a share makes the job list that share in full
// instead. Each row runs on two good jobs and a snapshot taken by hand and
// checks what the job reports and leaves in the scan database, the history,
// the record files and on the server, and after a failure which reference
// the next job takes (the items of every good job are the chain test's).
#include <unistd.h>  // symlink

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::HasSubstr;

// What else the row does to job 3 besides the scenario.
enum ETwist {
    eNoTwist,
    eLinkedSnapInfo,  // a neighbour planted the record file as a link to a file of theirs
    eLinkedSnapMap,
    eMaxItems,  // --max-items 5
};

struct FaultCase {
    const char* pszName;
    const char* pszScenario;  // armed before job 3
    ETwist eTwist;
    int nExitStatus;                     // of job 3
    bool bSnapshotTaken;                 // job 3 got as far as its snapshot
    std::vector<std::string> listTexts;  // in the error chain, or in the log when the job succeeds
    bool bListedInFull = false;          // job 3 could not read the difference and listed the share instead
};

const char* const k500 = "HTTP 500: simulated failure";

// clang-format off
const FaultCase kFaults[] = {
    {"Http500OnPartnerList", R"({"faults":[{"operation":"get_partner_server","status":500}]})",
     eNoTwist, 1, false, {"CreatePartnerServer failed", "get_partner_server failed: ", k500}},
    // The first page's items were handed over before the server lost the
    // difference; they are withdrawn.
    {"DifferenceLostAfterItsFirstPage",
     R"({"faults":[{"operation":"get_mount_target_snapshot_diff_page","nth":2,"status":404}]})",
     eNoTwist, 0, true, {"CompareSnapAndLoadItem threw: ", "get_mount_target_snapshot_diff_page failed: ",
      "HTTP 404",
      "the file server lost its snapshot difference (HTTP 404 for a page of it); listing its whole "},
     true},
    // By design a snapshot info line that cannot be written is only logged.
    {"SnapInfoIsAPlantedLink", "{}", eLinkedSnapInfo, 0, true, {"snapinfo] file: cannot open ",
     "Too many levels of symbolic links (a symbolic link; remove it or choose another folder)"}},
    {"SnapMapIsAPlantedLink", "{}", eLinkedSnapMap, 1, true, {"OverWriteSnapDevInfo failed",
     " Failed to open [", "snapmap] file"}},
    // A hostile server: each job ends at once, after fewer than 40 requests.
    {"DiffTokenComesBack", R"({"hostile_paging":1})", eNoTwist, 0, true,
     {"get_mount_target_snapshot_diff paging stopped: the page token came back [2]"}, true},
    {"DifferenceListedTwice", R"({"hostile_paging":2})", eNoTwist, 0, true, {"is listed twice"}, true},
    {"EndlessNewItems", R"({"synthetic":100000000})", eMaxItems, 0, true,
     {"the difference holds more than 5 items ([FileSystemAgent] MaxDiffItems)"}, true},
    {"EchoedCredentials",
     R"({"echo_authorization":1,"faults":[{"operation":"get_mount_target","status":500}]})",
     eNoTwist, 1, false, {"CreateAndMountSnap failed", "get_mount_target failed: ", k500,
      "; Authorization: ***"}},
};
// clang-format on

class FaultE2ETest : public CScanFixture, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultE2ETest, JobReportsTheFaultKeepsNothingAndTheNextJobReportsEveryChange) {
    const FaultCase& fault = GetParam();
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    ASSERT_EQ(200, Api("DELETE", "/_sim/requests").status);
    ASSERT_NO_FATAL_FAILURE(Arm(fault.pszScenario));
    const std::string strVictim = strRoot + "/victim";
    std::ofstream(strVictim) << "keep\n";
    if (fault.eTwist == eLinkedSnapInfo || fault.eTwist == eLinkedSnapMap) {
        std::filesystem::create_directories(strStateDir + "/job-3");
        ASSERT_EQ(0, symlink(strVictim.c_str(),
                             JobFile(3, fault.eTwist == eLinkedSnapInfo ? "snapinfo" : "snapmap").c_str()));
    }
    const std::vector<std::string> listItems = Query("SELECT * FROM items"),
                                   listJobs = Query("SELECT * FROM jobs");
    std::vector<std::string> listArgs{"--batch-rows", "1", "--job-id", "3", "--verbose", "--max-items"};
    listArgs.push_back(fault.eTwist == eMaxItems ? "5" : "1000");
    ProgramResult run3 = RunScan({"share1"}, listArgs);

    EXPECT_EQ(fault.nExitStatus, run3.nExitStatus) << run3.strStderr;
    EXPECT_EQ("keep\n", ReadWholeFile(strVictim));
    // Neither the password nor its base64 (of admin:e2e-secret) is shown, and no server text forges a log
    // line.
    EXPECT_THAT(run3.strStderr,
                ::testing::Not(::testing::ContainsRegex(std::string(kPassword) + "|YWRtaW46ZTJlLXNlY3JldA")));
    EXPECT_THAT(ReadWholeFile(strStateDir + "/afs-scan.log"), ::testing::Not(HasSubstr("\nL0 forged")));
    EXPECT_EQ(fault.nExitStatus != 0, run3.strStderr.find("afs-scan: error: ") != std::string::npos);
    for (const std::string& strText : fault.listTexts)
        EXPECT_THAT(fault.nExitStatus ? run3.strStderr
                                      : ReadWholeFile(strStateDir + "/afs-scan.log") + run3.strStderr,
                    HasSubstr(strText));
    simdjson::dom::parser parser;
    EXPECT_LT(parser.parse(Api("GET", "/_sim/requests").body)["requests"].get_array().value().size(), 40u)
        << "the server kept the job busy";

    ASSERT_NO_FATAL_FAILURE(Arm("{}"));
    const std::vector<std::string> listSnapshots = Snapshots();
    std::vector<std::string> listJobsAfter = Query("SELECT * FROM jobs");
    if (fault.nExitStatus != 0) {
        // Nothing of job 3 is left but its failure record.
        EXPECT_EQ(listItems, Query("SELECT * FROM items"));
        EXPECT_THAT(run3.strStdout, HasSubstr("job 3 (incremental, previous job 2, full job 1): FAILED"));
        EXPECT_THAT(listJobsAfter.back(), ::testing::StartsWith("3|7|1|incremental|2|1|failed|"));
        listJobsAfter.pop_back();
        EXPECT_EQ(listJobs, listJobsAfter);
        EXPECT_EQ(fault.bSnapshotTaken,
                  std::count(listSnapshots.begin(), listSnapshots.end(), SnapName(3)) == 1);
        // With the fault gone job 4 compares against job 2, and only job 2's
        // snapshot is left of the plug-in's, and the one taken by hand.
        ProgramResult run4 = RunJob();
        ASSERT_EQ(0, run4.nExitStatus) << run4.strStderr;
        EXPECT_THAT(run4.strStdout, HasSubstr("job 4 (incremental, previous job 2, full job 1): ok"));
        EXPECT_THAT(Snapshots(), ::testing::ElementsAre(SnapName(2), kForeignSnapshot, SnapName(4)));
        return;
    }
    // Which items a job stores, also when it lists a share in full instead,
    // and that the next job compares against job 3, are the chain test's.
    EXPECT_EQ(fault.bListedInFull, run3.strStderr.find("; listing its whole snapshot ") != std::string::npos);
    EXPECT_EQ(std::vector<std::string>({SnapName(2), kForeignSnapshot, SnapName(3)}), listSnapshots);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultE2ETest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.pszName); });

}  // namespace
}  // namespace afs_test
