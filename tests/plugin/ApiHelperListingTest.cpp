// Partner server registration, share listing and snapshot listing, creation
// and deletion through a scripted REST backend.
#include <gmock/gmock.h>

#include "restclient/NutanixException.h"
#include "tests/support/PluginTestBase.h"

namespace afs_test {
namespace {

using ::testing::ElementsAre;

const std::string kPartner = "curl_client_partner_server_pellorand";
const std::string kCreation =
    "create_partner_server " + kPartner +
    " BACKUP Pellorand [partner server created from curl client] dns=unset ip=unset "
    "port=unset enabled=true type=unset servers=[";
const std::string kCreationEnd = "] shares=[] exports=[] backup=true";

class ApiHelperTest : public CPluginTestBase {
protected:
    CNutanixAFSManagerAPIHelper helper{"server", "user", "secret", 1234};
};

// What a REST operation's guard makes of each way the call can fail: a
// throw (NutanixException, std exception, anything else, HTTP 409) or a plain
// failing answer. "create_new_partner_server" is the creation after our name
// was not listed; "create_partner_server" the one after it was.
TEST_F(ApiHelperTest, RestCallGuardsTurnEveryFailureIntoAnErrorChain) {
    enum EThrow { eNutanix, eStd, eOther, ePlain, eConflict };
    // clang-format off
    const struct {
        std::string strOperation;
        EThrow eThrow;
        const char *message, *event, *logLine;  // logLine: once at level 0
    } cases[] = {
        {"get_mount_target", eNutanix, "get_mount_target called failed with error [HTTP 500: fire]",
         "get_mount_target | HTTP 500: fire", nullptr},
        {"get_mount_target", eOther, "get_mount_target called failed", nullptr,
         "Exception was raised by get_mount_target, Reason :[UNKNOWN]"},
        {"get_mount_target", ePlain, "get_mount_target failed", nullptr, "get_mount_target failed"},
        {"get_mount_target_snapshot", eNutanix,
         "get_mount_target_snapshot called failed with error [HTTP 500: fire]",
         "get_mount_target_snapshot | HTTP 500: fire", nullptr},
        {"create_mount_target_snapshot", eStd, "Create Snap function failed with error [std::bad_alloc]",
         "create_mount_target_snapshot | std::bad_alloc", nullptr},
        {"create_mount_target_snapshot", ePlain,
         "Create Snap function failed with error [the file server answered an empty snapshot UUID]", nullptr,
         "Create Snap function failed with error [the file server answered an empty snapshot UUID]"},
        {"get_partner_server", eOther, "create_partner_server called failed", nullptr,
         "Exception was raised by create_partner_server, Reason :[UNKNOWN]"},
        {"create_partner_server", eNutanix, "create_partner_server called failed with error [HTTP 500: fire]",
         nullptr, nullptr},
        {"create_partner_server", eOther, "create_partner_server called", nullptr,
         "Exception was raised by create_partner_server, Reason :[UNKNOWN]"},
        {"create_new_partner_server", eNutanix,
         "create_partner_server called failed with error [HTTP 500: fire]",
         "create_partner_server | HTTP 500: fire", nullptr},
        {"create_new_partner_server", ePlain, "create_partner_server called failed", nullptr, nullptr},
        // A 409 is taken only when our name is listed afterwards.
        {"create_new_partner_server", eConflict,
         "create_partner_server called failed with error [HTTP 409: exists]",
         "create_partner_server | HTTP 409: exists", nullptr},
    };
    // clang-format on
    for (const auto& test : cases) {
        SCOPED_TRACE(test.strOperation + " " + std::to_string(test.eThrow));
        ISendEventInterface::GetInstance()->ClearSentEvents();
        log->Clear();
        auto fnFail = [&test]() {
            if (test.eThrow == eNutanix) throw NutanixException("HTTP 500: fire");
            if (test.eThrow == eStd) throw std::bad_alloc();
            if (test.eThrow == eConflict) throw NutanixException("HTTP 409: exists", 409);
            if (test.eThrow == eOther) throw 42;
        };
        ptrBackend->fnGetMountTarget = [&](int32_t, int32_t) -> SharePage { return fnFail(), nullptr; };
        ptrBackend->fnGetMountTargetSnapshot = [&](int32_t, int32_t) -> SnapPage {
            return fnFail(), nullptr;
        };
        ptrBackend->fnCreateSnapshot = [&](Str, Str) { return fnFail(), ""; };
        ptrBackend->fnGetPartnerServer = test.strOperation == "get_partner_server"
            ? [&](int32_t, int32_t) -> PartnerPage { return fnFail(), nullptr; }
        : ServePartners({test.strOperation == "create_partner_server" ? kPartner : "x"});
        ptrBackend->fnCreatePartnerServer = [&]() { return fnFail(), ""; };
        std::vector<MountedTargets> shares;
        std::vector<MountedTargetsSnaps> snaps;
        std::string uuid = "unchanged";
        const std::string& op = test.strOperation;
        CRhError error = op == "get_mount_target"               ? helper.GetMountedTargets(shares)
                         : op == "get_mount_target_snapshot"    ? helper.GetListOfSnapsForUUID("mt", snaps)
                         : op == "create_mount_target_snapshot" ? helper.CreateSnap("mt", "n", uuid)
                                                                : helper.CreatePartnerServer({"a"});
        EXPECT_EQ(1627u, error.GetCode());
        EXPECT_EQ(test.message, error.GetMessage());
        EXPECT_EQ(test.event ? std::vector<std::string>{std::string("0x11000095: ") + test.event}
                             : std::vector<std::string>{},
                  Events());
        EXPECT_EQ(test.logLine ? 1u : 0u,
                  log->CountContaining(test.logLine ? test.logLine : "Exception was raised by", 0));
        EXPECT_EQ("unchanged", uuid);
    }
}

// A share the server does not offer for backup in exactly these letters is not backed up.
TEST_F(ApiHelperTest, OnlyTheExactCapabilityMarksAShareForBackup) {
    std::vector<ShareSpec> all{{"s0", "u0", {"cft_backup"}},
                               {"s1", "u1", {"SMB", "CFT_BACKUP"}},
                               {"s2", "u2", {"CFT_BACKUP "}},
                               {"s3", "u3", {}}};
    ptrBackend->fnGetMountTarget = ServeShares(all);
    std::vector<MountedTargets> shares;
    ASSERT_FALSE(helper.GetMountedTargets(shares).IsError());
    std::string marks;
    for (const MountedTargets& share : shares) marks += share.bCFTBackup ? '1' : '0';
    EXPECT_EQ("0100", marks);
}

// A listing that moves while it is paged (its total, or an entity across a
// page boundary) is read again from offset 0, at most three times, and the
// reading that holds still counts alone; one that never holds still, makes no
// progress, overshoots its total or never ends is an error, logged once at
// level 0.
TEST_F(ApiHelperTest, ListingsThatMoveAreReadAgainAndEndWithinBounds) {
    auto uuids = [](int from, int to) {
        std::vector<std::string> list;
        for (int i = from; i < to; ++i) list.push_back("s" + std::to_string(i));
        return list;
    };
    // The listing as the server holds it at request n (counted from 0), from
    // its entry uFirst on; nTotal -1: its size.
    struct Listing {
        std::vector<std::string> listUuids;
        int32_t nTotal;
        size_t uFirst;
    };
    using FListing = std::function<Listing(int n, int32_t offset)>;
    static constexpr int32_t kHuge = 2147483647;
    // clang-format off
    const struct {
        char cList;  // 's' snapshots of "mt", 'm' shares
        const char* ini;
        FListing fnListing;
        std::string offsets;  // requested, when given
        std::vector<std::string> listResult;
        std::string error;
    } cases[] = {
        {'m', "", [](int, int32_t) { return Listing{{}, -1, 0}; }, "0", {}, ""},
        // A snapshot created between two pages: only the second reading counts.
        {'s', "", [&](int n, int32_t) { return Listing{uuids(0, n ? 26 : 25), -1, 0}; }, "0 20 0 20", uuids(0,
         26), ""},
        {'s', "", [&](int n, int32_t) { return Listing{uuids(0, 25 + n), -1, 0}; }, "0 20 0 20 0 20 0 20", {},
         "get_mount_target_snapshot paging stopped: the total changed from 31 to 32 at offset 20"},
        {'s', "", [](int, int32_t offset) { return Listing{{"a"}, kHuge, size_t(offset)}; },
         "0 1 0 1 0 1 0 1", {}, "get_mount_target_snapshot paging stopped: entity [a] came back at offset 1"},
        // Fresh entities for ever behind a constant total.
        {'s', "[FileSystemAgent]\nMaxListEntities = 40",
         [&](int, int32_t offset) { return Listing{uuids(offset, offset + 20), kHuge, size_t(offset)}; },
          "0 20 40", {},
         "get_mount_target_snapshot paging stopped: more than 40 entities read "
         "([FileSystemAgent] MaxListEntities)"},
        {'s', "", [&](int, int32_t offset) { return Listing{uuids(offset, offset + 20), kHuge,
         size_t(offset)}; }, "", {},
         "get_mount_target_snapshot paging stopped: more than 1000000 entities read "
         "([FileSystemAgent] MaxListEntities)"},
        {'m', "", [](int, int32_t) { return Listing{{}, 45, 0}; }, "0", {},
         "get_mount_target paging stopped: no progress at offset 0, total 45"},
        {'s', "", [&](int, int32_t) { return Listing{uuids(0, 20), 15, 0}; }, "0", {},
         "get_mount_target_snapshot paging stopped: next offset 20 passes the total 15 (requested offset 0)"},
    };
    // clang-format on
    for (const auto& test : cases) {
        SCOPED_TRACE(test.error.empty() ? test.offsets : test.error);
        settings.Rewrite(test.ini);
        CNutanixAFSManagerAPIHelper listing("server", "user", "secret", 1234);  // reads the settings
        log->Clear();
        std::string offsets;
        int nRequest = 0;
        // The page at `offset` of the listing as it is at this request.
        auto answer = [&](int32_t offset, auto serve, auto spec) {
            offsets += (offsets.empty() ? "" : " ") + std::to_string(offset);
            const Listing now = test.fnListing(nRequest++, offset);
            std::vector<decltype(spec(""))> listEntries;
            for (const std::string& uuid : now.listUuids) listEntries.push_back(spec(uuid));
            auto ptrPage = serve(listEntries, now.nTotal)(offset - now.uFirst, 20);
            ptrPage->getMetadata()->setOffset(offset);
            return ptrPage;
        };
        ptrBackend->fnGetMountTargetSnapshot = [&](int32_t offset, int32_t) {
            return answer(offset, ServeSnaps, [](Str uuid) { return SnapSpec{uuid, "n"}; });
        };
        ptrBackend->fnGetMountTarget = [&](int32_t offset, int32_t) {
            return answer(offset, ServeShares, [](Str uuid) { return ShareSpec{"share", uuid}; });
        };
        std::vector<MountedTargetsSnaps> snaps;
        std::vector<MountedTargets> shares;
        CRhError error = test.cList == 's' ? listing.GetListOfSnapsForUUID("mt", snaps)
                                           : listing.GetMountedTargets(shares);
        std::vector<std::string> listResult;
        for (const MountedTargetsSnaps& snap : snaps) listResult.push_back(snap.strSnapUUID);
        for (const MountedTargets& share : shares) listResult.push_back(share.strShareUUID);
        EXPECT_EQ(test.error, error.GetMessage());
        if (!test.offsets.empty()) {
            EXPECT_EQ(test.offsets, offsets);
        }
        if (error.IsError()) {
            EXPECT_EQ(1u, log->CountContaining(test.error, 0));
        } else {
            EXPECT_EQ(test.listResult, listResult);
        }
        // Every reading again from offset 0 says why.
        size_t uRestarts = 0;
        for (size_t u = offsets.find(" 0 "); u != std::string::npos; u = offsets.find(" 0 ", u + 1))
            ++uRestarts;
        EXPECT_EQ(uRestarts, log->CountContaining(" paging restarts from offset 0", 0));
    }
    ptrBackend->fnGetPartnerServer = [](int32_t, int32_t) {
        auto ptrPage = ServePartners({"x"})(0, 20);
        ptrPage->setMetadata(nullptr);
        return ptrPage;
    };
    EXPECT_EQ("create_partner_server called failed with error [get_partner_server answered no page]",
              helper.CreatePartnerServer({"a"}).GetMessage());
}

TEST_F(ApiHelperTest, PartnerServerIsLookedUpByExactNameAndAlwaysRegistered) {
    std::vector<std::string> listSecondPage(20, "other");
    listSecondPage.insert(listSecondPage.end(), {"x", kPartner, "y", kPartner});
    listSecondPage.resize(45, "z");
    // clang-format off
    const struct {
        std::vector<std::string> listServers;
        std::list<std::string> listEntries;
        std::vector<std::string> listCalls;
        bool bCreatedNew;
    } cases[] = {
        {{"CURL_CLIENT_PARTNER_SERVER_PELLORAND"}, {"10.0.0.1", "backup.example"},
         {"get_partner_server 0 20", kCreation + "10.0.0.1:RW,backup.example:RW" + kCreationEnd}, true},
        // Found on the second page: the third is never asked for.
        {listSecondPage, {}, {"get_partner_server 0 20", "get_partner_server 20 20",
         kCreation + kCreationEnd}, false},
    };
    // clang-format on
    ptrBackend->fnCreatePartnerServer = []() { return std::string("ps-uuid"); };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.listCalls.back());
        log->Clear();
        ptrBackend->listCalls.clear();
        ptrBackend->fnGetPartnerServer = ServePartners(test.listServers);
        ASSERT_FALSE(helper.CreatePartnerServer(test.listEntries).IsError());
        EXPECT_EQ(test.listCalls, ptrBackend->listCalls);
        EXPECT_EQ(test.bCreatedNew,
                  log->CountContaining("Partner server does not exists creating new partner server", 0));
    }
}

TEST_F(ApiHelperTest, SnapshotsAreListedPerMountTargetCreatedAndDeleted) {
    ptrBackend->fnGetMountTargetSnapshot =
        ServeSnaps({{"s1", "a"}, {"s2", "b", "MT"}, {"s3", "c", "other"}, {"s4", "d"}});
    std::vector<MountedTargetsSnaps> snaps;
    ASSERT_FALSE(helper.GetListOfSnapsForUUID("mt", snaps).IsError());
    ASSERT_EQ(2u, snaps.size());
    EXPECT_EQ("s1 a s4 d", snaps[0].strSnapUUID + " " + snaps[0].strSnapName + " " + snaps[1].strSnapUUID +
                               " " + snaps[1].strSnapName);
    // No answer ends the listing: what came before stays.
    std::vector<SnapSpec> listSnaps;
    for (int i = 0; i < 30; ++i) listSnaps.push_back({"s" + std::to_string(i), "n"});
    auto serve = ServeSnaps(listSnaps);
    ptrBackend->fnGetMountTargetSnapshot = [serve](int32_t offset, int32_t length) {
        return offset == 20 ? nullptr : serve(offset, length);
    };
    snaps.clear();
    EXPECT_FALSE(helper.GetListOfSnapsForUUID("mt", snaps).IsError());
    EXPECT_EQ(20u, snaps.size());
    EXPECT_EQ(1u, log->CountContaining("get_mount_target_snapshot returned no shapsots", 0));
    for (const CapturedLogLine& line : log->GetLines()) {  // the operation's, not its lambda's
        if (line.strMessage != "get_mount_target_snapshot returned no shapsots") continue;
        EXPECT_THAT(line.strFunction, ::testing::MatchesRegex(".*::GetListOfSnapsForUUID\\(.*\\)"));
    }
    ptrBackend->listCalls.clear();
    ptrBackend->fnCreateSnapshot = [](Str, Str) { return std::string("new-uuid"); };
    std::string uuid;
    ASSERT_FALSE(helper.CreateSnap("mt", "zkop__2_7_1234", uuid).IsError());
    EXPECT_EQ("new-uuid", uuid);
    EXPECT_EQ(1u, log->CountContaining("Snap creation success and SnapUUID [new-uuid]", 0));
    // A deletion that fails is logged and the next one still goes out.
    ptrBackend->fnDeleteSnapshot = [](Str uuid) {
        if (uuid == "s2") throw NutanixException("delete refused");
        if (uuid == "s3") throw 7;
    };
    EXPECT_FALSE(
        helper.CleanListOfSnapsForUUID("mt", {{"s1", "a"}, {"s2", "b"}, {"s3", "c"}, {"s4", "d"}}).IsError());
    EXPECT_THAT(
        ptrBackend->listCalls,
        ElementsAre("create_mount_target_snapshot mt zkop__2_7_1234 [Snapshot created from scan] true",
                    "delete_mount_target_snapshot s1 true", "delete_mount_target_snapshot s2 true",
                    "delete_mount_target_snapshot s3 true", "delete_mount_target_snapshot s4 true"));
    EXPECT_EQ(1u, log->CountContaining("Delete Snap called failed with error [delete refused]", 0));
    EXPECT_EQ(2u, log->CountContaining("Delete Snap called failed", 0));
    EXPECT_TRUE(Events().empty());
}

// A creation whose first attempt went through answers 409 when re-sent; so
// does one beside a leftover of an earlier run of the job id.
TEST_F(ApiHelperTest, RegressionCreationConflictTakesOnlyWhatHasThatName) {
    const std::string kFailed = "Create Snap function failed with error [";
    const SnapSpec kOld{"old", "zkop__2_7_1234"}, kNew{"s9", "zkop__2_7_1234"};
    // clang-format off
    const struct {
        std::vector<SnapSpec> listBefore, listAfter;  // the share's listings before and after the creation
        std::string result;                           // the UUID taken, or the error
    } cases[] = {
        {{}, {{"s8", "zkop__2_7_1233"}, {"s7", "ZKOP__2_7_1234"}},
         kFailed + "create_mount_target_snapshot failed: HTTP 409: snapshot exists]"},
        // Its deletion failed; it holds the earlier run's content.
        {{kOld}, {kOld},
         kFailed + "a leftover snapshot named zkop__2_7_1234 (UUID old) could not be deleted]"},
        {{kOld}, {kOld, kNew}, "s9"}};
    // clang-format on
    ptrBackend->fnCreateSnapshot = [](Str, Str) -> std::string {
        throw NutanixException("create_mount_target_snapshot failed: HTTP 409: snapshot exists", 409);
    };
    ptrBackend->fnDeleteSnapshot = [](Str) { throw NutanixException("delete refused"); };
    for (const auto& test : cases) {
        CTestableManager manager;
        InitializeManager(manager);
        manager.listVolumeInfo.emplace_back();
        manager.listVolumeInfo.back().strVolumeUUID = "mt";
        int nListings = 0;
        ptrBackend->fnGetMountTargetSnapshot = [&](int32_t offset, int32_t length) {
            return ServeSnaps(nListings++ == 0 ? test.listBefore : test.listAfter)(offset, length);
        };
        CRhError error = manager.ConfigureAFSVolumeSnap();
        EXPECT_EQ(test.result,
                  error.IsError() ? error.GetMessage() : manager.listVolumeInfo.back().strCurrentSnapUUID);
    }
}

}  // namespace
}  // namespace afs_test
