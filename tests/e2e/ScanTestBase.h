#pragma once

// A fixture for end-to-end runs of afs-scan through the built plug-in against
// the afs-sim program: a temporary folder with the shares, the simulator's
// state, afs-scan's state folder, settings and mount table.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/ChildProgram.h"
#include "tests/support/SimulatorProcess.h"

namespace afs_test {

class CScanTestBase : public ::testing::Test {
protected:
    static constexpr const char* kPassword = "e2e-secret";
    static constexpr unsigned kClientId = 7;
    static constexpr unsigned kAppId = 1;

    void SetUp() override;
    void TearDown() override;

    std::string Share(const std::string& strName) const { return strSharesDir + "/" + strName; }
    void WriteFile(const std::string& strRelative, const std::string& strText);
    void AppendFile(const std::string& strRelative, const std::string& strText);
    void Rename(const std::string& strFrom, const std::string& strTo);
    void Remove(const std::string& strRelative);
    void MakeDir(const std::string& strRelative);

    // Starts afs-sim on the shares (state kept across restarts) with extra options.
    void StartSimulator(const std::vector<std::string>& listExtra = {});
    void StopSimulator() { ptrSim.reset(); }

    // Writes the mount table "127.0.0.1:/NAME SHARES/NAME nfs rw 0 0".
    void WriteMountTable(const std::vector<std::string>& listShares);

    // Runs afs-scan on the given shares with the fixture's settings, the
    // password in $AFS_PASSWORD and, when bMap, --map SHARES=/127.0.0.1.
    ProgramResult RunScan(const std::vector<std::string>& listShares,
                          const std::vector<std::string>& listExtra = {}, bool bMap = true,
                          const std::string& strPassword = kPassword);
    std::vector<std::string> ScanArgs(const std::vector<std::string>& listShares,
                                      const std::vector<std::string>& listExtra, bool bMap) const;

    // The job's rows as "TYPE PATH" or "TYPE PATH <- OLD", sorted.
    std::vector<std::string> Items(long long llJobId) const;
    long long CountItems(long long llJobId) const;

    std::string strRoot;
    std::string strSharesDir;
    std::string strStateDir;
    std::string strSettings;
    std::string strMountTable;
    std::string strDb;
    std::unique_ptr<CSimulatorProcess> ptrSim;
    int nRun = 0;
};

}  // namespace afs_test
