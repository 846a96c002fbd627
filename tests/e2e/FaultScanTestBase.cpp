#include "tests/e2e/FaultScanTestBase.h"

#include <gmock/gmock.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct CloseDb {
    void operator()(sqlite3* ptrDb) const noexcept { sqlite3_close_v2(ptrDb); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* ptrStatement) const noexcept { sqlite3_finalize(ptrStatement); }
};

// The first column of every row `strSql` (one parameter: the job id) yields.
std::vector<std::string> QueryColumn(const std::string& strDb, const char* pszSql, long long llJobId) {
    std::vector<std::string> listValues;
    sqlite3* ptrRaw = nullptr;
    if (sqlite3_open_v2(strDb.c_str(), &ptrRaw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(ptrRaw);
        ADD_FAILURE() << "cannot open " << strDb;
        return listValues;
    }
    std::unique_ptr<sqlite3, CloseDb> ptrDb(ptrRaw);
    sqlite3_stmt* ptrStatementRaw = nullptr;
    if (sqlite3_prepare_v2(ptrDb.get(), pszSql, -1, &ptrStatementRaw, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(ptrDb.get());
        return listValues;
    }
    std::unique_ptr<sqlite3_stmt, FinalizeStatement> ptrStatement(ptrStatementRaw);
    sqlite3_bind_int64(ptrStatement.get(), 1, llJobId);
    while (sqlite3_step(ptrStatement.get()) == SQLITE_ROW) {
        const unsigned char* pszText = sqlite3_column_text(ptrStatement.get(), 0);
        listValues.push_back(pszText ? reinterpret_cast<const char*>(pszText) : "");
    }
    return listValues;
}

bool IsRegularFile(const std::string& strPath) {
    struct stat attributes {};
    return stat(strPath.c_str(), &attributes) == 0 && S_ISREG(attributes.st_mode);
}

}  // namespace

void CFaultScanTestBase::WriteSettings(unsigned uHAWaitSeconds, unsigned uTransferTimeoutSeconds,
                                       const std::string& strRestClientExtra) {
    std::ofstream(strSettings, std::ios::trunc)
        << "[Host]\nLogLevel = 3\n[FileSystemAgent]\nuHAWaitTime = " << uHAWaitSeconds
        << "\nNutanixRetrySleep = 1\nMaxScanRetries = 3\n[RestClient]\nConnectTimeoutSeconds = 5\n"
        << "TransferTimeoutSeconds = " << uTransferTimeoutSeconds << "\n"
        << strRestClientExtra;
}

void CFaultScanTestBase::PrepareTwoGoodJobs(const std::vector<std::string>& listSimulatorExtra) {
    WriteFile("share1/a.txt", "alpha\n");
    WriteFile("share1/docs/c.txt", "charlie\n");
    WriteFile("share1/old/x.txt", "x-ray\n");
    WriteMountTable({"share1"});
    std::vector<std::string> listExtra{"--page-size-cap", "2"};
    listExtra.insert(listExtra.end(), listSimulatorExtra.begin(), listSimulatorExtra.end());
    ASSERT_NO_FATAL_FAILURE(StartSimulator(listExtra));

    ProgramResult run1 = RunJob();
    ASSERT_EQ(0, run1.nExitStatus) << run1.strStderr;
    WriteFile("share1/b.txt", "bravo\n");
    ProgramResult run2 = RunJob();
    ASSERT_EQ(0, run2.nExitStatus) << run2.strStderr;
    ASSERT_THAT(Items(2), ElementsAre("ADD /127.0.0.1/share1/b.txt"));

    ASSERT_EQ("", CreateShareSnapshot(Admin(), "share1", kForeignSnapshot));
    WriteFile("share1/new.txt", "new\n");
    AppendFile("share1/a.txt", "more\n");
    Rename("share1/docs/c.txt", "share1/docs/c2.txt");
    Remove("share1/old/x.txt");
    ASSERT_EQ("", ForgetRequests(Admin()));
}

std::vector<std::string> CFaultScanTestBase::ChangesAfterJob2() {
    return {"ADD /127.0.0.1/share1/new.txt",
            "DELETE /127.0.0.1/share1/old/x.txt",
            "MODIFY /127.0.0.1/share1/a.txt",
            "MODIFY /127.0.0.1/share1/docs",
            "MODIFY /127.0.0.1/share1/old",
            "RENAME /127.0.0.1/share1/docs/c2.txt <- /127.0.0.1/share1/docs/c.txt"};
}

AdminConnection CFaultScanTestBase::Admin() const {
    return AdminConnection{ptrSim ? ptrSim->Origin() : std::string(), "admin", kPassword, strCaFile};
}

void CFaultScanTestBase::Arm(const std::string& strScenario) {
    ASSERT_EQ("", ApplyScenario(Admin(), strScenario));
}

std::vector<SeenRequest> CFaultScanTestBase::Seen() const {
    std::vector<SeenRequest> listRequests;
    EXPECT_EQ("", SeenRequests(Admin(), listRequests));
    return listRequests;
}

std::vector<std::string> CFaultScanTestBase::SnapshotsOfShare1() const {
    std::vector<std::string> listNames;
    EXPECT_EQ("", ListShareSnapshots(Admin(), "share1", listNames));
    return listNames;
}

void CFaultScanTestBase::ExpectFailedJob(const ProgramResult& run, long long llJobId,
                                         const std::vector<std::string>& listTexts) {
    EXPECT_EQ(1, run.nExitStatus) << run.strStderr;
    EXPECT_THAT(run.strStdout, HasSubstr("job " + std::to_string(llJobId) + " (incremental, previous job " +
                                         std::to_string(llJobId - 1) + ", full job 1): FAILED"));
    EXPECT_THAT(run.strStderr, HasSubstr("afs-scan: error: "));
    for (const std::string& strText : listTexts) EXPECT_THAT(run.strStderr, HasSubstr(strText));
    EXPECT_THAT(run.strStderr, ::testing::Not(HasSubstr(kPassword)));
    EXPECT_EQ(0, CountRows(llJobId)) << "a failed job must leave no rows";
    EXPECT_EQ("failed", JobStatus(llJobId));
}

void CFaultScanTestBase::ExpectWholeRecordLines(long long llJobId) const {
    const std::regex infoLine("(/[^:]+):(zkop__7_1_[0-9]+)@127\\.0\\.0\\.1:/share1:\\1/\\.snapshot/\\2");
    const std::regex mapLine("m:(/[^:]+):(/[^:]+):");
    for (const char* pszName : {"snapinfo", "snapmap"}) {
        const std::string strPath = JobFile(llJobId, pszName);
        if (!IsRegularFile(strPath)) continue;
        const std::string strText = ReadWholeFile(strPath);
        if (strText.empty()) continue;
        EXPECT_EQ('\n', strText.back()) << strPath << " ends inside a line: " << strText;
        std::istringstream lines(strText);
        std::string strLine;
        while (std::getline(lines, strLine)) {
            const bool bWellFormed =
                std::regex_match(strLine, std::string(pszName) == "snapinfo" ? infoLine : mapLine);
            EXPECT_TRUE(bWellFormed) << strPath << ": [" << strLine << "]";
        }
    }
}

void CFaultScanTestBase::ExpectNoDuplicateRows(long long llJobId) const {
    EXPECT_THAT(QueryColumn(strDb,
                            "SELECT change_type || ' ' || path FROM items WHERE job_id = ?1 "
                            "GROUP BY path, change_type HAVING COUNT(*) > 1",
                            llJobId),
                IsEmpty());
}

void CFaultScanTestBase::ExpectForeignSnapshotSurvives() const {
    EXPECT_THAT(SnapshotsOfShare1(), ::testing::Contains(kForeignSnapshot));
    EXPECT_TRUE(IsRegularFile(Share("share1/.snapshot/manual/a.txt")));
    EXPECT_EQ("alpha\n", ReadWholeFile(Share("share1/.snapshot/manual/a.txt")));
}

void CFaultScanTestBase::ExpectNextJobRecovers(long long llJobId) {
    ProgramResult run = RunJob();
    ASSERT_EQ(0, run.nExitStatus) << run.strStderr;
    EXPECT_THAT(run.strStdout, HasSubstr("job " + std::to_string(llJobId) +
                                         " (incremental, previous job 2, full job 1): ok"));
    EXPECT_THAT(Items(llJobId), ElementsAreArray(ChangesAfterJob2()));
    EXPECT_EQ(static_cast<long long>(ChangesAfterJob2().size()), CountRows(llJobId));
    ExpectNoDuplicateRows(llJobId);
    ExpectWholeRecordLines(llJobId);
    EXPECT_EQ("ok", JobStatus(llJobId));
    // Stale snapshots of the plug-in (job 1's, a failed job's) are gone; the
    // reference, the new one and the one taken by hand stay.
    EXPECT_THAT(SnapshotsOfShare1(), ElementsAre(SnapName(2), kForeignSnapshot, SnapName(llJobId)));
    ExpectForeignSnapshotSurvives();
}

std::string CFaultScanTestBase::JobStatus(long long llJobId) const {
    std::ifstream in(strStateDir + "/jobs.txt");
    std::string strStatus;
    long long llJob = 0;
    std::string strEventStatus;
    std::string strRest;
    while (in >> llJob >> strEventStatus && std::getline(in, strRest)) {
        if (llJob == llJobId) strStatus = strEventStatus;
    }
    return strStatus;
}

long long CFaultScanTestBase::CountRows(long long llJobId) const {
    std::vector<std::string> listCount =
        QueryColumn(strDb, "SELECT COUNT(*) FROM items WHERE job_id = ?1", llJobId);
    return listCount.empty() ? -1 : std::stoll(listCount.front());
}

}  // namespace afs_test
