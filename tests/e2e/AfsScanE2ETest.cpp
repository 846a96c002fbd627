// afs-scan driving the built plug-in against the afs-sim program, as a
// backup host runs backup jobs: the results are read back from the scan
// database, the record files and the job history.
#include <signal.h>
#include <sys/stat.h>

#include <gmock/gmock.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/e2e/ScanTestBase.h"
#include "tests/e2e/SimulatorAdmin.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class AfsScanE2ETest : public CScanTestBase {
protected:
    std::string JobFile(long long llJobId, const char* pszName) const {
        return strStateDir + "/job-" + std::to_string(llJobId) + "/" + pszName;
    }
    std::string SnapName(long long llJobId) const { return "zkop__7_1_" + std::to_string(llJobId); }
    std::string SnapInfoLine(const std::string& strShare, long long llJobId) const {
        return Share(strShare) + ":" + SnapName(llJobId) + "@127.0.0.1:/" + strShare + ":" + Share(strShare) +
               "/.snapshot/" + SnapName(llJobId) + "\n";
    }
    std::string SnapMapLine(const std::string& strShare, long long llJobId) const {
        return "m:" + Share(strShare) + ":" + Share(strShare) + "/.snapshot/" + SnapName(llJobId) + ":\n";
    }
    // The newest status of every job in the history, "JOB STATUS" per entry.
    std::vector<std::string> JobStatuses() const {
        std::ifstream in(strStateDir + "/jobs.txt");
        std::vector<std::string> listStatuses;
        long long llJob = 0;
        std::string strStatus;
        std::string strRest;
        while (in >> llJob >> strStatus && std::getline(in, strRest)) {
            const std::string strEntry = std::to_string(llJob) + " " + strStatus;
            bool bKnown = false;
            for (std::string& existing : listStatuses) {
                if (existing.compare(0, existing.find(' '), std::to_string(llJob)) == 0) {
                    existing = strEntry;
                    bKnown = true;
                }
            }
            if (!bKnown) listStatuses.push_back(strEntry);
        }
        return listStatuses;
    }
};

TEST_F(AfsScanE2ETest, FullJobThenTwoIncrementalsStoreExactlyTheChanges) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share1/docs/c.txt", "charlie\n");
    WriteFile("share1/old/x.txt", "x-ray\n");
    WriteFile("share2/data.txt", "data\n");
    WriteMountTable({"share1", "share2"});
    StartSimulator();

    ProgramResult run1 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run1.nExitStatus) << run1.strStderr;
    EXPECT_THAT(run1.strStdout, HasSubstr("job 1 (full, previous job 0, full job 1): ok"));
    EXPECT_THAT(Items(1), IsEmpty());
    EXPECT_EQ(SnapInfoLine("share1", 1) + SnapInfoLine("share2", 1), ReadWholeFile(JobFile(1, "snapinfo")));
    EXPECT_EQ(SnapMapLine("share1", 1) + SnapMapLine("share2", 1) + "m:" + strSharesDir + ":/127.0.0.1:\n",
              ReadWholeFile(JobFile(1, "snapmap")));
    EXPECT_EQ("alpha\n", ReadWholeFile(Share("share1/.snapshot/" + SnapName(1) + "/a.txt")));

    WriteFile("share1/new.txt", "new\n");
    AppendFile("share1/a.txt", "more\n");
    Rename("share1/docs/c.txt", "share1/docs/c2.txt");
    Remove("share1/old/x.txt");
    MakeDir("share2/reports");
    WriteFile("share2/reports/r1.txt", "r1\n");
    ProgramResult run2 = RunScan({"share1", "share2"}, {"--jsonl", "--summary-json", strRoot + "/job2.json"});
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    EXPECT_THAT(Items(2),
                ElementsAre("ADD /127.0.0.1/share1/new.txt", "ADD /127.0.0.1/share2/reports",
                            "ADD /127.0.0.1/share2/reports/r1.txt", "DELETE /127.0.0.1/share1/old/x.txt",
                            "MODIFY /127.0.0.1/share1/a.txt", "MODIFY /127.0.0.1/share1/docs",
                            "MODIFY /127.0.0.1/share1/old",
                            "RENAME /127.0.0.1/share1/docs/c2.txt <- /127.0.0.1/share1/docs/c.txt"));
    EXPECT_THAT(run2.strStdout,
                HasSubstr("\"path\":\"/127.0.0.1/share1/docs/c2.txt\",\"old_path\":\"/127.0.0.1/"
                          "share1/docs/c.txt\",\"change_type\":\"RENAME\",\"is_dir\":false,\"size\":8"));
    EXPECT_THAT(run2.strStderr, HasSubstr("job 2 (incremental, previous job 1, full job 1): ok"));
    EXPECT_THAT(ReadWholeFile(strRoot + "/job2.json"), HasSubstr("\"status\":\"ok\""));
    EXPECT_THAT(ReadWholeFile(strRoot + "/job2.json"),
                HasSubstr("\"mode\":\"snapshot difference\",\"items\":6,\"seconds\":"));

    AppendFile("share2/data.txt", "more data\n");
    Rename("share1/new.txt", "share1/docs/moved.txt");
    Remove("share1/old");
    ProgramResult run3 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStdout, HasSubstr("job 3 (incremental, previous job 2, full job 1): ok"));
    EXPECT_THAT(Items(3),
                ElementsAre("DELETE /127.0.0.1/share1/old", "MODIFY /127.0.0.1/share1/docs",
                            "MODIFY /127.0.0.1/share2/data.txt",
                            "RENAME /127.0.0.1/share1/docs/moved.txt <- /127.0.0.1/share1/new.txt"));
    EXPECT_EQ(8, CountItems(2)) << "a later job must not touch an earlier job's rows";
    EXPECT_THAT(JobStatuses(), ElementsAre("1 ok", "2 ok", "3 ok"));
}

TEST_F(AfsScanE2ETest, ShareWithoutBackupCapabilityIsNotBackedUp) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("plain/p.txt", "plain\n");
    WriteMountTable({"share1", "plain"});
    StartSimulator({"--share-capabilities", "plain=SMB_ONLY"});

    ProgramResult run1 = RunScan({"share1", "plain"}, {}, false);
    ASSERT_EQ(0, run1.nExitStatus) << run1.strStderr;
    EXPECT_THAT(run1.strStdout, HasSubstr("share " + Share("plain") + ": not backed up"));
    EXPECT_THAT(run1.strStderr, HasSubstr("no CFT_BACKUP capability"));
    EXPECT_FALSE(std::filesystem::exists(Share("plain/.snapshot")));
    EXPECT_EQ(SnapInfoLine("share1", 1), ReadWholeFile(JobFile(1, "snapinfo")));

    WriteFile("share1/b.txt", "bravo\n");
    WriteFile("plain/q.txt", "never reported\n");
    ProgramResult run2 = RunScan({"share1", "plain"}, {}, false);
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    // Without --map the plug-in reports items under the mount path.
    EXPECT_THAT(Items(2), ElementsAre("ADD " + Share("share1/b.txt")));

    ProgramResult run3 = RunScan({"plain"}, {}, false);
    EXPECT_EQ(1, run3.nExitStatus);
    EXPECT_THAT(run3.strStderr,
                HasSubstr("Nothing to be back-up since all volumes are not CFT_BACKUP marked"));
    EXPECT_THAT(JobStatuses(), ElementsAre("1 ok", "2 ok", "3 failed"));
}

TEST_F(AfsScanE2ETest, DeletedReferenceSnapshotFallsBackToAFullListing) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share1/sub/b.txt", "bravo\n");
    WriteFile("share2/c.txt", "charlie\n");
    WriteMountTable({"share1", "share2"});
    StartSimulator();
    ProgramResult run1 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run1.nExitStatus) << run1.strStderr;

    ASSERT_EQ("", DeleteShareSnapshot(ptrSim->Origin(), "admin", kPassword, "share1", SnapName(1)));
    WriteFile("share1/new.txt", "new\n");
    WriteFile("share2/d.txt", "delta\n");
    ProgramResult run2 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    EXPECT_THAT(run2.strStderr,
                HasSubstr("share " + Share("share1") + " has no reference snapshot of job 1"));
    EXPECT_THAT(run2.strStdout, HasSubstr("share " + Share("share1") + ": full listing: ADD 4,"));
    EXPECT_THAT(run2.strStdout, HasSubstr("share " + Share("share2") + ": snapshot difference: ADD 1,"));
    EXPECT_THAT(Items(2), ElementsAre("ADD /127.0.0.1/share1/a.txt", "ADD /127.0.0.1/share1/new.txt",
                                      "ADD /127.0.0.1/share1/sub", "ADD /127.0.0.1/share1/sub/b.txt",
                                      "ADD /127.0.0.1/share2/d.txt"));
}

TEST_F(AfsScanE2ETest, ServerStoppedMidJobFailsCleanlyAndTheNextJobSucceeds) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share2/c.txt", "charlie\n");
    WriteMountTable({"share1", "share2"});
    // The difference pages never come, so the job is surely inside the
    // comparison when the server goes away.
    std::ofstream(strRoot + "/hang.json")
        << R"({"faults":[{"operation":"diff_page","kind":"delay","delay_ms":120000}]})";
    StartSimulator({"--scenario", strRoot + "/hang.json"});
    ProgramResult run1 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run1.nExitStatus) << run1.strStderr;

    WriteFile("share1/new.txt", "new\n");
    CChildProgram job2(ScanArgs({"share1", "share2"}, {}, true), {std::string("AFS_PASSWORD=") + kPassword},
                       strRoot + "/job2");
    ASSERT_TRUE(job2.IsRunning());
    // Both snapshots are taken once both record lines are there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ReadWholeFile(JobFile(2, "snapinfo")) != SnapInfoLine("share1", 2) + SnapInfoLine("share2", 2)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "job 2 never took its snapshots";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(ptrSim->Pid(), SIGKILL);
    StopSimulator();

    ProgramResult run2 = job2.Wait();
    EXPECT_EQ(1, run2.nExitStatus);
    EXPECT_THAT(run2.strStdout, HasSubstr("job 2 (incremental, previous job 1, full job 1): FAILED"));
    EXPECT_THAT(run2.strStderr, HasSubstr("afs-scan: error: CompareSnapAndLoadItem threw: "));
    EXPECT_THAT(run2.strStderr, Not(HasSubstr(kPassword)));
    EXPECT_EQ(SnapInfoLine("share1", 2) + SnapInfoLine("share2", 2), ReadWholeFile(JobFile(2, "snapinfo")));
    EXPECT_EQ(SnapMapLine("share1", 2) + SnapMapLine("share2", 2) + "m:" + strSharesDir + ":/127.0.0.1:\n",
              ReadWholeFile(JobFile(2, "snapmap")));
    EXPECT_THAT(Items(2), IsEmpty());
    EXPECT_THAT(JobStatuses(), ElementsAre("1 ok", "2 failed"));

    StartSimulator();
    ProgramResult run3 = RunScan({"share1", "share2"});
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStdout, HasSubstr("job 3 (incremental, previous job 1, full job 1): ok"));
    EXPECT_THAT(Items(3), ElementsAre("ADD /127.0.0.1/share1/new.txt"));
}

TEST_F(AfsScanE2ETest, WrongPasswordFailsWithAClearErrorAndIsNotAReference) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    StartSimulator();

    ProgramResult run1 = RunScan({"share1"}, {}, true, "not-the-password");
    EXPECT_EQ(1, run1.nExitStatus);
    EXPECT_THAT(run1.strStderr, HasSubstr("afs-scan: error: "));
    EXPECT_THAT(run1.strStderr, HasSubstr("401"));
    EXPECT_THAT(run1.strStderr, Not(HasSubstr("not-the-password")));
    EXPECT_FALSE(std::filesystem::exists(Share("share1/.snapshot/" + SnapName(1))));

    ProgramResult run2 = RunScan({"share1"});
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    EXPECT_THAT(run2.strStdout, HasSubstr("job 2 (full, previous job 0, full job 2): ok"));
    EXPECT_THAT(JobStatuses(), ElementsAre("1 failed", "2 ok"));
}

TEST_F(AfsScanE2ETest, PluginThatCannotBeLoadedIsNamedInTheError) {
    WriteMountTable({"share1"});
    MakeDir("share1");
    ProgramResult run = RunScan({"share1"}, {"--plugin", strRoot + "/missing/libNutanixAFSManager.so"});
    EXPECT_EQ(1, run.nExitStatus);
    EXPECT_THAT(run.strStderr, HasSubstr("cannot load the plug-in (tried " + strRoot +
                                         "/missing/libNutanixAFSManager.so: "));
    EXPECT_THAT(run.strStderr, HasSubstr("No such file or directory"));
}

TEST_F(AfsScanE2ETest, UsageErrorsAreRefusedBeforeAnyWork) {
    WriteMountTable({"share1"});
    MakeDir("share1");
    ProgramResult password = RunScan({"share1"}, {"--password", "secret"});
    EXPECT_EQ(2, password.nExitStatus);
    EXPECT_THAT(password.strStderr, HasSubstr("--password is not accepted"));
    ProgramResult unmounted = RunScan({"share1"}, {"--scan-path", strRoot + "/elsewhere"});
    EXPECT_EQ(1, unmounted.nExitStatus);
    EXPECT_THAT(unmounted.strStderr,
                HasSubstr("scan path " + strRoot + "/elsewhere is on no share of the mount table"));
    EXPECT_FALSE(std::filesystem::exists(strStateDir + "/jobs.txt"));
}

TEST_F(AfsScanE2ETest, RegressionSymlinksAndOddSpellingsReachTheScanDatabase) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    StartSimulator();
    ASSERT_EQ(0, RunScan({"share1"}).nExitStatus);

    std::filesystem::create_symlink("a.txt", Share("share1/link"));  // reported as "SYMLINK"
    ProgramResult run2 = RunScan({"share1"}, {"--jsonl"});
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    EXPECT_THAT(Items(2), ElementsAre("ADD /127.0.0.1/share1/link"));
    EXPECT_THAT(run2.strStdout, HasSubstr("\"change_type\":\"ADD\",\"is_dir\":false"));

    // Lower-case types, nine fraction digits and "+00:00": unknown operations
    // are OTHER, unknown object types regular files, and the times are read.
    StopSimulator();
    std::ofstream(strRoot + "/odd.json") << R"({"odd_spellings": 1})";
    StartSimulator({"--scenario", strRoot + "/odd.json"});
    MakeDir("share1/d");
    struct stat attributes {};
    ASSERT_EQ(0, lstat(Share("share1/d").c_str(), &attributes));
    ProgramResult run3 = RunScan({"share1"}, {"--jsonl"});
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(Items(3), ElementsAre("OTHER /127.0.0.1/share1/d"));
    EXPECT_THAT(run3.strStdout, HasSubstr("\"change_type\":\"OTHER\",\"is_dir\":false"));
    EXPECT_THAT(run3.strStdout, HasSubstr("\"mtime\":" + std::to_string(attributes.st_mtime) + ","));
}

}  // namespace
}  // namespace afs_test
