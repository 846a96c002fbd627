#pragma once

// A fixture for fault scenarios: a share with two good jobs behind it and a
// snapshot the backup product does not own, then a job run under a fault,
// then a job after the fault that must report exactly the changes the failed
// job did not deliver.

#include <string>
#include <vector>

#include "tests/e2e/ScanTestBase.h"
#include "tests/e2e/SimulatorAdmin.h"

namespace afs_test {

class CFaultScanTestBase : public CScanTestBase {
protected:
    static constexpr const char* kForeignSnapshot = "manual";

    // Replaces the host settings: the high-availability wait, the transfer
    // timeout and any further "[RestClient]" lines (e.g. "CABundle = FILE").
    void WriteSettings(unsigned uHAWaitSeconds, unsigned uTransferTimeoutSeconds,
                       const std::string& strRestClientExtra = "");

    // Share "share1" with a small tree, the simulator (at most two difference
    // objects per page, so a difference spans pages), job 1 (full) and job 2
    // (incremental) both ok, the foreign snapshot, and the changes that job 3
    // should then report (ChangesAfterJob2()). Requests seen so far are
    // forgotten.
    void PrepareTwoGoodJobs(const std::vector<std::string>& listSimulatorExtra = {});
    static std::vector<std::string> ChangesAfterJob2();

    // Runs afs-scan on share1 committing every row at once, so the rows a
    // failed job already handed over are really in the database and must be
    // taken back.
    ProgramResult RunJob(const std::string& strPassword = kPassword) {
        return RunScan({"share1"}, {"--batch-rows", "1"}, true, strPassword);
    }

    AdminConnection Admin() const;
    void Arm(const std::string& strScenario);
    void Disarm() { Arm("{}"); }
    std::vector<SeenRequest> Seen() const;

    std::string SnapName(long long llJobId) const { return "zkop__7_1_" + std::to_string(llJobId); }
    std::string JobFile(long long llJobId, const char* pszName) const {
        return strStateDir + "/job-" + std::to_string(llJobId) + "/" + pszName;
    }
    std::vector<std::string> SnapshotsOfShare1() const;

    // A job that failed: exit status 1, the summary says FAILED, the error
    // chain holds every text of `listTexts`, no rows, history "failed".
    void ExpectFailedJob(const ProgramResult& run, long long llJobId,
                         const std::vector<std::string>& listTexts);
    // Every record file of the job holds whole, well-formed lines only.
    void ExpectWholeRecordLines(long long llJobId) const;
    // The job's rows hold no (path, change_type) twice.
    void ExpectNoDuplicateRows(long long llJobId) const;
    // The snapshot taken by hand is still listed and its copy still there.
    void ExpectForeignSnapshotSurvives() const;
    // With the fault gone, the next job succeeds against job 2 and reports
    // exactly ChangesAfterJob2(); job 2's reference snapshot is all that is
    // left of the plug-in's older snapshots.
    void ExpectNextJobRecovers(long long llJobId);

    // The newest status of `llJobId` in the job history, "" when absent.
    std::string JobStatus(long long llJobId) const;
    // Rows of the job in the scan database, duplicates included.
    long long CountRows(long long llJobId) const;

    std::string strCaFile;  // set when the simulator serves HTTPS
};

}  // namespace afs_test
