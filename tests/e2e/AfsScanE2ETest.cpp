// afs-scan driving the built plug-in against the afs-sim program as a backup
// host runs jobs, checked where a user looks: the scan database and its job
// history, the record files, the snapshots and the messages.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class AfsScanE2ETest : public CScanFixture {
protected:
    // Sets the access time the rows must carry ahead, so that reading the
    // file for a snapshot does not move it.
    void Stamp(const std::vector<std::string>& listRelative) {
        const timespec arrTimes[2] = {{2000000000, 0}, {1000000000, 0}};
        for (const std::string& strRelative : listRelative)
            ASSERT_EQ(0, utimensat(AT_FDCWD, Share(strRelative).c_str(), arrTimes, AT_SYMLINK_NOFOLLOW));
    }
};

// Share "plain" is not offered for backup; share2's reference snapshot is
// deleted behind the host's back before job 2. Which items each job stores,
// and their attributes but the access time, are the chain test's.
TEST_F(AfsScanE2ETest, FullJobThenTwoIncrementalsStoreExactlyTheChanges) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share1/docs/c.txt", "charlie\n");
    WriteFile("share1/old/x.txt", "x-ray\n");
    WriteFile("share2/data.txt", "data\n");
    WriteFile("plain/p.txt", "plain\n");
    WriteMountTable({"share1", "share2", "plain"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--share-capabilities", "plain=SMB_ONLY"}));
    ProgramResult run1 = RunScan({"share1", "share2", "plain"});
    ASSERT_EQ(3, run1.nExitStatus) << run1.strStderr;  // "plain" was asked for and not backed up
    EXPECT_THAT(run1.strStdout, ::testing::AllOf(HasSubstr("job 1 (full, previous job 0, full job 1): ok"),
                                                 HasSubstr("share " + Share("plain") + ": not backed up")));
    EXPECT_FALSE(std::filesystem::exists(Share("plain/.snapshot")));
    EXPECT_EQ(Share("share1") + ":" + SnapName(1) + "@127.0.0.1:/share1:" + SnapPath("share1", 1) + "\n" +
                  Share("share2") + ":" + SnapName(1) + "@127.0.0.1:/share2:" + SnapPath("share2", 1) + "\n",
              ReadWholeFile(JobFile(1, "snapinfo")));
    EXPECT_EQ("m:" + Share("share1") + ":" + SnapPath("share1", 1) + ":\nm:" + Share("share2") + ":" +
                  SnapPath("share2", 1) + ":\nm:" + strSharesDir + ":/127.0.0.1:\n",
              ReadWholeFile(JobFile(1, "snapmap")));

    ASSERT_EQ(200, Api("DELETE", kApi + "mount_target_snapshots/" + Snapshots("share2", true).at(0)).status);
    WriteFile("share1/new.txt", "new\n");
    WriteFile("share1/a.txt", "more\n", true);
    ASSERT_NO_FATAL_FAILURE(Stamp({"share1/a.txt", "share1/new.txt"}));
    std::filesystem::rename(Share("share1/docs/c.txt"), Share("share1/docs/c2.txt"));
    std::filesystem::remove(Share("share1/old/x.txt"));
    WriteFile("share2/reports/r1.txt", "r1\n");
    WriteFile("plain/q.txt", "never reported\n");
    ProgramResult run2 =
        RunScan({"share1", "share2", "plain"}, {"--jsonl", "--summary-json", strRoot + "/job2.json"});
    ASSERT_EQ(3, run2.nExitStatus) << run2.strStderr;
    // A reader that holds job 2's view keeps job 4's checkpoint from copying job 3.
    sqlite3* ptrReader = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(strDb.c_str(), &ptrReader, SQLITE_OPEN_READONLY, nullptr));
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(ptrReader, "BEGIN; SELECT COUNT(*) FROM jobs", nullptr, nullptr, nullptr));
    EXPECT_THAT(run2.strStdout,
                HasSubstr("\"path\":\"/127.0.0.1/share1/docs/c2.txt\",\"old_path\":\"/127.0.0.1/"
                          "share1/docs/c.txt\",\"change_type\":\"RENAME\",\"is_dir\":false,\"size\":8"));
    // With --jsonl the summary goes to standard error.
    EXPECT_THAT(run2.strStderr,
                ::testing::AllOf(HasSubstr("job 2 (incremental, previous job 1, full job 1): ok"),
                                 HasSubstr("share " + Share("share2") + ": full listing: ADD 3,"),
                                 HasSubstr(Share("share2") + ": it has no reference snapshot of job 1")));
    EXPECT_THAT(
        ReadWholeFile(strRoot + "/job2.json"),
        HasSubstr("\"status\":\"ok\",\"error\":\"\",\"shares\":[{\"mount_path\":\"" + Share("share1") +
                  "\",\"scan_path\":\"/127.0.0.1/share1\",\"snapshot_path\":\"" + SnapPath("share1", 2) +
                  "\",\"mode\":\"snapshot difference\",\"status\":\"ok\",\"reason\":\"\",\"items\":6,"));

    // A small job's access times (a deletion's of the older entry) and its history record.
    std::filesystem::remove(Share("share1/a.txt"));
    std::filesystem::rename(Share("share1/new.txt"), Share("share1/moved.txt"));
    WriteFile("share2/data.txt", "more data\n", true);
    std::filesystem::create_symlink("moved.txt", Share("share1/link"));
    ASSERT_NO_FATAL_FAILURE(Stamp({"share2/data.txt", "share1/link"}));
    const long long llStart = std::time(nullptr);
    ProgramResult run3 = RunScan({"share1", "share2", "plain"});
    ASSERT_EQ(3, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(Query("SELECT DISTINCT atime FROM items WHERE job_id = 3"), ElementsAre("2000000000"));
    EXPECT_THAT(Query("SELECT id, client, app, kind, previous, full, status, adds, modifies, renames, "
                      "deletes, others FROM "
                      "jobs WHERE id = 3 AND end_time >= start_time AND start_time >= " +
                      std::to_string(llStart)),
                ElementsAre("3|7|1|incremental|2|1|ok|1|1|1|1|0"));
    EXPECT_EQ(9u, Rows("SELECT * FROM items WHERE job_id = 2").size()) << "job 3 touched job 2's rows";

    ASSERT_EQ(3, RunScan({"share1", "share2", "plain"}).nExitStatus);
    sqlite3_close_v2(ptrReader);
    EXPECT_THAT(ReadWholeFile(strStateDir + "/afs-scan.log"),
                HasSubstr("scan database " + strDb + ": the checkpoint could not complete: "));

    const auto llLogBytes = std::filesystem::file_size(strDb + "-wal");
    EXPECT_EQ(1, RunScan({"plain"}).nExitStatus);  // nothing to back up
    EXPECT_THAT(Query("SELECT id || ' ' || status FROM jobs"),
                ElementsAre("1 ok", "2 ok", "3 ok", "4 ok", "5 failed"));
    // Each job copies the log into the database file first, so the log
    // starts over and the file alone holds every job but the last.
    EXPECT_LE(std::filesystem::file_size(strDb + "-wal"), llLogBytes);
    std::filesystem::copy_file(strDb, strRoot + "/alone.db");
    EXPECT_THAT(Query("SELECT group_concat(id) FROM jobs", SQLITE_OPEN_READWRITE, strRoot + "/alone.db"),
                ElementsAre("1,2,3,4"));
    // What the jobs wrote is private.
    EXPECT_EQ(0700, static_cast<int>(std::filesystem::status(strStateDir).permissions()));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strStateDir)) {
        SCOPED_TRACE(entry.path());
        EXPECT_EQ(entry.is_directory() ? 0700 : 0600, static_cast<int>(entry.symlink_status().permissions()));
    }
    for (const char* pszSuffix : {"", "-wal", "-shm"})
        EXPECT_EQ(0600, static_cast<int>(std::filesystem::status(strDb + pszSuffix).permissions()))
            << pszSuffix;
}

// A second state folder with the same client and application ids (a typo
// in --state, a test run) must not make either history miss a change.
TEST_F(AfsScanE2ETest, RegressionSecondStateFolderWithTheSameIdsBreaksNoChain) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    const std::vector<std::string> listOther{"--state", strRoot + "/other", "--db",
                                             strRoot + "/other/scan.db"};
    ProgramResult refused = RunScan({"share1"}, listOther);
    EXPECT_EQ(2, refused.nExitStatus);
    EXPECT_EQ(
        "afs-scan: the file server holds snapshots of client 7 and application 1 that this history does not "
        "know (share1:zkop__7_1_1): another state folder backs up with these ids; use that --state, or other "
        "--client-id/--app-id, or --take-over to let this job delete them\n",
        refused.strStderr.substr(refused.strStderr.find('\n') + 1));
    EXPECT_FALSE(std::filesystem::exists(strRoot + "/other/job-1"));
    // Taken over, the other history deletes our job 1's snapshot and makes its
    // own of that name (that no change is lost then is the chain test's).
    std::vector<std::string> listTakeOver = listOther;
    listTakeOver.push_back("--take-over");
    ASSERT_EQ(0, RunScan({"share1"}, listTakeOver).nExitStatus);
    ProgramResult run2 = RunScan({"share1"});
    EXPECT_EQ(0, run2.nExitStatus) << run2.strStderr;
    EXPECT_THAT(run2.strStderr,
                HasSubstr("share " + Share("share1") + ": the file server's snapshot zkop__7_1_1 (UUID "));

    // A third state folder on our database finishes job 3 of client 8 while
    // our job 3 waits for the server: ours must leave that job alone.
    ASSERT_NO_FATAL_FAILURE(
        Arm(R"({"faults":[{"operation":"get_partner_server","kind":"delay","delay_ms":1000}]})"));
    CChildProgram held(ScanArgs({"share1"}), {std::string("AFS_PASSWORD=") + kPassword}, strRoot + "/held");
    WaitUntil([&] { return std::filesystem::exists(JobFile(3, "")); });
    held.Signal(SIGSTOP);
    ASSERT_NO_FATAL_FAILURE(Arm("{}"));
    ASSERT_EQ(0, RunScan({"share1"}, {"--state", strRoot + "/third", "--client-id", "8"}).nExitStatus);
    held.Signal(SIGCONT);
    EXPECT_THAT(held.Wait().strStderr, HasSubstr("afs-scan: job failed: job 3 was recorded by another "));
    EXPECT_THAT(Query("SELECT id || ' ' || client || ' ' || status FROM jobs WHERE id = 3"),
                ElementsAre("3 8 ok"));
}

// Options that would make a job compare against what the host does not
// hold: another naming of the items, a reference older than the last good
// job, a good job run again.
TEST_F(AfsScanE2ETest, RegressionOnlyTheLastGoodJobUnderTheSameNamesIsAReference) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);
    const std::string strListed = "; listing its whole snapshot ";
    ProgramResult run = RunScan({"share1"}, {}, false);  // job 3 without --map
    EXPECT_THAT(run.strStderr, HasSubstr(": job 2 named its items below /127.0.0.1/share1, this job below " +
                                         Share("share1") + strListed));
    run = RunScan({"share1"}, {"--previous-job-id", "2"});
    EXPECT_THAT(run.strStderr, HasSubstr(": job 3 backed it up after job 2" + strListed));
    run = RunScan({"share1"}, {"--job-id", "3"});
    EXPECT_EQ(2, run.nExitStatus);
    EXPECT_THAT(run.strStderr,
                HasSubstr("afs-scan: job 3 ended ok already: a new run would rewrite what later jobs "
                          "rest on; give another --job-id, or none\n"));
    // An incremental job numbered below a good one would fork the chain.
    ASSERT_EQ(0, RunScan({"share1"}, {"--job-id", "9"}).nExitStatus);
    run = RunScan({"share1"}, {"--job-id", "5", "--previous-job-id", "4"});
    EXPECT_EQ(2, run.nExitStatus);
    EXPECT_THAT(run.strStderr,
                HasSubstr("afs-scan: job 9 of client 7 and application 1 ended ok already: an incremental "
                          "job 5 would come before it in the chain; give a --job-id above 9, or --full\n"));
}

// A state folder of the former kind: history in jobs.txt, and rows of a
// killed job 2 left behind in the database.
TEST_F(AfsScanE2ETest, FormerHistoryFileIsTakenOverOnceAndNoLongerWritten) {
    WriteMountTable({"share1"});
    WriteFile("share1/a.txt", "alpha\n");
    std::filesystem::create_directories(strStateDir);
    const std::string strOldHistory =
        "1 running full 7 1 0 1\n1 ok full 7 1 0 1\n2 running incremental 7 1 1 1\n";
    std::ofstream(strStateDir + "/jobs.txt") << strOldHistory;
    Query(
        "CREATE TABLE items (job_id, path, old_path, change_type, is_dir, size, inode, atime, mtime, ctime);"
        "INSERT INTO items VALUES (1, '/a', '', 'ADD', 0, 1, 2, 3, 4, 5), (2, '/b', '', 'DELETE', 0, 1, 2, "
        "3, 4, 5)",
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);

    // No server: job 3 fails at its first request, after the take-over.
    ProgramResult run = RunScan({"share1"});
    EXPECT_EQ(4, run.nExitStatus);
    EXPECT_THAT(run.strStdout, HasSubstr("job 3 (incremental, previous job 1, full job 1): FAILED"));
    EXPECT_THAT(Query("SELECT id, client, app, kind, previous, full, status, start_time IS NULL, adds, "
                      "deletes FROM jobs"),
                ElementsAre("1|7|1|full|0|1|ok|1|1|0", "2|7|1|incremental|1|1|failed|1|0|0",
                            "3|7|1|incremental|1|1|failed|0|0|0"));
    EXPECT_THAT(Query("SELECT job_id, path FROM items"), ElementsAre("1|/a"));
    EXPECT_THAT(Query("PRAGMA user_version; SELECT COUNT(*) FROM job_shares"), ElementsAre("1", "0"));

    std::ofstream(strStateDir + "/jobs.txt", std::ios::app) << "9 ok full 7 1 0 9\n";
    run = RunScan({"share1"});
    EXPECT_THAT(run.strStdout, HasSubstr("job 4 (incremental, previous job 1, full job 1): FAILED"));
    EXPECT_EQ(strOldHistory + "9 ok full 7 1 0 9\n", ReadWholeFile(strStateDir + "/jobs.txt"));
}

}  // namespace
}  // namespace afs_test
