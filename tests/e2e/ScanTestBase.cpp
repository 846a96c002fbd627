#include "tests/e2e/ScanTestBase.h"

#include <sqlite3.h>
#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace afs_test {
namespace {

struct CloseDb {
    void operator()(sqlite3* ptrDb) const noexcept { sqlite3_close_v2(ptrDb); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* ptrStatement) const noexcept { sqlite3_finalize(ptrStatement); }
};

std::string Column(sqlite3_stmt* ptrStatement, int nColumn) {
    const unsigned char* pszText = sqlite3_column_text(ptrStatement, nColumn);
    return pszText ? reinterpret_cast<const char*>(pszText) : "";
}

}  // namespace

void CScanTestBase::SetUp() {
    std::string strPattern = (std::filesystem::temp_directory_path() / "afs-scan-e2e-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(strPattern.data()));
    strRoot = strPattern;
    strSharesDir = strRoot + "/shares";
    strStateDir = strRoot + "/state";
    strSettings = strRoot + "/host.ini";
    strMountTable = strRoot + "/mounts";
    strDb = strRoot + "/scan.db";
    std::filesystem::create_directories(strSharesDir);
    std::ofstream(strRoot + "/password") << kPassword << "\n";
    // No HA wait and the shortest retry sleep: failures surface at once.
    std::ofstream(strSettings) << "[Host]\nLogLevel = 3\n[FileSystemAgent]\nuHAWaitTime = 0\n"
                                  "NutanixRetrySleep = 1\nMaxScanRetries = 3\n"
                                  "[RestClient]\nConnectTimeoutSeconds = 5\nTransferTimeoutSeconds = 60\n";
}

void CScanTestBase::TearDown() {
    ptrSim.reset();
    std::error_code ignored;
    if (!strRoot.empty() && !HasFailure()) std::filesystem::remove_all(strRoot, ignored);
}

void CScanTestBase::WriteFile(const std::string& strRelative, const std::string& strText) {
    std::filesystem::create_directories(std::filesystem::path(Share(strRelative)).parent_path());
    std::ofstream(Share(strRelative), std::ios::trunc) << strText;
}

void CScanTestBase::AppendFile(const std::string& strRelative, const std::string& strText) {
    std::ofstream(Share(strRelative), std::ios::app) << strText;
}

void CScanTestBase::Rename(const std::string& strFrom, const std::string& strTo) {
    std::filesystem::rename(Share(strFrom), Share(strTo));
}

void CScanTestBase::Remove(const std::string& strRelative) {
    std::filesystem::remove_all(Share(strRelative));
}

void CScanTestBase::MakeDir(const std::string& strRelative) {
    std::filesystem::create_directories(Share(strRelative));
}

void CScanTestBase::StartSimulator(const std::vector<std::string>& listExtra) {
    std::vector<std::string> listArgs{
        "--shares", strSharesDir, "--state",         strRoot + "/sim-state", "--port", "0",
        "--user",   "admin",      "--password-file", strRoot + "/password",  "--quiet"};
    listArgs.insert(listArgs.end(), listExtra.begin(), listExtra.end());
    ASSERT_EQ("", CSimulatorProcess::Start(listArgs, ptrSim));
}

void CScanTestBase::WriteMountTable(const std::vector<std::string>& listShares) {
    std::ofstream out(strMountTable, std::ios::trunc);
    for (const std::string& strName : listShares)
        out << "127.0.0.1:/" << strName << " " << Share(strName) << " nfs rw 0 0\n";
}

std::vector<std::string> CScanTestBase::ScanArgs(const std::vector<std::string>& listShares,
                                                 const std::vector<std::string>& listExtra, bool bMap) const {
    std::vector<std::string> listArgs{AFS_SCAN_BIN,
                                      "--server",
                                      ptrSim ? ptrSim->Url() : "http://127.0.0.1:1/api/nutanix/v3",
                                      "--user",
                                      "admin",
                                      "--state",
                                      strStateDir,
                                      "--db",
                                      strDb,
                                      "--settings",
                                      strSettings,
                                      "--mount-table",
                                      strMountTable,
                                      "--client-id",
                                      std::to_string(kClientId),
                                      "--app-id",
                                      std::to_string(kAppId),
                                      "--plugin",
                                      AFS_PLUGIN_PATH};
    if (bMap) {
        listArgs.push_back("--map");
        listArgs.push_back(strSharesDir + "=/127.0.0.1");
    }
    for (const std::string& strName : listShares) {
        listArgs.push_back("--scan-path");
        listArgs.push_back(Share(strName));
    }
    listArgs.insert(listArgs.end(), listExtra.begin(), listExtra.end());
    return listArgs;
}

ProgramResult CScanTestBase::RunScan(const std::vector<std::string>& listShares,
                                     const std::vector<std::string>& listExtra, bool bMap,
                                     const std::string& strPassword) {
    return RunProgram(ScanArgs(listShares, listExtra, bMap), {"AFS_PASSWORD=" + strPassword},
                      strRoot + "/run" + std::to_string(++nRun));
}

std::vector<std::string> CScanTestBase::Items(long long llJobId) const {
    std::vector<std::string> listItems;
    sqlite3* ptrRaw = nullptr;
    if (sqlite3_open_v2(strDb.c_str(), &ptrRaw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(ptrRaw);
        ADD_FAILURE() << "cannot open " << strDb;
        return listItems;
    }
    std::unique_ptr<sqlite3, CloseDb> ptrDb(ptrRaw);
    sqlite3_stmt* ptrStatementRaw = nullptr;
    if (sqlite3_prepare_v2(ptrDb.get(), "SELECT change_type, path, old_path FROM items WHERE job_id = ?1", -1,
                           &ptrStatementRaw, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(ptrDb.get());
        return listItems;
    }
    std::unique_ptr<sqlite3_stmt, FinalizeStatement> ptrStatement(ptrStatementRaw);
    sqlite3_bind_int64(ptrStatement.get(), 1, llJobId);
    while (sqlite3_step(ptrStatement.get()) == SQLITE_ROW) {
        std::string strItem = Column(ptrStatement.get(), 0) + " " + Column(ptrStatement.get(), 1);
        const std::string strOld = Column(ptrStatement.get(), 2);
        if (!strOld.empty()) strItem += " <- " + strOld;
        listItems.push_back(strItem);
    }
    std::sort(listItems.begin(), listItems.end());
    return listItems;
}

long long CScanTestBase::CountItems(long long llJobId) const {
    return static_cast<long long>(Items(llJobId).size());
}

}  // namespace afs_test
