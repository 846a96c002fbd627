// afs-scan's sub-commands against the built plug-in and the afs-sim program:
// verify catches each change a faulty difference leaves out; snapshots lists
// and prunes what killed jobs and strangers left; jobs and forget keep the
// history small without losing the next job's reference.
#include <sys/file.h>

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct VerifyCase {
    const char* pszName;
    const char* pszScenario;  // armed before job 2
    int nScanExitStatus;      // of job 2: 3 when the plug-in skipped items it could not place
    int nExitStatus;
    const char* pszFindings;     // the lines, share root "/127.0.0.1/share1" shortened to "~"
    const char* pszSummary;      // "ROWS": the number of rows the job stored
    const char* pszForged = "";  // rows added to job 2: "('TYPE', 'PATH', IS_DIR) ..."
    const char* pszStderr = "";  // when set, job 2's snapshot folder (SNAPSHOT) made a link to a copy of it
};

const VerifyCase kVerifyCases[] = {
    {"CompleteDifference", "{}", 0, 0, "",
     "job 2 against job 1: 12 changes, ROWS items; missing 0, wrong 0, extra 0"},
    {"RenamesWithoutOldPath", R"({"rename_without_old_path":1})", 3, 3,
     "missing RENAME ~/docs/c2.txt <- ~/docs/c.txt\nmissing ADD ~/shifted\nmissing ADD ~/shifted/inner\n"
     "missing RENAME ~/shifted/inner/m.txt <- ~/moved/inner/m.txt\nmissing DELETE ~/moved\n"
     "missing DELETE ~/moved/inner\n",
     "ROWS items; missing 6,"},
    // The share root, and a path that leads out of the snapshot into itself.
    {"RowsNamingNoEntry", "{}", 0, 3, "wrong DELETE ~\nwrong MODIFY ~/../zkop__7_1_2/a.txt\n",
     "ROWS items; missing 0, wrong 2, extra 0",
     "('DELETE', '/127.0.0.1/share1', 1) ('MODIFY', '/127.0.0.1/share1/../zkop__7_1_2/a.txt', 0)"},
    {"SnapshotFolderThatIsALink", "{}", 0, 1, "", "not verified", "",
     "afs-scan: verify failed: snapshot folder SNAPSHOT is a symbolic link: verify reads the job's "
     "own snapshot, never what a link points to\n"},
};

class VerifyE2ETest : public CScanFixture, public ::testing::WithParamInterface<VerifyCase> {
protected:
    ProgramResult RunCommand(const std::vector<std::string>& listCommand,
                             const std::vector<std::string>& listShares, bool bMap = true) {
        return Run(ScanArgs(listShares, {}, bMap, listCommand));
    }
};

TEST_P(VerifyE2ETest, FindsWhatTheDifferenceLeftOut) {
    const VerifyCase& verifyCase = GetParam();
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share1/docs/c.txt", "charlie\n");
    WriteFile("share1/old/x.txt", "x-ray\n");
    WriteFile("share1/moved/inner/m.txt", "mike\n");
    WriteMountTable({"share1"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    WriteFile("share1/a.txt", "more\n", true);
    std::filesystem::rename(Share("share1/docs/c.txt"), Share("share1/docs/c2.txt"));
    std::filesystem::remove(Share("share1/old/x.txt"));
    WriteFile("share1/fresh/f1.txt", "foxtrot\n");
    std::filesystem::rename(Share("share1/moved"), Share("share1/shifted"));
    ASSERT_NO_FATAL_FAILURE(Arm(verifyCase.pszScenario));
    ASSERT_EQ(verifyCase.nScanExitStatus, RunScan({"share1"}).nExitStatus);
    // Each forged row a copy of a stored row, whatever its columns, with another type, path and kind.
    Query(std::regex_replace(
              verifyCase.pszForged, std::regex("\\(([^)]*)\\)"),
              "INSERT INTO items SELECT * FROM items WHERE job_id = 2 LIMIT 1; UPDATE items SET "
              "old_path = '', (change_type, path, is_dir) = ($1) WHERE rowid = last_insert_rowid();"),
          SQLITE_OPEN_READWRITE);
    const std::string strSnapshot = SnapPath("share1", 2);
    if (*verifyCase.pszStderr) {
        std::filesystem::rename(strSnapshot, strSnapshot + "-elsewhere");
        std::filesystem::create_directory_symlink(strSnapshot + "-elsewhere", strSnapshot);
    }
    const std::string strRows = Query("SELECT COUNT(*) FROM items WHERE job_id = 2").at(0);

    // Without --map: the job recorded how it named the share.
    ProgramResult verify = RunCommand({"verify"}, {"share1"}, false);
    EXPECT_EQ(verifyCase.nExitStatus, verify.nExitStatus) << verify.strStderr;
    EXPECT_EQ(std::regex_replace(verifyCase.pszStderr, std::regex("SNAPSHOT"), strSnapshot),
              verify.strStderr);
    const std::string strOut =
        std::regex_replace(verify.strStdout, std::regex("/127\\.0\\.0\\.1/share1"), "~");
    const size_t uSummary = strOut.rfind("share " + Share("share1") + ": ");
    ASSERT_NE(std::string::npos, uSummary) << verify.strStderr;
    EXPECT_EQ(verifyCase.pszFindings, strOut.substr(0, uSummary));
    EXPECT_THAT(strOut.substr(uSummary),
                HasSubstr(std::regex_replace(verifyCase.pszSummary, std::regex("ROWS"), strRows)));
}

INSTANTIATE_TEST_SUITE_P(Differences, VerifyE2ETest, ::testing::ValuesIn(kVerifyCases),
                         [](const auto& info) { return std::string(info.param.pszName); });

using SnapshotsE2ETest = VerifyE2ETest;

// Job 3 is killed while the server holds back its difference, job 4 fails
// on it; deleting stale snapshots fails for both, so job 1's (the cycle's
// full job) stays.
TEST_F(SnapshotsE2ETest, OrphansArePrunedAndTheHistoryForgottenButNeverWhatTheNextJobNeeds) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    WriteFile("share1/b.txt", "bravo\n");
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    // Names with the prefix that no job makes are never candidates.
    for (const char* pszName :
         {"manual", "zkop__7_2_1", "zkop__7_1_9", "zkop__7_1_keep", "zkop__7_1_2-before-upgrade"})
        ASSERT_NO_FATAL_FAILURE(TakeSnapshot(pszName));
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"faults":[{"operation":"delete_snapshot","count":10,"status":500},)"
                                R"({"operation":"incremental_diff","kind":"delay","delay_ms":60000}]})"));
    // Killed once the server answered its snapshot (the plug-in recorded it).
    CChildProgram killed(ScanArgs({"share1"}), {std::string("AFS_PASSWORD=") + kPassword},
                         strRoot + "/killed");
    WaitUntil([&] { return ReadWholeFile(JobFile(3, "snapinfo")).find(SnapName(3)) != std::string::npos; });
    killed.Signal(SIGKILL);
    EXPECT_EQ(128 + SIGKILL, killed.Wait().nExitStatus);
    kill(ptrSim->Pid(), SIGKILL);  // its delayed answer would hold up a stop
    ptrSim.reset();
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"faults":[{"operation":"delete_snapshot","count":10,"status":500}]})"));
    // Job 4 fails after its snapshot was taken: its map file is a link.
    std::filesystem::create_directories(strStateDir + "/job-4");
    std::filesystem::create_symlink(strRoot + "/nowhere", JobFile(4, "snapmap"));
    ASSERT_EQ(1, RunScan({"share1"}, {"--job-id", "4"}).nExitStatus);
    const std::string strShare = "share " + Share("share1") + ": ";
    ProgramResult list = RunCommand({"snapshots"}, {"share1"}, false);
    EXPECT_EQ(0, list.nExitStatus) << list.strStderr;
    EXPECT_EQ(strShare + "zkop__7_1_1: job 1 (full, ok): full job of the cycle\n" + strShare +
                  "zkop__7_1_2: job 2 (incremental, ok): reference of the next job\n" + strShare +
                  "zkop__7_1_9: job 9: orphan: unknown to the job history\n" + strShare +
                  "zkop__7_1_3: job 3: orphan: the job was killed\n" + strShare +
                  "zkop__7_1_4: job 4 (incremental, failed): orphan: the job failed\n",
              list.strStdout);
    const std::vector<std::string> listAll = Snapshots();
    EXPECT_THAT(RunCommand({"snapshots", "--prune"}, {"share1"}, false).strStdout,
                HasSubstr("killed\n  kept: younger than --min-age 3600 s\n"));
    // --json: one object a line, as the list above.
    EXPECT_THAT(
        RunCommand({"snapshots", "--prune", "--dry-run", "--min-age", "0", "--json"}, {"share1"}, false)
            .strStdout,
        HasSubstr(
            "}\n{\"share\":\"" + Share("share1") +
            "\",\"snapshot\":\"zkop__7_1_3\",\"job_id\":3,\"kind\":null,\"status\":null,\"state\":"
            "\"orphan: the job was killed\",\"orphan\":true,\"action\":\"would delete (--dry-run)\"}\n{"));
    EXPECT_EQ(listAll, Snapshots());
    ASSERT_NO_FATAL_FAILURE(Arm("{}"));
    ProgramResult prune = RunCommand({"snapshots", "--prune", "--min-age", "0"}, {"share1"}, false);
    EXPECT_THAT(prune.strStdout, HasSubstr("killed\n  deleted\n"));
    // Another application's view of this history: no job of it is known, so nothing is its orphan.
    EXPECT_EQ(strShare +
                  "zkop__7_2_1: job 1: orphan: unknown to the job history\n  kept: the job history "
                  "holds no ok job of client 7 and application 2\n",
              Run(ScanArgs({"share1"}, {"--app-id", "2"}, false, {"snapshots", "--prune", "--min-age", "0"}))
                  .strStdout);
    EXPECT_THAT(Snapshots(), ElementsAre(SnapName(1), SnapName(2), "manual", "zkop__7_2_1", "zkop__7_1_keep",
                                         "zkop__7_1_2-before-upgrade"));

    for (const char* pszFile : {"share1/c.txt", "share1/d.txt"}) {
        WriteFile(pszFile, "more\n");
        ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    }
    EXPECT_THAT(
        RunCommand({"jobs"}, {}).strStdout,
        ContainsRegex("\n   6      7    1 incremental    5    1 ok     20[-0-9T:]+Z +[0-9]+       1\n$"));
    EXPECT_THAT(
        RunCommand({"jobs", "--json"}, {}).strStdout,
        ContainsRegex("\\}\n\\{\"id\":6,\"client_id\":7,\"app_id\":1,\"kind\":\"incremental\",\"status\":"
                      "\"ok\",\"previous_job_id\":5,\"full_job_id\":1,\"start_time\":[0-9]+,\"end_time\":"
                      "[0-9]+,\"items\":1,\"changes\":\\{\"ADD\":1,\"MODIFY\":0,\"RENAME\":0,\"DELETE\":"
                      "0,\"OTHER\":0\\}\\}\n$"));
    // --keep-last counts ok jobs: job 7 fails and job 5 stays.
    ASSERT_EQ(5, RunScan({"share1"}, {}, true, "bad").nExitStatus);
    const std::vector<std::string> listHistory = Query("SELECT * FROM jobs");
    // A dry run only reads: it does not wait for the write lock a running job holds.
    sqlite3* ptrJob = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(strDb.c_str(), &ptrJob, SQLITE_OPEN_READWRITE, nullptr));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(ptrJob, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
    EXPECT_THAT(
        RunCommand({"forget", "--keep-last", "2", "--dry-run"}, {}).strStdout,
        ContainsRegex("^would forget job 2 .*\nwould forget job 4 .*\nwould forget 2 jobs, 1 items; would "
                      "keep 4 jobs; nothing changed \\(--dry-run\\)\n$"));
    sqlite3_close_v2(ptrJob);
    EXPECT_EQ(listHistory, Query("SELECT * FROM jobs"));
    // A removal that fails claims none.
    Query("CREATE TRIGGER refuse BEFORE DELETE ON jobs BEGIN SELECT RAISE(ABORT, 'refused'); END",
          SQLITE_OPEN_READWRITE);
    EXPECT_EQ("", RunCommand({"forget", "--keep-last", "2"}, {}).strStdout);
    Query("DROP TRIGGER refuse", SQLITE_OPEN_READWRITE);
    // Another run holds the state folder: forget waits for it, and says so.
    const int nLockFd = open((strStateDir + "/lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(0, flock(nLockFd, LOCK_EX));
    CChildProgram waiting(ScanArgs({}, {}, true, {"forget", "--keep-last", "2", "--lock-wait", "600"}), {},
                          strRoot + "/waiting");
    WaitUntil(
        [&] { return ReadWholeFile(strRoot + "/waiting.err").find("(--lock-wait)\n") != std::string::npos; });
    // Meanwhile the lock file is removed and another run takes a new one: a
    // lock on the old file guards nothing, forget must hold the new one.
    const int nNewFd = open((strStateDir + "/lock.new").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_TRUE(flock(nNewFd, LOCK_EX) == 0 &&
                rename((strStateDir + "/lock.new").c_str(), (strStateDir + "/lock").c_str()) == 0);
    close(nLockFd);
    close(nNewFd);
    const std::string strForgetPid = std::to_string(waiting.Pid()) + "\n";
    ProgramResult forget = waiting.Wait();
    EXPECT_EQ(strForgetPid, ReadWholeFile(strStateDir + "/lock"));
    EXPECT_EQ(0, forget.nExitStatus) << forget.strStderr;
    EXPECT_THAT(forget.strStderr, ContainsRegex("^afs-scan: state folder " + strStateDir +
                                                " is in use by another afs-scan run \\(process [0-9]+\\); "
                                                "waiting up to 600 s \\(--lock-wait\\)\n$"));
    EXPECT_THAT(forget.strStdout,
                ContainsRegex("^forgot job 2 \\(incremental, ok, started [^)]+\\): 1 items\nforgot job 4 "
                              "\\(incremental, failed, .*\nforgot 2 jobs, 1 items; kept 4 "
                              "jobs; scan database [0-9]+ -> [0-9]+ bytes"));
    EXPECT_THAT(Query("SELECT id FROM jobs UNION SELECT job_id FROM items ORDER BY 1"),
                ElementsAre("1", "5", "6", "7"));
    // The records go with the rows; a killed job's folder still counts.
    std::vector<bool> listFolders;
    for (int nJob = 1; nJob <= 7; ++nJob)
        listFolders.push_back(std::filesystem::exists(strStateDir + "/job-" + std::to_string(nJob)));
    EXPECT_THAT(listFolders, ElementsAre(true, false, true, false, true, true, true));
}

}  // namespace
}  // namespace afs_test
