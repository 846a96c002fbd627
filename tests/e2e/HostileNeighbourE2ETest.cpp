// Local users who prepare the files a backup writes, items outside the
// snapshots and names no JSON string can hold: the job refuses what it must
// not follow, counts what it skips (the share is then partial) and goes on.
// (A server that misbehaves on purpose is a row of FaultE2ETest's table.)
#include <sys/stat.h>

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::HasSubstr;

using HostileNeighbourE2ETest = CScanFixture;

TEST_F(HostileNeighbourE2ETest, SkippedItemsAreCountedAndOddNamesStayValidJson) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    // Odd values too: null, empty and year-1 times, a lone surrogate in a name.
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"foreign_paths":2,"odd_paths":6})"));
    // A level past int's range asks for everything: the count must not be lost with the lines.
    WriteSettings(0, 60, "[Host]\nLogLevel = 4294967295\n");
    ProgramResult run3 = RunJob();
    EXPECT_EQ(3, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(
        run3.strStderr,
        HasSubstr(
            "afs-scan: 6 items of the snapshot difference were skipped: outside the compared snapshots\n"
            "afs-scan: 1 items of the snapshot difference were skipped: their paths cannot be file names "
            "here"));
    EXPECT_THAT(run3.strStdout,
                HasSubstr("share " + Share("share1") +
                          ": partial: 7 items of its difference were skipped; the next job lists it in "
                          "full\n"));
    // A partial share is no reference: the next job lists it in full.
    ASSERT_NO_FATAL_FAILURE(Arm("{}"));
    ProgramResult run4 = RunJob();
    EXPECT_EQ(0, run4.nExitStatus) << run4.strStderr;
    EXPECT_THAT(run4.strStderr,
                HasSubstr(": job 3 backed it up only in part (7 items of its difference were skipped); "
                          "listing its whole snapshot "));
    WriteFile("share1/bad\xff\"\n.txt", "odd\n");
    ProgramResult full = RunScan({"share1"}, {"--full", "--list-full", "--jsonl"});
    ASSERT_EQ(0, full.nExitStatus) << full.strStderr;
    simdjson::dom::parser parser;
    std::istringstream lines(full.strStdout);
    int nOddNames = 0;
    for (std::string strLine; std::getline(lines, strLine);) {
        simdjson::dom::element line;
        ASSERT_EQ(simdjson::SUCCESS, parser.parse(strLine).get(line)) << strLine;
        nOddNames +=
            strLine.find(R"(/bad\ufffd\"\n.txt")") != std::string::npos &&
            strLine.find(R"("path_base64":"LzEyNy4wLjAuMS9zaGFyZTEvYmFk/yIKLnR4dA==")") != std::string::npos;
    }
    EXPECT_EQ(1, nOddNames) << full.strStdout << full.strStderr;
}

TEST_F(HostileNeighbourE2ETest, PlantedLinksFifosAndOpenFoldersAreRefusedAndTheJobGoesOn) {
    const std::string strOpen = strRoot + "/open", strMine = strRoot + "/mine";
    ASSERT_EQ(0, mkdir(strOpen.c_str(), 0700) + chmod(strOpen.c_str(), 0777) + mkdir(strMine.c_str(), 0700));
    std::ofstream(strRoot + "/victim") << "keep\n";
    std::filesystem::create_symlink(strRoot + "/victim", strMine + "/afs-host.log");
    ASSERT_EQ(0, mkfifo((strOpen + "/afs-rest-client.log").c_str(), 0666));
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());

    WriteSettings(0, 60, "[EventManager]\ndEVLOGDIR = " + strOpen + "\n");
    ProgramResult run3 = RunScan({"share1"}, {"--log", strMine + "/afs-host.log"});
    EXPECT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStderr,
                ::testing::AllOf(
                    HasSubstr("host log: cannot open " + strMine + "/afs-host.log"),
                    HasSubstr("REST request log: refusing folder " + strOpen + ": writable by every user")));
    EXPECT_EQ("keep\n", ReadWholeFile(strRoot + "/victim"));

    chmod(strOpen.c_str(), 0700);
    ProgramResult run4 = RunScan({"share1"});
    EXPECT_EQ(0, run4.nExitStatus) << run4.strStderr;
    EXPECT_THAT(run4.strStderr, HasSubstr("REST request log: refusing to write " + strOpen +
                                          "/afs-rest-client.log: not a regular file"));
}

TEST_F(HostileNeighbourE2ETest, LinksPlantedInTheStateFoldersAreNotFollowed) {
    const std::string strVictim = strRoot + "/victim";
    std::ofstream(strVictim) << "keep\n";
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    std::filesystem::create_directories(strStateDir);
    std::filesystem::create_symlink(strVictim, strStateDir + "/lock");
    std::filesystem::create_symlink(strVictim, strRoot + "/sim-state/partner_servers.json.tmp");
    const char* const kLink =
        ": Too many levels of symbolic links (a symbolic link; remove it or choose another folder)";

    // A configuration to mend, not a failed job: nothing started.
    ProgramResult locked = RunJob();
    EXPECT_EQ(2, locked.nExitStatus);
    EXPECT_THAT(locked.strStderr, HasSubstr("lock file " + strStateDir +
                                            "/lock is a symbolic link, not a regular file: remove it"));
    std::filesystem::remove(strStateDir + "/lock");
    ProgramResult partner = RunJob();
    EXPECT_EQ(1, partner.nExitStatus);
    EXPECT_THAT(partner.strStderr, HasSubstr("sim-state/partner_servers.json.tmp" + std::string(kLink)));
    EXPECT_EQ("keep\n", ReadWholeFile(strVictim));
}

}  // namespace
}  // namespace afs_test
