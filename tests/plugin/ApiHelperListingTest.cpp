// Partner server registration, share listing and snapshot listing, creation
// and deletion through a scripted REST backend.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include "restclient/NutanixException.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kPartnerName = "curl_client_partner_server_pellorand";

std::vector<ShareSpec> ManyShares(int count) {
    std::vector<ShareSpec> shares;
    for (int i = 0; i < count; ++i) {
        shares.push_back(ShareSpec{"share" + std::to_string(i), "uuid-" + std::to_string(i)});
    }
    return shares;
}

class ApiHelperTest : public CPluginTestBase {
protected:
    ApiHelperTest() : helper("server", "user", "secret", 1234) {}
    CNutanixAFSManagerAPIHelper helper;
};

// --- paging ---------------------------------------------------------------

TEST_F(ApiHelperTest, SharesArePagedTwentyAtATimeUntilTheTotal) {
    ptrBackend->fnGetMountTarget = ServeShares(ManyShares(45));
    std::vector<MountedTargets> targets;
    CRhError error = helper.GetMountedTargets(targets);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("get_mount_target 0 20", "get_mount_target 20 20", "get_mount_target 40 20"));
    ASSERT_EQ(45u, targets.size());
    EXPECT_EQ("share44", targets[44].strShareName);
    EXPECT_EQ("uuid-44", targets[44].strShareUUID);
    EXPECT_EQ("GENERAL", targets[44].strShareType);
    EXPECT_EQ(3u, log->CountContaining("Total Number of Mounted Targets : 45"));
}

TEST_F(ApiHelperTest, AnEmptyServerEndsAfterOneRequest) {
    ptrBackend->fnGetMountTarget = ServeShares({});
    std::vector<MountedTargets> targets;
    EXPECT_FALSE(helper.GetMountedTargets(targets).IsError());
    EXPECT_TRUE(targets.empty());
    EXPECT_EQ(1u, ptrBackend->listCalls.size());
}

TEST_F(ApiHelperTest, CapabilityMustMatchExactly) {
    std::vector<ShareSpec> shares = {{"a", "1", {"cft_backup"}}, {"b", "2", {"CFT_BACKUP "}},
                                     {"c", "3", {"SMB", "CFT_BACKUP", "NFS"}}, {"d", "4", {}}};
    ptrBackend->fnGetMountTarget = ServeShares(shares);
    std::vector<MountedTargets> targets;
    ASSERT_FALSE(helper.GetMountedTargets(targets).IsError());
    ASSERT_EQ(4u, targets.size());
    EXPECT_FALSE(targets[0].bCFTBackup);
    EXPECT_FALSE(targets[1].bCFTBackup);
    EXPECT_TRUE(targets[2].bCFTBackup);
    EXPECT_FALSE(targets[3].bCFTBackup);
}

TEST_F(ApiHelperTest, ListingWithoutProgressEndsWithAnErrorNotALoop) {
    // total 45 but every answer holds nothing
    ptrBackend->fnGetMountTarget = [](int32_t offset, int32_t) { return MakeSharePage(offset, 45, {}); };
    std::vector<MountedTargets> targets;
    CRhError error = helper.GetMountedTargets(targets);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("get_mount_target paging stopped: no progress at offset 0, total 45", error.GetMessage());
    EXPECT_EQ(1u, ptrBackend->listCalls.size());
}

TEST_F(ApiHelperTest, ListingThatOvershootsTheTotalEndsWithAnError) {
    // offset 0 + length 20 passes a reported total of 15
    ptrBackend->fnGetMountTargetSnapshot = [](int32_t offset, int32_t) {
        std::vector<SnapSpec> snaps(20, SnapSpec{"s", "n", "mt"});
        return MakeSnapPage(offset, 15, snaps);
    };
    std::vector<MountedTargetsSnaps> snaps;
    CRhError error = helper.GetListOfSnapsForUUID("mt", snaps);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("get_mount_target_snapshot paging stopped: next offset 20 passes the total 15 (requested offset 0)",
              error.GetMessage());
    EXPECT_EQ(1u, ptrBackend->listCalls.size());
}

TEST_F(ApiHelperTest, PartnerPagingWithoutProgressEndsWithAnError) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) { return MakePartnerPage(offset, 3, {}); };
    CRhError error = helper.CreatePartnerServer({"10.0.0.1"});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("get_partner_server paging stopped: no progress at offset 0, total 3", error.GetMessage());
    EXPECT_TRUE(ptrBackend->listPartnerCreations.empty());
}

// --- null answers -----------------------------------------------------------

TEST_F(ApiHelperTest, NullShareAnswerIsAFailureKeepingEarlierPages) {
    auto serve = ServeShares(ManyShares(45));
    ptrBackend->fnGetMountTarget = [serve](int32_t offset, int32_t length) {
        return offset == 20 ? nullptr : serve(offset, length);
    };
    std::vector<MountedTargets> targets;
    CRhError error = helper.GetMountedTargets(targets);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("get_mount_target failed", error.GetMessage());
    EXPECT_EQ(20u, targets.size());
    EXPECT_TRUE(Events().empty());
}

TEST_F(ApiHelperTest, NullSnapshotAnswerEndsTheListingSuccessfully) {
    auto serve = ServeSnaps(std::vector<SnapSpec>(30, SnapSpec{"s", "n", "mt"}));
    ptrBackend->fnGetMountTargetSnapshot = [serve](int32_t offset, int32_t length) {
        return offset == 20 ? nullptr : serve(offset, length);
    };
    std::vector<MountedTargetsSnaps> snaps;
    EXPECT_FALSE(helper.GetListOfSnapsForUUID("mt", snaps).IsError());
    EXPECT_EQ(20u, snaps.size());
    EXPECT_EQ(1u, log->CountContaining("get_mount_target_snapshot returned no shapsots"));
}

// --- the REST call guard ------------------------------------------------------

TEST_F(ApiHelperTest, NutanixExceptionOnSecondPageSendsEventAndKeepsFirstPage) {
    auto serve = ServeShares(ManyShares(45));
    ptrBackend->fnGetMountTarget = [serve](int32_t offset, int32_t length) {
        if (offset == 20) throw NutanixException("get_mount_target: HTTP 500: disk on fire");
        return serve(offset, length);
    };
    std::vector<MountedTargets> targets;
    CRhError error = helper.GetMountedTargets(targets);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("get_mount_target called failed with error [get_mount_target: HTTP 500: disk on fire]",
              error.GetMessage());
    EXPECT_EQ(20u, targets.size());
    EXPECT_THAT(Events(), ElementsAre("0x11000095: get_mount_target | get_mount_target: HTTP 500: disk on fire"));
}

TEST_F(ApiHelperTest, OtherStandardExceptionIsTreatedLikeNutanixException) {
    ptrBackend->fnGetMountTargetSnapshot = [](int32_t, int32_t)
        -> std::shared_ptr<model::Mount_target_snapshot_list_intent_response> { throw std::bad_alloc(); };
    std::vector<MountedTargetsSnaps> snaps;
    CRhError error = helper.GetListOfSnapsForUUID("mt", snaps);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("get_mount_target_snapshot called failed with error [std::bad_alloc]", error.GetMessage());
    EXPECT_THAT(Events(), ElementsAre("0x11000095: get_mount_target_snapshot | std::bad_alloc"));
}

TEST_F(ApiHelperTest, NonStandardExceptionLogsCatchAllAndSendsNoEvent) {
    ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string&) -> std::string { throw 42; };
    std::string snapUUID = "unchanged";
    CRhError error = helper.CreateSnap("mt", "zkop__2_7_1234", snapUUID);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("Create Snap function failed", error.GetMessage());
    EXPECT_EQ("unchanged", snapUUID);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(1u, log->CountContaining("Exception was raised by create_mount_target_snapshot, Reason :[UNKNOWN]"));
}

// --- partner server -----------------------------------------------------------

TEST_F(ApiHelperTest, PartnerServerIsCreatedWhenTheServerHasNone) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) { return MakePartnerPage(offset, 0, {}); };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) { return std::string("ps-uuid"); };
    ASSERT_FALSE(helper.CreatePartnerServer({"10.0.0.1", "backup.example"}).IsError());
    ASSERT_EQ(1u, ptrBackend->listPartnerCreations.size());
    const PartnerCreation& creation = ptrBackend->listPartnerCreations[0];
    EXPECT_EQ(kPartnerName, creation.strName);
    EXPECT_EQ("BACKUP", creation.strUsage);
    EXPECT_EQ("Pellorand", creation.strVendor);
    EXPECT_EQ("partner server created from curl client", creation.strDescription);
    EXPECT_FALSE(creation.bDnsNameSet || creation.bIpAddressSet || creation.bPortSet || creation.bPartnerTypeSet);
    EXPECT_EQ(boost::optional<bool>(true), creation.optEnabled);
    EXPECT_EQ(boost::optional<bool>(true), creation.optAllowBackup);
    ASSERT_TRUE(creation.optServerInfo && creation.optShares && creation.optExports);
    EXPECT_EQ((PairList{{"10.0.0.1", "RW"}, {"backup.example", "RW"}}), *creation.optServerInfo);
    EXPECT_TRUE(creation.optShares->empty());
    EXPECT_EQ(1u, log->CountContaining("Partner server does not exists creating new partner server"));
    EXPECT_EQ(1u, log->CountContaining(
                      "Total 0 partner server at(offset=0, length=20), returned(offset=0, length=0)"));
}

TEST_F(ApiHelperTest, PartnerFoundOnSecondPageStopsScanningAndStillRegisters) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) {
        if (offset == 0) return MakePartnerPage(0, 45, std::vector<std::string>(20, "other"));
        return MakePartnerPage(20, 45, {"x", kPartnerName, "y"});
    };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) { return std::string("ps-uuid"); };
    ASSERT_FALSE(helper.CreatePartnerServer({}).IsError());
    EXPECT_THAT(ptrBackend->listCalls, ElementsAre("get_partner_server 0 20", "get_partner_server 20 20",
                                                   std::string("create_partner_server ") + kPartnerName));
    EXPECT_EQ(0u, log->CountContaining("Partner server does not exists"));
    ASSERT_TRUE(ptrBackend->listPartnerCreations[0].optServerInfo);
    EXPECT_TRUE(ptrBackend->listPartnerCreations[0].optServerInfo->empty());
}

TEST_F(ApiHelperTest, PartnerNameDifferingInCaseIsNotAMatch) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) {
        return MakePartnerPage(offset, 1, {"CURL_CLIENT_PARTNER_SERVER_PELLORAND"});
    };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) { return std::string("ps-uuid"); };
    ASSERT_FALSE(helper.CreatePartnerServer({}).IsError());
    EXPECT_EQ(1u, log->CountContaining("Partner server does not exists creating new partner server"));
}

TEST_F(ApiHelperTest, EmptyPartnerCreationAnswerIsAFailureWithoutEvent) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) { return MakePartnerPage(offset, 0, {}); };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) { return std::string(); };
    CRhError error = helper.CreatePartnerServer({"a"});
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ("create_partner_server called failed", error.GetMessage());
    EXPECT_TRUE(Events().empty());
}

TEST_F(ApiHelperTest, PartnerListingExceptionSendsEventAndSkipsCreation) {
    ptrBackend->fnGetPartnerServer = [](int32_t, int32_t)
        -> std::shared_ptr<model::Partner_server_list_intent_response> { throw NutanixException("boom"); };
    CRhError error = helper.CreatePartnerServer({"a"});
    EXPECT_EQ("create_partner_server called failed with error [boom]", error.GetMessage());
    EXPECT_THAT(Events(), ElementsAre("0x11000095: create_partner_server | boom"));
    EXPECT_TRUE(ptrBackend->listPartnerCreations.empty());
}

TEST_F(ApiHelperTest, CreationFailureAfterPartnerFoundUsesInnerGuardWithoutEvent) {
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) { return MakePartnerPage(offset, 1, {kPartnerName}); };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) -> std::string { throw NutanixException("409"); };
    CRhError error = helper.CreatePartnerServer({"a"});
    EXPECT_EQ("create_partner_server called failed with error [409]", error.GetMessage());
    EXPECT_TRUE(Events().empty());

    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) -> std::string { throw "odd"; };
    error = helper.CreatePartnerServer({"a"});
    EXPECT_EQ("create_partner_server called", error.GetMessage());
    EXPECT_EQ(1u, log->CountContaining("Exception was raised by create_partner_server, Reason :[UNKNOWN]"));
}

// --- snapshots ------------------------------------------------------------------

TEST_F(ApiHelperTest, SnapshotListingKeepsOnlyTheMountTargetsOwnExactly) {
    ptrBackend->fnGetMountTargetSnapshot = ServeSnaps({{"s1", "a", "mt"},
                                                       {"s2", "b", "MT"},
                                                       {"s3", "c", "other"},
                                                       {"s4", "d", "mt", "CREATING"}});
    std::vector<MountedTargetsSnaps> snaps;
    ASSERT_FALSE(helper.GetListOfSnapsForUUID("mt", snaps).IsError());
    ASSERT_EQ(2u, snaps.size());
    EXPECT_EQ("s1", snaps[0].strSnapUUID);
    EXPECT_EQ("a", snaps[0].strSnapName);
    EXPECT_EQ("s4", snaps[1].strSnapUUID);
    EXPECT_EQ(1u, ptrBackend->listCalls.size());
    EXPECT_EQ("get_mount_target_snapshot 0 20", ptrBackend->listCalls[0]);
}

TEST_F(ApiHelperTest, DeletionGoesOnPastAFailedDelete) {
    ptrBackend->fnDeleteSnapshot = [](const std::string& uuid) {
        if (uuid == "s2") throw NutanixException("delete refused");
    };
    CRhError error = helper.CleanListOfSnapsForUUID("mt", {{"s1", "a"}, {"s2", "b"}, {"s3", "c"}});
    EXPECT_FALSE(error.IsError());
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("delete_mount_target_snapshot s1 true", "delete_mount_target_snapshot s2 true",
                            "delete_mount_target_snapshot s3 true"));
    EXPECT_EQ(1u, log->CountContaining("Delete Snap called failed with error [delete refused]"));
    EXPECT_TRUE(Events().empty());

    ptrBackend->listCalls.clear();
    EXPECT_FALSE(helper.CleanListOfSnapsForUUID("mt", {}).IsError());
    EXPECT_TRUE(ptrBackend->listCalls.empty());
}

TEST_F(ApiHelperTest, CreateSnapReturnsTheNewUUID) {
    ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string&) { return std::string("new-uuid"); };
    std::string snapUUID;
    ASSERT_FALSE(helper.CreateSnap("mt", "zkop__2_7_1234", snapUUID).IsError());
    EXPECT_EQ("new-uuid", snapUUID);
    EXPECT_THAT(ptrBackend->listCalls,
                ElementsAre("create_mount_target_snapshot mt zkop__2_7_1234 [Snapshot created from scan] true"));
    EXPECT_EQ(1u, log->CountContaining("Snap creation success and SnapUUID [new-uuid]"));
}

TEST_F(ApiHelperTest, CreateSnapWithEmptyUUIDIsAFailure) {
    ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string&) { return std::string(); };
    std::string snapUUID = "before";
    CRhError error = helper.CreateSnap("mt", "zkop__2_7_1234", snapUUID);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(1627u, error.GetCode());
    EXPECT_EQ("Create Snap function failed with error [the file server answered an empty snapshot UUID]",
              error.GetMessage());
    EXPECT_EQ("before", snapUUID);
    EXPECT_EQ(0u, log->CountContaining("Snap creation success"));
}

struct ConflictCase {
    const char* szName;
    std::vector<SnapSpec> listSnaps;  // what the listing after the 409 shows
    const char* szUUID;               // empty: the failure stands
};

TEST_F(ApiHelperTest, RegressionCreationConflictTakesOnlyTheSnapshotOfThatName) {
    const ConflictCase cases[] = {
        {"made by the first attempt", {{"s9", "zkop__2_7_1234", "mt"}}, "s9"},
        {"no snapshot of that name", {{"s8", "zkop__2_7_1233", "mt"}, {"s7", "ZKOP__2_7_1234", "mt"}}, ""},
    };
    for (const ConflictCase& test : cases) {
        SCOPED_TRACE(test.szName);
        ptrBackend->fnCreateSnapshot = [](const std::string&, const std::string&) -> std::string {
            throw NutanixException("create_mount_target_snapshot failed: HTTP 409: snapshot exists", 409);
        };
        ptrBackend->fnGetMountTargetSnapshot = ServeSnaps(test.listSnaps);
        std::string snapUUID = "untouched";
        CRhError error = helper.CreateSnap("mt", "zkop__2_7_1234", snapUUID);
        EXPECT_EQ(*test.szUUID == 0, error.IsError());
        EXPECT_EQ(*test.szUUID == 0 ? "untouched" : test.szUUID, snapUUID);
    }
    ptrBackend->fnGetPartnerServer = [](int32_t offset, int32_t) {
        return MakePartnerPage(offset, 1, {kPartnerName});
    };
    ptrBackend->fnCreatePartnerServer = [](const PartnerCreation&) -> std::string {
        throw NutanixException("create_partner_server failed: HTTP 409: partner server exists", 409);
    };
    CRhError error = helper.CreatePartnerServer({"10.0.0.5"});
    EXPECT_FALSE(error.IsError()) << error.AsString();
}

}  // namespace
}  // namespace afs_test
