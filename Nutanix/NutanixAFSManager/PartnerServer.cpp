// Registration of the backup product as a partner server of the file server.
#include <vector>

#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "Nutanix/NutanixAFSManager/PluginLog.h"
#include "Nutanix/NutanixAFSManager/RestCallGuard.h"
#include "Nutanix/NutanixAFSManager/RestPaging.h"
#include "restclient/CurlClient.h"

namespace {

const char* const kPartnerServerName = "curl_client_partner_server_pellorand";
const char* const kPartnerUsage = "BACKUP";
const char* const kPartnerVendor = "Pellorand";
const char* const kPartnerDescription = "partner server created from curl client";
const char* const kPartnerAccess = "RW";

const RestGuardTexts kCreatePartnerGuard = {
    "create_partner_server",
    "Exception was raised by create_partner_server, Reason :[UNKNOWN]",
    "create_partner_server called failed with error [%s]",
    "create_partner_server called failed",
};

bool HasPartnerName(const std::shared_ptr<afs_rest::model::Partner_server_intent_resource>& ptrEntity) {
    return ptrEntity && ptrEntity->getStatus() && ptrEntity->getStatus()->getName() == kPartnerServerName;
}

// Pages through the partner servers until ours is found.
CRhError FindPartnerServer(CurlClient& client, const FXCodeLocation& location, unsigned long long maxEntities,
                           bool& bFound) {
    return WalkRestPages(
        "get_partner_server", location, maxEntities,
        [&](uint32_t offset, uint32_t length) {
            return client.get_partner_server(static_cast<int32_t>(offset), static_cast<int32_t>(length));
        },
        [&](const std::shared_ptr<afs_rest::model::Partner_server_list_intent_response>& ptrPage,
            const std::vector<std::shared_ptr<afs_rest::model::Partner_server_intent_resource>>& listEntities,
            uint32_t offset, uint32_t length, EPageStep& step) -> CRhError {
            if (!ptrPage || !ptrPage->getMetadata()) {
                return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                               "create_partner_server called failed with error [%s]",
                                               "get_partner_server answered no page");
            }
            const auto& ptrMetadata = ptrPage->getMetadata();
            PLUGIN_LOG_AT(location, 0,
                          "Total %u partner server at(offset=%u, length=%u), returned(offset=%u, length=%u)",
                          static_cast<uint32_t>(ptrMetadata->getTotalMatches()), offset, length,
                          static_cast<uint32_t>(ptrMetadata->getOffset()),
                          static_cast<uint32_t>(ptrMetadata->getLength()));
            for (const auto& ptrEntity : listEntities) {
                if (HasPartnerName(ptrEntity)) {
                    bFound = true;
                    break;
                }
            }
            if (bFound) step = ePageStop;
            return CRhError::Success();
        },
        [] {});  // the search stops at its find: nothing to undo
}

bool IsPartnerServerRegistered(CurlClient& client, const FXCodeLocation& location,
                               unsigned long long maxEntities) {
    bool bFound = false;
    return !FindPartnerServer(client, location, maxEntities, bFound).IsError() && bFound;
}

// Sends the creation request; an empty answer is a failure.
CRhError SendPartnerServerCreation(CurlClient& client, const std::list<std::string>& entries,
                                   const FXCodeLocation& location, unsigned long long maxEntities) {
    afs_rest::PairList listServerInfo;
    for (const std::string& entry : entries) listServerInfo.emplace_back(entry, kPartnerAccess);
    afs_rest::PairList listShares;
    afs_rest::PairList listExports;
    std::string result;
    try {
        result = client.create_partner_server(
            kPartnerServerName, kPartnerUsage, kPartnerVendor, kPartnerDescription, boost::none, boost::none,
            boost::none, boost::optional<bool>(true), boost::none,
            boost::optional<afs_rest::PairList&>(listServerInfo),
            boost::optional<afs_rest::PairList&>(listShares),
            boost::optional<afs_rest::PairList&>(listExports), boost::optional<bool>(true));
    } catch (const NutanixException& exception) {
        // A request re-sent after a failover finds the registration that its
        // first attempt made; the name is ours alone.
        if (exception.GetHttpStatus() != 409 || !IsPartnerServerRegistered(client, location, maxEntities))
            throw;
        PLUGIN_LOG_AT(location, 0, "Partner server [%s] was created by an earlier attempt of this request",
                      kPartnerServerName);
        return CRhError::Success();
    }
    if (result.empty()) {
        return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                       "create_partner_server called failed");
    }
    return CRhError::Success();
}

}  // namespace

CRhError CNutanixAFSManagerAPIHelper::CreatePartnerServer(const std::list<std::string>& entries) {
    HOST_LOG(0, "Setting the partner server");
    const FXCodeLocation location = FX_CODE_LOCATION;
    return RunRestGuarded(kCreatePartnerGuard, location, [&]() -> CRhError {
        bool bFound = false;
        CRhError error = FindPartnerServer(*ptrCurlClient, location, ullMaxListEntities, bFound);
        if (error.IsError()) return error;

        if (!bFound) {
            PLUGIN_LOG_AT(location, 0, "Partner server does not exists creating new partner server");
            return SendPartnerServerCreation(*ptrCurlClient, entries, location, ullMaxListEntities);
        }
        // The name is known already; the request is still sent (it refreshes
        // the registration) under a guard of its own that sends no event.
        try {
            return SendPartnerServerCreation(*ptrCurlClient, entries, location, ullMaxListEntities);
        } catch (const std::exception& exception) {
            return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                           "create_partner_server called failed with error [%s]",
                                           exception.what());
        } catch (...) {
            PLUGIN_LOG_AT(location, 0, "Exception was raised by create_partner_server, Reason :[UNKNOWN]");
            return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE,
                                           "create_partner_server called");
        }
    });
}
