#pragma once

// A fixture for end-to-end runs of afs-scan through the built plug-in against
// the afs-sim program, in a temporary folder with the shares, the
// simulator's state, afs-scan's state folder, settings and mount table; and
// what a user looks at afterwards: the scan database, the record files, the
// snapshots on the server and the requests it saw.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <httplib.h>
#include <signal.h>
#include <simdjson.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include "tests/support/ScopedTempDir.h"
#include "tools/afs-scan/store/SqliteHandles.h"
#include "tools/afs-scan/store/SqliteText.h"
#include "tools/afs-sim/SimulatorProcess.h"

namespace afs_test {

using afs_sim::CSimulatorProcess;
using afs_sim::SpawnChild;
using afs_sim::WaitChild;

inline std::string ReadWholeFile(const std::string& strPath) { return CScopedTempDir::ReadFile(strPath); }

struct ProgramResult {
    int nExitStatus = -1;  // 128 + signal when a signal ended it; -1 when it could not be started
    std::string strStdout, strStderr;
};

// `listArgv` as a child (see SpawnChild) with its output in PREFIX.out /
// PREFIX.err; killed and reaped if still running at the end.
class CChildProgram {
public:
    CChildProgram(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                  const std::string& strPrefix)
        : strOutputPrefix(strPrefix) {
        const int nOut = open((strPrefix + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
                  nErr = open((strPrefix + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (nOut >= 0 && nErr >= 0) pid = SpawnChild(listArgv, listEnv, nOut, nErr);
        close(nOut), close(nErr);
    }
    ~CChildProgram() {
        Signal(SIGKILL);
        Wait();
    }
    CChildProgram(const CChildProgram&) = delete;
    CChildProgram& operator=(const CChildProgram&) = delete;

    pid_t Pid() const { return pid; }
    void Signal(int nSignal) {
        if (pid > 0) kill(pid, nSignal);
    }
    ProgramResult Wait() {
        if (pid <= 0) return {};
        const int nStatus = WaitChild(std::exchange(pid, -1));
        return {nStatus, ReadWholeFile(strOutputPrefix + ".out"), ReadWholeFile(strOutputPrefix + ".err")};
    }

private:
    pid_t pid = -1;
    std::string strOutputPrefix;
};

class CScanFixture : public ::testing::Test {
protected:
    static constexpr const char* kPassword = "e2e-secret";
    static constexpr const char* kForeignSnapshot = "manual";

    CScanFixture() {
        std::filesystem::create_directories(strSharesDir);
        std::ofstream(strRoot + "/password") << kPassword << "\n";
        WriteSettings();
    }

    std::string Share(const std::string& strName) const { return strSharesDir + "/" + strName; }
    void WriteFile(const std::string& strRelative, const std::string& strText, bool bAppend = false) {
        std::filesystem::create_directories(std::filesystem::path(Share(strRelative)).parent_path());
        std::ofstream(Share(strRelative), bAppend ? std::ios::app : std::ios::trunc) << strText;
    }
    // Host settings: the high-availability wait, the transfer timeout and
    // further "[RestClient]" lines; retries without a sleep worth the name.
    void WriteSettings(unsigned uHAWait = 0, unsigned uTransferTimeout = 60,
                       const std::string& strExtra = "") {
        std::ofstream(strSettings, std::ios::trunc)
            << "[Host]\nLogLevel = 3\n[FileSystemAgent]\nuHAWaitTime = " << uHAWait
            << "\nNutanixRetrySleep = 1\nMaxScanRetries = 3\n[RestClient]\nConnectTimeoutSeconds = 5\n"
            << "TransferTimeoutSeconds = " << uTransferTimeout << "\n"
            << strExtra;
    }
    // Starts afs-sim on the shares; a restart keeps its state and options.
    void StartSimulator(const std::vector<std::string>& listExtra) {
        listSimulatorArgs = {
            "--shares", strSharesDir, "--state",         strRoot + "/sim-state", "--port", "0",
            "--user",   "admin",      "--password-file", strRoot + "/password",  "--quiet"};
        listSimulatorArgs.insert(listSimulatorArgs.end(), listExtra.begin(), listExtra.end());
        StartSimulator();
    }
    void StartSimulator() { ASSERT_EQ("", CSimulatorProcess::Start(listSimulatorArgs, ptrSim)); }
    void WriteMountTable(const std::vector<std::string>& listShares) {
        std::ofstream out(strMountTable, std::ios::trunc);
        for (const std::string& strName : listShares)
            out << "127.0.0.1:/" << strName << " " << Share(strName) << " nfs rw 0 0\n";
    }

    // afs-scan on the given shares with the fixture's settings, the password
    // in $AFS_PASSWORD and, when bMap, --map SHARES=/127.0.0.1. No --plugin:
    // run from its build tree, afs-scan takes the plug-in built beside it.
    // A sub-command (`listCommand`) goes right after the program.
    std::vector<std::string> ScanArgs(const std::vector<std::string>& listShares,
                                      const std::vector<std::string>& listExtra = {}, bool bMap = true,
                                      const std::vector<std::string>& listCommand = {}) const {
        std::vector<std::string> listArgs{AFS_SCAN_BIN};
        listArgs.insert(listArgs.end(), listCommand.begin(), listCommand.end());
        // Each command refuses the options it does not take.
        const std::string strCommand = listCommand.empty() ? "scan" : listCommand.front();
        const bool bShares = strCommand != "jobs" && strCommand != "forget";
        if (strCommand == "scan" || strCommand == "snapshots") {
            listArgs.insert(listArgs.end(),
                            {"--server", ptrSim ? ptrSim->Url() : "http://127.0.0.1:1/api/nutanix/v3",
                             "--user", "admin"});
        }
        listArgs.insert(listArgs.end(), {"--state", strStateDir, "--db", strDb});
        if (!bShares) return listArgs.insert(listArgs.end(), listExtra.begin(), listExtra.end()), listArgs;
        std::istringstream words("--client-id 7 --app-id 1 --settings " + strSettings + " --mount-table " +
                                 strMountTable);
        for (std::string strWord; words >> strWord;) listArgs.push_back(strWord);
        if (bMap) listArgs.insert(listArgs.end(), {"--map", strSharesDir + "=/127.0.0.1"});
        for (const std::string& strName : listShares)
            listArgs.insert(listArgs.end(), {"--scan-path", Share(strName)});
        listArgs.insert(listArgs.end(), listExtra.begin(), listExtra.end());
        return listArgs;
    }
    ProgramResult RunScan(const std::vector<std::string>& listShares,
                          const std::vector<std::string>& listExtra = {}, bool bMap = true,
                          const std::string& strPassword = kPassword) {
        return Run(ScanArgs(listShares, listExtra, bMap), strPassword);
    }
    ProgramResult Run(const std::vector<std::string>& listArgs, const std::string& strPassword = kPassword,
                      std::vector<std::string> listEnv = {}) {
        listEnv.push_back("AFS_PASSWORD=" + strPassword);
        return CChildProgram(listArgs, listEnv, strRoot + "/run" + std::to_string(++nRun)).Wait();
    }
    // Polls until `condition` holds (30 s at most).
    template <typename FCondition>
    static void WaitUntil(FCondition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!condition() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A snapshot of share1 taken by hand.
    void TakeSnapshot(const std::string& strName) const {
        ASSERT_EQ(202, Api("POST", kApi + "mount_target_snapshots",
                           R"({"spec":{"name":")" + strName + R"(","resources":{"mount_target_uuid":")" +
                               List("mount_target", true).at(0) + R"("}},"wait_for_completion":true})")
                           .status);
    }

    // Every row `strSql` (one statement or more) yields, the exact bytes of
    // each column ("" for NULL), from the database strDb, or `strFile`, which
    // is only read unless other flags are given. A database or statement
    // that fails is a test failure unless bQuiet (the rows so far, then).
    std::vector<std::vector<std::string>> Rows(const std::string& strSql,
                                               int nOpenFlags = SQLITE_OPEN_READONLY,
                                               std::string strFile = "", bool bQuiet = false) const {
        if (strFile.empty()) strFile = strDb;
        std::vector<std::vector<std::string>> listRows;
        afs_scan::SqliteConnection ptrDb;
        int nResult = afs_scan::OpenConnection(strFile.c_str(), nOpenFlags, ptrDb);
        for (const char* pszSql = strSql.c_str(); nResult == SQLITE_OK && *pszSql != '\0';) {
            sqlite3_stmt* ptrRaw = nullptr;
            nResult = sqlite3_prepare_v2(ptrDb.get(), pszSql, -1, &ptrRaw, &pszSql);
            const afs_scan::SqliteStatement ptrStatement(ptrRaw);
            while (ptrRaw != nullptr && (nResult = sqlite3_step(ptrRaw)) == SQLITE_ROW) {
                listRows.emplace_back();
                for (int i = 0; i < sqlite3_column_count(ptrRaw); ++i)
                    listRows.back().push_back(afs_scan::ColumnText(ptrRaw, i));
            }
            if (nResult == SQLITE_DONE) nResult = SQLITE_OK;
        }
        if (nResult != SQLITE_OK && !bQuiet)
            ADD_FAILURE() << strFile << ": " << sqlite3_errmsg(ptrDb.get()) << " in " << strSql;
        return listRows;
    }
    // The same, the columns of each row joined by '|'.
    std::vector<std::string> Query(const std::string& strSql, int nOpenFlags = SQLITE_OPEN_READONLY,
                                   const std::string& strFile = "") const {
        std::vector<std::string> listOut;
        for (const std::vector<std::string>& listRow : Rows(strSql, nOpenFlags, strFile)) {
            listOut.emplace_back();
            for (size_t i = 0; i < listRow.size(); ++i) listOut.back() += (i > 0 ? "|" : "") + listRow[i];
        }
        return listOut;
    }

    std::string SnapName(long long llJobId) const { return "zkop__7_1_" + std::to_string(llJobId); }
    std::string JobFile(long long llJobId, const char* pszName) const {
        return strStateDir + "/job-" + std::to_string(llJobId) + "/" + pszName;
    }
    std::string SnapPath(const std::string& strShare, long long llJobId) const {
        return Share(strShare) + "/.snapshot/" + SnapName(llJobId);
    }

    // A request to the simulator as its administrator; status -1 when it got no answer.
    httplib::Response Api(const std::string& strMethod, const std::string& strPath,
                          const std::string& strBody = "") const {
        httplib::Client client(ptrSim->Origin());
        client.set_basic_auth("admin", kPassword);
        if (!strCaFile.empty()) client.set_ca_cert_path(strCaFile);
        httplib::Result result = strMethod == "GET"      ? client.Get(strPath)
                                 : strMethod == "DELETE" ? client.Delete(strPath)
                                                         : client.Post(strPath, strBody, "application/json");
        return result ? *result : httplib::Response();
    }
    void Arm(const std::string& strScenario) {
        ASSERT_EQ(200, Api("POST", "/_sim/scenario", strScenario).status);
    }
    // The name (or UUID when bUuid) of each entity of a list owned by the
    // share with UUID `strOwner` ("" for shares), in creation order.
    std::vector<std::string> List(const std::string& strKind, bool bUuid,
                                  const std::string& strOwner = "") const {
        std::vector<std::string> listOut;
        simdjson::dom::parser parser;
        const std::string strBody =
            Api("POST", kApi + strKind + "s/list", R"({"kind":")" + strKind + R"(","length":1000})").body;
        for (auto entity : parser.parse(strBody)["entities"].get_array()) {
            std::string_view owner;  // none for a share
            if (entity.at_pointer("/status/resources/mount_target_uuid").get(owner)) owner = {};
            if (owner == strOwner)
                listOut.emplace_back(
                    entity.at_pointer(bUuid ? "/metadata/uuid" : "/status/name").get_string().value());
        }
        return listOut;
    }
    // The share's snapshots (their UUIDs when bUuids) in creation order.
    std::vector<std::string> Snapshots(const std::string& strShare = "share1", bool bUuids = false) const {
        const std::vector<std::string> listNames = List("mount_target", false);
        const size_t uAt = std::find(listNames.begin(), listNames.end(), strShare) - listNames.begin();
        return List("mount_target_snapshot", bUuids, List("mount_target", true).at(uAt));
    }

    // The fault scenarios' start: share1 with a small tree, the simulator
    // (two difference objects per page, so a difference spans pages), job 1
    // (full) and job 2 (incremental) ok, a snapshot taken by hand, and the
    // changes for job 3.
    void PrepareTwoGoodJobs() {
        WriteFile("share1/a.txt", "alpha\n");
        WriteFile("share1/docs/c.txt", "charlie\n");
        WriteFile("share1/old/x.txt", "x-ray\n");
        WriteMountTable({"share1"});
        ASSERT_NO_FATAL_FAILURE(StartSimulator({"--page-size-cap", "2"}));
        ASSERT_EQ(0, RunJob().nExitStatus);
        WriteFile("share1/b.txt", "bravo\n");
        ASSERT_EQ(0, RunJob().nExitStatus);
        ASSERT_NO_FATAL_FAILURE(TakeSnapshot(kForeignSnapshot));
        WriteFile("share1/new.txt", "new\n");
        WriteFile("share1/a.txt", "more\n", true);
        std::filesystem::rename(Share("share1/docs/c.txt"), Share("share1/docs/c2.txt"));
        std::filesystem::remove(Share("share1/old/x.txt"));
    }
    // share1, every row handed to SQLite at once, so that a failed job's
    // rows are really in the database before they must vanish.
    ProgramResult RunJob(const std::string& strPassword = kPassword) {
        return RunScan({"share1"}, {"--batch-rows", "1"}, true, strPassword);
    }

    const std::string kApi = "/api/nutanix/v3/";
    CScopedTempDir tempDir;
    const std::string strRoot = tempDir.GetPath();
    const std::string strSharesDir = strRoot + "/shares";
    const std::string strStateDir = strRoot + "/state";
    const std::string strSettings = strRoot + "/host.ini";
    const std::string strMountTable = strRoot + "/mounts";
    const std::string strDb = strRoot + "/scan.db";
    std::string strCaFile;  // set when the simulator serves HTTPS
    std::vector<std::string> listSimulatorArgs;
    std::unique_ptr<CSimulatorProcess> ptrSim;
    int nRun = 0;
};

}  // namespace afs_test
