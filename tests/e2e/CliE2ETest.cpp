// afs-scan and afs-sim as a person runs them from a terminal: for each
// mistake the exit status and the exact line on stderr that says what to do.
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "tests/e2e/ScanFixture.h"

namespace afs_test {
namespace {

using ::testing::HasSubstr;

struct CliCase {
    const char* pszName;
    std::vector<std::string> listArgs;  // appended to the row's base command; a later value wins
    int nExitStatus;
    std::string strLine;                     // the first line on stderr that is not the plain http:// warning
    std::string strPassword = "e2e-secret";  // the fixture's
    std::vector<std::string> listEnv = {};
};

// A terminal of 100 columns, as far as afs-scan's progress line is concerned.
const char* const kTerminal = "AFS_SCAN_PROGRESS_COLUMNS=100";

class CliE2ETest : public CScanFixture {
protected:
    static std::string FirstLine(const std::string& strText) {
        std::istringstream lines(strText);
        std::string strLine;
        while (std::getline(lines, strLine) &&
               (strLine.find("is plain http://: the password") != std::string::npos || strLine[0] == '\r'))
            continue;
        return strLine;
    }
    // Runs every row on `listBase`; returns the results for further checks.
    std::vector<ProgramResult> RunTable(const std::vector<std::string>& listBase,
                                        const std::vector<CliCase>& listCases) {
        std::vector<ProgramResult> listRuns;
        for (const CliCase& row : listCases) {
            SCOPED_TRACE(row.pszName);
            std::vector<std::string> listArgs = listBase;
            listArgs.insert(listArgs.end(), row.listArgs.begin(), row.listArgs.end());
            listRuns.push_back(Run(listArgs, row.strPassword, row.listEnv));
            EXPECT_EQ(row.nExitStatus, listRuns.back().nExitStatus) << listRuns.back().strStderr;
            EXPECT_EQ(row.strLine, FirstLine(listRuns.back().strStderr));
        }
        return listRuns;
    }
};

TEST_F(CliE2ETest, UsageErrorsAreOneLineAndPointAtTheHelp) {
    std::ofstream(strRoot + "/empty").close();
    const std::string strSim = "afs-sim: ", strTry = "try 'afs-sim --help'\n";
    for (const ProgramResult& run :
         RunTable({AFS_SIM_BIN, "--shares", strSharesDir},
                  {{"SimNoValue", {"--port"}, 2, strSim + "option '--port' requires a value"},
                   {"SimFolderAsPassword",
                    {"--password-file=" + strRoot},
                    2,
                    strSim + "password file " + strRoot + " is not a regular file"}}))
        EXPECT_EQ(strTry, run.strStderr.substr(run.strStderr.find('\n') + 1));
    const std::vector<ProgramResult> listScanRuns = RunTable(
        {AFS_SCAN_BIN},
        {{"Mistyped", {"--sever", "x"}, 2, "afs-scan: unknown option '--sever'; did you mean --server?"},
         {"Ambiguous", {"--ful"}, 2, "afs-scan: option '--ful' is ambiguous: --full, --full-job-id"},
         {"FlagWithValue", {"--full=yes"}, 2, "afs-scan: option '--full' takes no value"},
         {"CommandAfterOptions",
          {"--state", "x", "jobs"},
          2,
          "afs-scan: unexpected argument 'jobs'; a command goes first: afs-scan jobs [options]"},
         {"Command",
          {"bogus"},
          2,
          "afs-scan: unknown command 'bogus'; the commands are scan, verify, snapshots, "
          "jobs, forget"},
         {"MistypedCommand", {"jbos"}, 2, "afs-scan: unknown command 'jbos'; did you mean jobs?"},
         // The first of the options jobs does not take; its own help is named.
         {"OptionOfAnotherCommand",
          {"jobs", "--state", strRoot, "--jsonl", "--csv", "--prune", "--sample", "2", "--server", "x"},
          2,
          "afs-scan: option '--jsonl' does not go with afs-scan jobs; it goes with afs-scan scan, "
          "afs-scan verify"},
         // The path would end its settings.ini line and start one of its own.
         {"LineEndInASettingsPath",
          {"--ca-bundle", "ca\n[RestClient]\nInsecureSkipTLSVerify = 1"},
          2,
          "afs-scan: --ca-bundle cannot hold a line end or end in a blank: the path goes into "
          "STATE/settings.ini"},
         // A value is no option, however it looks: the password file is named --help.
         {"HelpAsAValue",
          {"--password-file", "--help", "--bogus"},
          2,
          "afs-scan: unknown option '--bogus'; see afs-scan scan --help"},
         {"WholeNameOfAnotherCommandsOption",
          {"--json"},
          2,
          "afs-scan: option '--json' does not go with afs-scan scan; it goes with afs-scan snapshots, "
          "afs-scan jobs"},
         {"EmptyValue", {"--db="}, 2, "afs-scan: option '--db' requires a value"},
         // The next job's id, the highest + 1, must fit.
         {"LastJobId",
          {"--job-id", "9223372036854775807"},
          2,
          "afs-scan: --job-id needs a number from 1 to 9223372036854775806"},
         {"OneDash",
          {"-scan-path", "x"},
          2,
          "afs-scan: unknown option '-scan-path'; did you mean --scan-path?"},
         {"NoUser",
          {"--server", "fs1", "--state", strRoot, "--scan-path", strRoot},
          2,
          "afs-scan: --user is required"},
         {"JsonlAndCsv",
          {"--server", "fs1", "--user", "u", "--state", strRoot, "--scan-path", strRoot, "--jsonl", "--csv"},
          2,
          "afs-scan: --jsonl and --csv exclude each other"}});
    EXPECT_EQ("try 'afs-scan jobs --help'\n",
              listScanRuns[6].strStderr.substr(listScanRuns[6].strStderr.find('\n') + 1));
    // Every command has its own help, and all of it fits 80 columns.
    for (const char* pszCommand : {"scan", "verify", "snapshots", "jobs", "forget"}) {
        SCOPED_TRACE(pszCommand);
        const ProgramResult help = Run({AFS_SCAN_BIN, pszCommand, "--state", "x", "--help"});
        EXPECT_EQ(0, help.nExitStatus);
        EXPECT_THAT(help.strStdout,
                    testing::StartsWith(std::string("usage: afs-scan ") +
                                        (pszCommand == std::string("scan") ? "[scan]" : pszCommand)));
        std::istringstream lines(help.strStdout);
        for (std::string strLine; std::getline(lines, strLine);) EXPECT_LE(strLine.size(), 80u) << strLine;
    }
}

// Configuration mistakes end the run before a job id is taken.
TEST_F(CliE2ETest, ConfigurationErrorsNameTheFileAndTheReasonAndUseNoJobId) {
    WriteMountTable({"share1"});
    std::filesystem::create_directories(Share("share1"));
    std::filesystem::create_directories(strRoot + "/local");
    std::ofstream(strRoot + "/empty").close();
    std::ofstream(strRoot + "/overlay") << "overlay / overlay rw 0 0\n" << ReadWholeFile(strMountTable);
    const std::string strScan = "afs-scan: ", strNone = strRoot + "/none", strLocked = strRoot + "/locked";
    // Another run holds the lock of this state folder.
    std::filesystem::create_directories(strLocked);
    const int nLockFd = open((strLocked + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_TRUE(write(nLockFd, "4242\n", 5) == 5 && flock(nLockFd, LOCK_EX) == 0);
    std::filesystem::create_directories(strRoot + "/lockdir/lock");
    std::filesystem::create_directories(strRoot + "/huge/job-99999999999999999999");
    // A database of a newer afs-scan; folders others may write or own.
    const std::string strNewer = strRoot + "/local/newer.db";
    Query("PRAGMA user_version = 99; CREATE TABLE future (x)", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
          strNewer);
    for (const char* pszFolder : {"/group", "/open", "/foreign"}) mkdir((strRoot + pszFolder).c_str(), 0700);
    ASSERT_EQ(0, chmod((strRoot + "/group").c_str(), 0770) + chmod((strRoot + "/open").c_str(), 01777));
    const std::string strMe = getpwuid(geteuid())->pw_name, strOwnedBy = " (owner " + strMe + ", mode ";
    std::vector<CliCase> listCases{
        {"StateInUse",
         {"--state", strLocked},
         4,
         strScan + "state folder " + strLocked +
             " is in use by another afs-scan run (process 4242); waited 0 s; wait for it to end or give a "
             "longer --lock-wait"},
        {"LockIsADirectory",
         {"--state", strRoot + "/lockdir"},
         2,
         strScan + "lock file " + strRoot +
             "/lockdir/lock is a directory, not a regular file: remove it (afs-scan makes the file)"},
        {"JobFolderBeyondTheLastId",
         {"--state", strRoot + "/huge", "--db", strRoot + "/huge/scan.db"},
         2,
         strScan + "job folder " + strRoot +
             "/huge/job-99999999999999999999 is beyond the last job id, 9223372036854775806: no next id "
             "follows it; remove it, or give --job-id"},
        {"PasswordOnCommandLine",
         {"--password", "secret"},
         2,
         strScan + "--password is not accepted: use --password-file or $AFS_PASSWORD"},
        {"NoPassword",
         {"--password-file", strNone},
         2,
         strScan + "cannot read password file " + strNone + ": No such file or directory"},
        {"EmptyPassword",
         {"--password-file", strRoot + "/empty"},
         2,
         strScan + "password file " + strRoot + "/empty is empty: its first line must hold the password"},
        {"NoSettings",
         {"--settings", strNone},
         2,
         strScan + "cannot read settings file " + strNone + ": No such file or directory"},
        {"StateOnAFile",
         {"--state", strRoot + "/empty/state"},
         2,
         strScan + "cannot create state folder " + strRoot + "/empty/state: Not a directory"},
        {"NoMountTable",
         {"--mount-table", strNone},
         2,
         strScan + "cannot read mount table " + strNone + ": No such file or directory"},
        {"NoScanPath", {"--scan-path", strNone}, 2, strScan + "scan path " + strNone + " does not exist"},
        {"NotAShare",
         {"--mount-table", strRoot + "/overlay", "--scan-path",
          std::filesystem::relative(strRoot + "/local")},
         2,
         strScan + strRoot + "/local is on mount 'overlay' (/), not on a file-server share"},
        {"NoPlugin",
         {"--plugin", strNone},
         2,
         strScan + "cannot load the plug-in (tried " + strNone + ": " + strNone +
             ": cannot open shared object file: No such file or directory); give its path with --plugin"},
        {"PreviousJobNotInTheHistory",
         {"--db", strRoot + "/local/scan.db", "--previous-job-id", "99"},
         2,
         strScan + "previous job 99 is no job of client 7 and application 1 in the history of " +
             strStateDir + ": give one of its jobs (afs-scan jobs), or leave --previous-job-id out"},
        {"NewerSchema",
         {"--db", strNewer},
         2,
         strScan + "scan database " + strNewer +
             " has schema version 99, newer than this afs-scan's 1: run a newer afs-scan on it, or give "
             "another --db or --state"},
        {"StateWritableByGroup",
         {"--state", strRoot + "/group"},
         2,
         strScan + "refusing state folder " + strRoot + "/group" + strOwnedBy +
             "0770): group or others may write in it; chmod go-w " + strRoot + "/group"},
        {"DatabaseFolderOpenToAll",
         {"--db", strRoot + "/open/scan.db"},
         2,
         strScan + "refusing database folder " + strRoot + "/open" + strOwnedBy +
             "1777): group or others may write in it; chmod go-w " + strRoot + "/open"}};
    // Only root can give a folder away.
    if (chown((strRoot + "/foreign").c_str(), 65534, 65534) == 0) {
        listCases.push_back({"StateOfAnotherUser",
                             {"--state", strRoot + "/foreign"},
                             2,
                             strScan + "refusing state folder " + strRoot + "/foreign (owner " +
                                 getpwuid(65534)->pw_name + ", mode 0700): it is not owned by " + strMe +
                                 ", who runs afs-scan, so another user controls what it holds; chown " +
                                 strMe + " " + strRoot + "/foreign, or choose a folder of your own"});
    }
    const std::vector<ProgramResult> listRuns = RunTable(ScanArgs({"share1"}), listCases);
    // No job line, no job folder: no job id was used.
    for (const ProgramResult& run : listRuns) EXPECT_EQ("", run.strStdout);
    EXPECT_FALSE(std::filesystem::exists(strStateDir + "/job-1"));
    EXPECT_FALSE(std::filesystem::exists(strLocked + "/settings.ini"));
    EXPECT_FALSE(std::filesystem::exists(strDb));
    close(nLockFd);
}

TEST_F(CliE2ETest, JobsEndWithTheCauseAndTheFix) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("plain/p.txt", "plain\n");
    std::filesystem::create_directories(strRoot + "/ghost");
    WriteMountTable({"share1", "plain"});
    // For verify below: a share whose path holds a REST client's text, and
    // share1 under a name that is not UTF-8.
    const std::string strOdd = strRoot + "/Could not resolve host: fs1", strLink = strRoot + "/share\377";
    std::filesystem::create_directories(strOdd);
    std::filesystem::create_directory_symlink(Share("share1"), strLink);
    std::ofstream(strMountTable, std::ios::app)
        << "127.0.0.1:/ghost " << strRoot << "/ghost nfs rw 0 0\n127.0.0.1:/odd "
        << std::regex_replace(strOdd, std::regex(" "), "\\040") << " nfs rw 0 0\n127.0.0.1:/share1 "
        << strLink << " nfs rw 0 0\n";
    // Every key the plug-in reads is known, the busy server's and the proxy's too.
    std::ofstream(strRoot + "/typo.ini")
        << "[FileSystemAgent]\nuHAWaitTim = 3\n[Bogus]\nx = 1\n[FileSystemAgent]\n"
           "MaxListEntities = 1000000\nMaxEmptyDiffPages = 10000\n[RestClient]\nProxy =\n";
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--share-capabilities", "plain=SMB_ONLY"}));
    const std::string strNotOffered = "afs-scan: share " + Share("plain") +
                                      " is not backed up: the file server does not offer it for backup (no "
                                      "CFT_BACKUP capability), so no snapshot was taken";
    const std::string strDbFromHere = std::filesystem::relative(strDb).string();
    std::vector<ProgramResult> listRuns = RunTable(
        ScanArgs({}, {}, false),
        {{"WrongPassword",
          {"--scan-path", Share("share1")},
          5,
          "afs-scan: the file server refused user 'admin' (HTTP 401): check --user and --password-file",
          "bad"},
         {"UnlistedShare",
          {"--scan-path", strRoot + "/ghost"},
          1,
          "afs-scan: mount entry 127.0.0.1:/ghost for " + strRoot +
              "/ghost names share 'ghost', which the file server does not list (it has: plain, share1)"},
         {"Partial", {"--scan-path", Share("share1"), "--scan-path", Share("plain")}, 3, strNotOffered},
         {"SettingsTypos",
          {"--scan-path", Share("share1"), "--settings", strRoot + "/typo.ini"},
          0,
          "afs-scan: warning: " + strRoot +
              "/typo.ini:2: unknown key 'uHAWaitTim' in [FileSystemAgent]; ignored"},
         {"PreviousJobOfAnotherApplication",
          {"--scan-path", Share("share1"), "--app-id", "2", "--previous-job-id", "4"},
          2,
          "afs-scan: previous job 4 is no job of client 7 and application 2 in the history of " +
              strStateDir + ": give one of its jobs (afs-scan jobs), or leave --previous-job-id out"},
         {"Machines",
          {"--scan-path", Share("share1"), "--db", strDbFromHere, "--csv", "--summary-json", "-"},
          0,
          "job 5 (incremental, previous job 4, full job 3): ok"},  // the summary, off stdout
         {"UnresolvableName",
          {"--scan-path", Share("share1"), "--server", "https://nosuch.invalid"},
          4,
          "afs-scan: no file server is known by the name 'nosuch.invalid' (the name does not resolve): "
          "check --server, or this machine's DNS and /etc/hosts"},
         // Neither the progress line of a terminal nor the warning.
         {"Quiet", {"--scan-path", Share("share1"), "--quiet"}, 0, "", "e2e-secret", {kTerminal}}});
    EXPECT_EQ("", listRuns[7].strStderr);
    EXPECT_THAT(listRuns[2].strStdout, HasSubstr("share " + Share("share1") + ": snapshot only: took " +
                                                 SnapName(3) + " at " + SnapPath("share1", 3) + "\n"));
    EXPECT_THAT(listRuns[3].strStderr, HasSubstr(strRoot + "/typo.ini:3: unknown section [Bogus]"));
    EXPECT_EQ(listRuns[3].strStderr.find("unknown key"), listRuns[3].strStderr.rfind("unknown key"));
    EXPECT_THAT(listRuns[5].strStdout,
                ::testing::StartsWith("job_id,path,old_path,change_type,is_dir,size,inode,"
                                      "atime,mtime,ctime\n{\"job_id\":5,\"kind\":\"incremental\""));
    EXPECT_THAT(Query("SELECT id || ' ' || status FROM jobs"),
                ::testing::ElementsAre("1 failed", "2 failed", "3 ok", "4 ok", "5 ok", "6 failed", "7 ok"));
    // On a terminal the line is drawn at once and redrawn while the server
    // makes a page (no item arrives then), and it stays (cut to the width:
    // verify's NarrowTerminal row below, the same line).
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"retry_pages":1})"));
    const std::string strProgress = RunTable(ScanArgs({}, {"--scan-path", Share("share1")}, false),
                                             {{"Progress", {}, 0, "", "e2e-secret", {kTerminal}}})[0]
                                        .strStderr;
    const std::string strState = "\rshare " + Share("share1") + ": 0 items, 0 items/s, ";
    EXPECT_THAT(strProgress,
                ::testing::ContainsRegex("\n\rjob 8: 0\\.[0-9] s\r.*0 pages, [0-9.]+ s, waiting for page"));
    EXPECT_THAT(strProgress, ::testing::ContainsRegex(strState + "1 pages, [0-9.]+ s *\n$"))
        << "the last state stays";
    // verify asks no server, whatever text a share's path holds; a sample
    // larger than the tree is the tree; a finding names its share exactly.
    Query("INSERT INTO items VALUES (8, '" + strLink + "/gone', '', 'ADD', 0, 0, 0, 0, 0, 0)",
          SQLITE_OPEN_READWRITE);
    const std::vector<ProgramResult> listVerify =
        RunTable(ScanArgs({}, {}, false, {"verify"}),
                 {{"PathIsNoServer",
                   {"--scan-path", strOdd},
                   1,
                   "afs-scan: verify failed: snapshot folder " + strOdd + "/.snapshot/" + SnapName(7) +
                       " is gone: only the last job of a cycle can be verified, while its snapshot and its "
                       "reference's are kept"},
                  {"NotUtf8ShareAndAHugeSample",
                   {"--scan-path", strLink, "--jsonl", "--sample", "1000000000"},
                   3,
                   "share " + strLink +
                       ": job 8 against job 7: 0 changes, 1 items; missing 0, wrong 1, extra 0; sample of 1 "
                       "directories with their subtrees"},
                  {"QuietTerminal", {"--scan-path", strLink, "--quiet"}, 3, "", "e2e-secret", {kTerminal}},
                  {"NarrowTerminal",
                   {"--scan-path", strLink},
                   3,
                   "",
                   "e2e-secret",
                   {"AFS_SCAN_PROGRESS_COLUMNS=20"}}});
    EXPECT_THAT(listVerify[1].strStdout,
                ::testing::ContainsRegex(R"(^\{"share":"[^"]+","share_base64":"[^"]+",)"
                                         R"("finding":"wrong","change_type":"ADD",)"));
    EXPECT_EQ("", listVerify[2].strStderr);
    EXPECT_THAT(listVerify[3].strStderr, ::testing::MatchesRegex("(\r.{19})+\n")) << "cut to the width";
    // The counts of a share the job failed on are no result, and say so.
    for (const char* pszName : {"b", "c", "d", "e", "f", "g", "h"})
        WriteFile("share1/" + std::string(pszName), "");
    Query("CREATE TRIGGER refuse BEFORE INSERT ON items BEGIN SELECT RAISE(ABORT, 'refused'); END",
          SQLITE_OPEN_READWRITE);
    const ProgramResult failed = RunTable(
        ScanArgs({}, {"--scan-path", Share("share1"), "--full", "--list-full", "--batch-rows", "1"}, false),
        {{"FailedShare",
          {},
          1,
          "afs-scan: job failed: scan database " + strDb + ": cannot insert an item: refused",
          "e2e-secret",
          {kTerminal}}})[0];
    const std::string strFailed =
        "share " + Share("share1") + ": (full listing: )?failed after [0-9]+ items \\(nothing stored\\)";
    EXPECT_THAT(failed.strStderr, ::testing::ContainsRegex("\r" + strFailed + " *\n"));
    EXPECT_THAT(failed.strStdout, ::testing::ContainsRegex("\n" + strFailed + "\n$"));
    // Nor are those of a job that fails at its commit.
    Query("DROP TRIGGER refuse; CREATE TRIGGER r BEFORE INSERT ON jobs BEGIN SELECT RAISE(FAIL, ''); END",
          SQLITE_OPEN_READWRITE);
    EXPECT_THAT(
        Run(ScanArgs({"share1"}), kPassword, {kTerminal}).strStderr,
        ::testing::ContainsRegex("\rshare /127.0.0.1/share1: (full listing: )?failed after [0-9]+ items"));
    // A file size limit (ulimit -f) or a full disk under stdout ends no run
    // unannounced and as a success: the write fails and says why.
    std::vector<std::string> listLimited{"ulimit -f 1"};
    for (const std::string& strArg : ScanArgs({"share1"})) listLimited.push_back(strArg);
    RunTable({"/bin/sh", "-c", "eval \"$0\" && exec \"$@\""},
             {{"FileSizeLimit", listLimited, 2,
               "afs-scan: scan database " + strDb +
                   ": cannot read the schema version: disk I/O error (File too large)"},
              {"FullOutput",
               {"exec >/dev/full", AFS_SCAN_BIN, "jobs", "--db", strDb},
               1,
               "afs-scan: cannot write standard output: No space left on device"}});

    const std::string strPort = ptrSim->Origin().substr(ptrSim->Origin().rfind(':') + 1);
    RunTable({AFS_SIM_BIN, "--shares", strSharesDir, "--password-file", strRoot + "/password"},
             {{"PortInUse", {"--port", strPort}, 1, "afs-sim: port " + strPort + " is in use"}});
}

TEST_F(CliE2ETest, UntrustedCertificateNamesTheOptionThatTrustsIt) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    strCaFile = strRoot + "/cert.pem";
    ASSERT_EQ(0, std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                              "subjectAltName=IP:127.0.0.1 -keyout " +
                              strRoot + "/key.pem -out " + strCaFile + " 2>/dev/null")
                                 .c_str()));
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--tls-cert", strCaFile, "--tls-key", strRoot + "/key.pem"}));
    const std::string strServer = ptrSim->Origin().substr(8);
    RunTable(ScanArgs({"share1"}), {{"Untrusted",
                                     {},
                                     5,
                                     "afs-scan: certificate of " + strServer +
                                         " not trusted (self-signed certificate): pass --ca-bundle FILE"},
                                    {"Trusted", {"--ca-bundle", strCaFile}, 0, ""}});
}

// No server answers: afs-scan says so at once, and a signal ends the wait.
TEST_F(CliE2ETest, WaitForTheServerIsShownAndSignalsEndTheJobCleanly) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteMountTable({"share1"});
    const std::string strWait =
        "afs-scan: file server 127.0.0.1:1 unreachable (Connection refused); retrying, 0 s of 600 s; "
        "--ha-wait SECONDS\n";
    const struct {
        int nSignal;
        const char* pszName;
    } kSignals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}};
    for (const auto& row : kSignals) {
        SCOPED_TRACE(row.pszName);
        CChildProgram job(ScanArgs({"share1"}, {"--ha-wait", "600"}),
                          {std::string("AFS_PASSWORD=") + kPassword}, strRoot + "/" + row.pszName);
        WaitUntil([&] {
            return ReadWholeFile(strRoot + "/" + row.pszName + ".err").find(strWait) != std::string::npos;
        });
        job.Signal(row.nSignal);
        const ProgramResult run = job.Wait();
        EXPECT_EQ(128 + row.nSignal, run.nExitStatus);
        EXPECT_EQ(strWait, FirstLine(run.strStderr) + "\n");
        EXPECT_THAT(run.strStderr,
                    ::testing::EndsWith("\nafs-scan: interrupted by " + std::string(row.pszName) + ": job " +
                                        std::to_string(&row - kSignals + 1) +
                                        " recorded as failed, nothing of it stored\n"));
    }
    EXPECT_THAT(Query("SELECT id || ' ' || status FROM jobs"),
                ::testing::ElementsAre("1 failed", "2 failed"));
    // Every command that asks the server warns of plain http:// and waits as
    // long as --ha-wait says.
    for (const char* pszCommand : {"scan", "snapshots"}) {
        SCOPED_TRACE(pszCommand);
        const std::string strSeconds = pszCommand == std::string("scan") ? "0" : "1";
        const ProgramResult run = Run(ScanArgs({"share1"}, {"--ha-wait", strSeconds}, false, {pszCommand}));
        EXPECT_EQ(4, run.nExitStatus);
        EXPECT_THAT(run.strStderr,
                    ::testing::ContainsRegex(
                        "^afs-scan: warning: http://127.0.0.1:1/api/nutanix/v3 is plain http://: [^\n]*\n" +
                        std::string(strSeconds == "1" ? "afs-scan: file server 127.0.0.1:1 unreachable "
                                                        "\\(Connection refused\\); retrying, 0 s of 1 s; "
                                                        "--ha-wait SECONDS\n"
                                                      : "") +
                        "afs-scan: file server 127.0.0.1:1 stayed unreachable for " + strSeconds +
                        " s \\(.*\\): check --server, or wait longer with --ha-wait "
                        "SECONDS\n$"));
    }
    EXPECT_THAT(ReadWholeFile(strStateDir + "/settings.ini"), HasSubstr("dEVLOGDIR"))
        << "the job's, untouched";
}

}  // namespace
}  // namespace afs_test
