// A file server that misbehaves on purpose, and local users who prepare the
// files a backup writes: each job ends within seconds, with a clear error or
// a clear refusal, and the next job reports exactly what the first did not.
#include <gmock/gmock.h>
#include <simdjson.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct HostileServer {
    const char* pszName;
    const char* pszScenario;          // armed before job 3
    std::vector<std::string> listArgs;  // more afs-scan options for job 3
    const char* pszAddedFile;         // created in share1 before job 3, removed after
    std::vector<std::string> listErrorTexts;
};

const HostileServer kHostileServers[] = {
    {"DiffTokenComesBack", R"({"hostile_paging":1})", {}, nullptr,
     {"get_mount_target_snapshot_diff paging stopped: the page token came back [2]"}},
    {"DifferenceListedTwice", R"({"hostile_paging":2})", {}, nullptr, {"is listed twice"}},
    {"ListEntityComesBack", R"({"hostile_paging":3})", {}, nullptr, {"paging stopped: entity [", "came back at offset 1"}},
    {"ListTotalMoves", R"({"hostile_paging":4})", {}, nullptr, {"paging stopped: the total changed from"}},
    {"EndlessNewItems", R"({"synthetic":100000000})", {"--max-items", "5"}, nullptr,
     {"the difference holds more than 5 items ([FileSystemAgent] MaxDiffItems)"}},
    {"ItemInAnotherSnapshot", R"({"foreign_paths":1})", {}, nullptr,
     {"/.snapshot/other/", "is in neither snapshot of the difference"}},
    {"NameNotUtf8", "{}", {}, "bad\xff.txt", {"HTTP 500: the difference holds a name that is not valid UTF-8"}},
    {"EchoedCredentials", R"({"echo_authorization":1,"faults":[{"operation":"list_mount_targets","status":500}]})",
     {}, nullptr, {"simulated failure; Authorization: ***"}},
};

void PrintTo(const HostileServer& server, std::ostream* ptrOut) { *ptrOut << server.pszName; }

class HostileServerE2ETest : public CScanFixture, public ::testing::WithParamInterface<HostileServer> {
protected:
    // Job 3 failed: exit status 1, the summary says FAILED, the error chain
    // holds every text, no item rows, the job history says "failed".
    void ExpectFailedJob(const ProgramResult& run, const std::vector<std::string>& listTexts) {
        EXPECT_EQ(1, run.nExitStatus) << run.strStderr;
        EXPECT_THAT(run.strStdout, HasSubstr("job 3 (incremental, previous job 2, full job 1): FAILED"));
        EXPECT_THAT(run.strStderr, HasSubstr("afs-scan: error: "));
        for (const std::string& strText : listTexts) EXPECT_THAT(run.strStderr, HasSubstr(strText));
        EXPECT_THAT(run.strStderr, Not(HasSubstr(kPassword)));
        EXPECT_THAT(Items(3), ::testing::IsEmpty()) << "a failed job must leave no rows";
        EXPECT_THAT(Query("SELECT status FROM jobs WHERE id = 3"), ::testing::ElementsAre("failed"));
    }
};

TEST_P(HostileServerE2ETest, JobEndsAtOnceWithAClearErrorAndTheNextJobRecovers) {
    const HostileServer& server = GetParam();
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs({}));
    ASSERT_EQ(200, Api("DELETE", "/_sim/requests").status);
    if (server.pszAddedFile) WriteFile(std::string("share1/") + server.pszAddedFile, "odd\n");
    ASSERT_NO_FATAL_FAILURE(Arm(server.pszScenario));
    std::vector<std::string> listArgs{"--batch-rows", "1", "--verbose"};
    listArgs.insert(listArgs.end(), server.listArgs.begin(), server.listArgs.end());
    ProgramResult run3 = RunScan({"share1"}, listArgs);
    EXPECT_LT(Seen().size(), 40u) << "the server kept the job busy";
    ExpectFailedJob(run3, server.listErrorTexts);
    EXPECT_THAT(run3.strStderr, HasSubstr("afs-scan: warning: http://127.0.0.1:"));
    EXPECT_THAT(run3.strStderr, Not(HasSubstr("YWRtaW46ZTJlLXNlY3JldA")));  // base64 of admin:e2e-secret
    EXPECT_THAT(ReadWholeFile(strStateDir + "/afs-scan.log"), Not(HasSubstr("\nL0 forged")));
    if (server.pszAddedFile) std::filesystem::remove(Share(std::string("share1/") + server.pszAddedFile));
    ASSERT_NO_FATAL_FAILURE(Arm("{}"));
    ExpectNextJobRecovers(4);
    ExpectWholeRecordLines(4);
}

INSTANTIATE_TEST_SUITE_P(Servers, HostileServerE2ETest, ::testing::ValuesIn(kHostileServers),
                         [](const auto& info) { return std::string(info.param.pszName); });

using HostileNeighbourE2ETest = CScanFixture;

TEST_F(HostileNeighbourE2ETest, SkippedItemsAreCountedAndOddNamesStayValidJson) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs({}));
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"foreign_paths":2})"));
    ProgramResult run3 = RunJob();
    EXPECT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStderr,
                HasSubstr("afs-scan: 5 items of the snapshot difference were skipped: outside the compared snapshots"));

    WriteFile("share1/bad\xff\"\n.txt", "odd\n");
    ProgramResult full = RunScan({"share1"}, {"--full", "--list-full", "--jsonl"});
    ASSERT_EQ(0, full.nExitStatus) << full.strStderr;
    simdjson::dom::parser parser;
    std::istringstream lines(full.strStdout);
    int nOddNames = 0;
    for (std::string strLine; std::getline(lines, strLine);) {
        simdjson::dom::element line;
        ASSERT_EQ(simdjson::SUCCESS, parser.parse(strLine).get(line)) << strLine;
        nOddNames += strLine.find(R"(/bad\ufffd\"\n.txt")") != std::string::npos &&
                     strLine.find(R"("path_base64":"LzEyNy4wLjAuMS9zaGFyZTEvYmFk/yIKLnR4dA==")") != std::string::npos;
    }
    EXPECT_EQ(1, nOddNames) << full.strStdout << full.strStderr;
}

TEST_F(HostileNeighbourE2ETest, PlantedLinksFifosAndOpenFoldersAreRefusedAndTheJobGoesOn) {
    const std::string strOpen = strRoot + "/open";
    const std::string strMine = strRoot + "/mine";
    std::filesystem::create_directories(strOpen);
    std::filesystem::create_directories(strMine);
    chmod(strOpen.c_str(), 0777);
    chmod(strMine.c_str(), 0700);
    std::ofstream(strRoot + "/victim") << "keep\n";
    std::filesystem::create_symlink(strRoot + "/victim", strMine + "/afs-host.log");
    ASSERT_EQ(0, mkfifo((strOpen + "/afs-rest-client.log").c_str(), 0666));
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs({}));

    WriteSettings(0, 60, "[EventManager]\ndEVLOGDIR = " + strOpen + "\n");
    ProgramResult run3 = RunScan({"share1"}, {"--log", strMine + "/afs-host.log"});
    EXPECT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStderr, HasSubstr("host log: cannot open " + strMine + "/afs-host.log"));
    EXPECT_THAT(run3.strStderr, HasSubstr("REST request log: refusing folder " + strOpen + ": writable by every user"));
    EXPECT_EQ("keep\n", ReadWholeFile(strRoot + "/victim"));

    chmod(strOpen.c_str(), 0700);
    ProgramResult run4 = RunScan({"share1"}, {"--log", strRoot + "/new/afs-host.log"});
    EXPECT_EQ(0, run4.nExitStatus) << run4.strStderr;
    EXPECT_THAT(run4.strStderr, HasSubstr("REST request log: refusing to write " + strOpen +
                                          "/afs-rest-client.log: not a regular file"));
    struct stat attributes {};
    ASSERT_EQ(0, stat((strRoot + "/new").c_str(), &attributes));
    EXPECT_EQ(0700u, attributes.st_mode & 0777);
    ASSERT_EQ(0, stat((strRoot + "/new/afs-host.log").c_str(), &attributes));
    EXPECT_EQ(0600u, attributes.st_mode & 0777);
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
    const char* const kLink = ": Too many levels of symbolic links (a symbolic link; remove it or choose another folder)";

    ProgramResult locked = RunJob();
    EXPECT_EQ(1, locked.nExitStatus);
    EXPECT_THAT(locked.strStderr, HasSubstr("lock file: cannot open " + strStateDir + "/lock" + kLink));
    std::filesystem::remove(strStateDir + "/lock");
    ProgramResult partner = RunJob();
    EXPECT_EQ(1, partner.nExitStatus);
    EXPECT_THAT(partner.strStderr, HasSubstr("sim-state/partner_servers.json.tmp" + std::string(kLink)));
    EXPECT_EQ("keep\n", ReadWholeFile(strVictim));
}

}  // namespace
}  // namespace afs_test
