// Faults between the backup host and the file server, injected into one job
// of afs-scan through the built plug-in: an answer slower than the transfer
// timeout, a failover window shorter and longer than the high-availability
// wait, wrong credentials and a certificate that does not verify.
#include <gmock/gmock.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/FaultScanTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class TransportFaultE2ETest : public CFaultScanTestBase {
protected:
    // The job's requests as "operation status fault", oldest first.
    std::vector<std::string> SeenSummary() const {
        std::vector<std::string> listLines;
        for (const SeenRequest& request : Seen())
            listLines.push_back(request.strOperation + " " + std::to_string(request.lStatus) + " " +
                                request.strFault);
        return listLines;
    }
    bool SawOperation(const char* pszOperation) const {
        for (const SeenRequest& request : Seen()) {
            if (request.strOperation == pszOperation) return true;
        }
        return false;
    }
};

TEST_F(TransportFaultE2ETest, AnswerSlowerThanTheTransferTimeoutFailsTheJob) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    WriteSettings(0, 1);
    ASSERT_NO_FATAL_FAILURE(
        Arm(R"({"faults":[{"operation":"incremental_diff","kind":"delay","delay_ms":2000}]})"));
    ProgramResult run3 = RunJob();
    ExpectFailedJob(run3, 3,
                    {"CompareSnapAndLoadItem threw: create_mount_target_snapshot_incremental_diff failed: ",
                     "no complete answer within 1 s (TransferTimeoutSeconds)"});
    EXPECT_FALSE(SawOperation("diff_page"));
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();

    ASSERT_NO_FATAL_FAILURE(Disarm());
    ExpectNextJobRecovers(4);
}

// The first request meets a failover (503); the client waits the 1 s of its
// high-availability budget, asks again and the job never notices.
TEST_F(TransportFaultE2ETest, FailoverShorterThanTheHighAvailabilityWaitIsRiddenOut) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    WriteSettings(1, 10);
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"faults":[{"operation":"*","nth":1,"count":1,"status":503}]})"));
    ProgramResult run3 = RunJob();
    ASSERT_EQ(0, run3.nExitStatus) << run3.strStderr;
    EXPECT_THAT(run3.strStdout, HasSubstr("job 3 (incremental, previous job 2, full job 1): ok"));
    const std::vector<std::string> listSeen = SeenSummary();
    ASSERT_GE(listSeen.size(), 2u);
    EXPECT_EQ("list_partner_servers 503 status", listSeen[0]);
    EXPECT_EQ("list_partner_servers 200 ", listSeen[1]);
    EXPECT_THAT(Items(3), ElementsAreArray(ChangesAfterJob2()));
    ExpectNoDuplicateRows(3);
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();
}

TEST_F(TransportFaultE2ETest, FailoverLongerThanTheHighAvailabilityWaitFailsTheJob) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    WriteSettings(1, 10);
    ASSERT_NO_FATAL_FAILURE(Arm(R"({"faults":[{"operation":"*","nth":1,"count":1000,"status":503}]})"));
    ProgramResult run3 = RunJob();
    ExpectFailedJob(
        run3, 3,
        {"CreatePartnerServer failed",
         "get_partner_server failed: the file server stayed unavailable for the high-availability "
         "wait of 1 s (2 attempts; last: HTTP 503: "});
    EXPECT_THAT(SeenSummary(),
                ::testing::ElementsAre("list_partner_servers 503 status", "list_partner_servers 503 status"));
    ExpectWholeRecordLines(3);
    // The failover window covers every request, the test's own ones too.
    ASSERT_NO_FATAL_FAILURE(Disarm());
    ExpectForeignSnapshotSurvives();
    WriteSettings(0, 10);
    ExpectNextJobRecovers(4);
}

TEST_F(TransportFaultE2ETest, WrongCredentialsFailTheJobAtTheFirstRequest) {
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs());
    ProgramResult run3 = RunJob("not-the-password");
    ExpectFailedJob(run3, 3, {"CreatePartnerServer failed", "get_partner_server failed: HTTP 401"});
    EXPECT_THAT(run3.strStderr, ::testing::Not(HasSubstr("not-the-password")));
    EXPECT_THAT(SeenSummary(), ::testing::ElementsAre("list_partner_servers 401 "));
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();

    ExpectNextJobRecovers(4);
}

// A self-signed certificate made for this test: trusted through CABundle for
// the good jobs, and not trusted when the setting is missing.
TEST_F(TransportFaultE2ETest, CertificateThatDoesNotVerifyFailsTheJobBeforeAnyRequest) {
    const std::string strKey = strRoot + "/key.pem";
    strCaFile = strRoot + "/cert.pem";
    const std::string strCommand = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " + strKey + " -out " +
                                   strCaFile +
                                   " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 " +
                                   "> " + strRoot + "/openssl.log 2>&1";
    ASSERT_EQ(0, std::system(strCommand.c_str())) << ReadWholeFile(strRoot + "/openssl.log");
    const std::string strTrust = "CABundle = " + strCaFile + "\n";
    WriteSettings(0, 10, strTrust);
    ASSERT_NO_FATAL_FAILURE(PrepareTwoGoodJobs({"--tls-cert", strCaFile, "--tls-key", strKey}));
    ASSERT_EQ(0u, ptrSim->Url().rfind("https://", 0)) << ptrSim->Url();

    WriteSettings(0, 10);
    ProgramResult run3 = RunJob();
    ExpectFailedJob(run3, 3, {"CreatePartnerServer failed", "get_partner_server failed: ", "certificate"});
    EXPECT_THAT(SeenSummary(), ::testing::IsEmpty()) << "no request may pass an untrusted TLS session";
    ExpectWholeRecordLines(3);
    ExpectForeignSnapshotSurvives();

    WriteSettings(0, 10, strTrust);
    ExpectNextJobRecovers(4);
}

}  // namespace
}  // namespace afs_test
