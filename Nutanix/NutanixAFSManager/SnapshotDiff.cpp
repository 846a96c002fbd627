// Pages through the difference between a share's previous and current
// snapshot and hands every changed item to the host's scan database.
#include <algorithm>
#include <limits>
#include <set>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"
#include "host/LogWriter.h"
#include "host/PlatformInfo.h"
#include "host/Progress.h"
#include "host/Sleep.h"
#include "restclient/CurlClient.h"

namespace {

constexpr uint32_t kDefaultRetrySleepMs = 6000;
constexpr unsigned long long kDefaultMaxScanRetries = 300;
constexpr unsigned long long kDefaultMaxEmptyDiffPages = 10000;
const char* const kDiffPageSize = "3000";

struct DiffRetrySettings {
    uint32_t uRetrySleepMs = kDefaultRetrySleepMs;
    unsigned long long ullMaxScanRetries = kDefaultMaxScanRetries;
    unsigned long long ullMaxDiffItems = 0;                           // 0: no ceiling
    unsigned long long ullMaxEmptyPages = kDefaultMaxEmptyDiffPages;  // 0: no ceiling
};

DiffRetrySettings ReadRetrySettings() {
    DiffRetrySettings settings;
    ZKPlatformInfo platform;
    unsigned long long value = 0;
    if (platform.getNumber("FileSystemAgent", "NutanixRetrySleep", value) && value != 0) {
        HOST_LOG(0, "Registry key NutanixRetrySleep present with value : %d", static_cast<int>(value));
        const unsigned long long maxSeconds = std::numeric_limits<uint32_t>::max() / 1000ULL;
        settings.uRetrySleepMs = static_cast<uint32_t>(std::min(value, maxSeconds) * 1000ULL);
    }
    if (platform.getNumber("FileSystemAgent", "MaxScanRetries", value)) settings.ullMaxScanRetries = value;
    if (platform.getNumber("FileSystemAgent", "MaxDiffItems", value)) settings.ullMaxDiffItems = value;
    platform.getNumber("FileSystemAgent", "MaxEmptyDiffPages", settings.ullMaxEmptyPages);
    return settings;
}

// Ends the page wait a host is shown however the comparison ends.
struct CPageWaitShown {
    CPageWaitShown() = default;
    CPageWaitShown(const CPageWaitShown&) = delete;
    CPageWaitShown& operator=(const CPageWaitShown&) = delete;
    ~CPageWaitShown() { KeepProgress(eProgressPageWaited, 0); }
};

CRhError PagingStopped(const FXCodeLocation& location, const std::string& message) {
    CRhError error = FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE, "%s", message.c_str());
    HOST_LOG(0, "%s", error.GetMessage().c_str());
    return error;
}

}  // namespace

CRhError CNutanixAFSManagerAPIHelper::CompareSnapAndLoadItem(const NutanixAFSVolumeInfo& volumeInfo,
                                                             std::string /*passThrough*/,
                                                             CNutanixDBHelperPtr& dbHelper) {
    HOST_LOG(0, "Compare snaps[%s], [%s]", volumeInfo.strCurrentSnapUUID.c_str(),
             volumeInfo.strPreviousSnapUUID.c_str());
    HOST_LOG(0, "VolumeMount path [%s], Current snap path [%s], Previous snap path [%s]",
             volumeInfo.strVolumeMountPath.c_str(), volumeInfo.strCurrentSnapPath.c_str(),
             volumeInfo.strPreviousSnapPath.c_str());
    if (!dbHelper) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                       "No scan database to load the snapshot difference into");
    }

    // A client of its own, released with this call whatever happens.
    boost::shared_ptr<CurlClient> ptrClient = MakeCurlClient();
    std::shared_ptr<afs_rest::model::Mount_target_snapshot_diff_output> ptrDiff =
        ptrClient->create_mount_target_snapshot_incremental_diff(
            volumeInfo.strPreviousSnapUUID, volumeInfo.strCurrentSnapUUID, boost::none, boost::none);
    if (!ptrDiff || !ptrDiff->uuidListIsSet()) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE, "no snap uuid set");
    }

    const DiffRetrySettings settings = ReadRetrySettings();
    const CPageWaitShown pageWaitShown;
    CDiffItemLoader loader(volumeInfo, *dbHelper);

    // A server can make the work endless in four ways: list a difference
    // twice, send a token again (an endless cycle of the same pages), invent
    // new items for ever, or new pages without items; the last two only
    // ceilings can bound.
    std::set<std::string> setDiffUUIDs;
    for (const std::string& diffUUID : ptrDiff->getUuidList()) {
        if (!setDiffUUIDs.insert(diffUUID).second) {
            return PagingStopped(FX_CODE_LOCATION,
                                 "get_mount_target_snapshot_diff paging stopped: difference [" + diffUUID +
                                     "] is listed twice");
        }
        std::set<std::string> setTokens;
        unsigned long long ullEmptyPages = 0;  // in a row, not the last
        boost::optional<std::string> pageToken;
        afs_rest::model::Mount_target_snapshot_diff_tracking_output page;
        unsigned long long ullPage = 0;
        while (!page.isIsLastPage()) {
            ++ullPage;
            page = ptrClient->get_mount_target_snapshot_diff_page(diffUUID, pageToken,
                                                                  std::string(kDiffPageSize));
            // Counted per page: a server that prepares every page lazily asks
            // for a re-request of each, and a large difference has many.
            unsigned long long ullRetries = 0;
            while (page.isShouldRetryPage() && ullRetries < settings.ullMaxScanRetries) {
                // A host shows which page the server keeps it waiting for.
                KeepProgress(eProgressPageRequests, ullRetries + 1);
                KeepProgress(eProgressPageWaited, ullPage);
                RHSLEEP_InTeRnAl(settings.uRetrySleepMs, __FILE__, __LINE__);
                page = ptrClient->get_mount_target_snapshot_diff_page(diffUUID, pageToken,
                                                                      std::string(kDiffPageSize));
                ++ullRetries;
            }
            KeepProgress(eProgressPageWaited, 0);
            // Only a page that is still not ready exhausts the retries; one
            // that came ready on the last permitted re-request is processed.
            if (page.isShouldRetryPage()) {
                return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                                               "Maximum retry reached");
            }
            const boost::optional<std::string> sentToken = pageToken;
            pageToken = page.getNextPageToken();
            bool bEmpty = true;
            for (const auto& ptrObject : page.getObjectList()) {
                if (!ptrObject) continue;
                bEmpty = false;
                if (settings.ullMaxDiffItems != 0 && loader.GetSeenCount() >= settings.ullMaxDiffItems) {
                    return PagingStopped(
                        FX_CODE_LOCATION,
                        "get_mount_target_snapshot_diff stopped: the difference holds more than " +
                            std::to_string(settings.ullMaxDiffItems) +
                            " items ([FileSystemAgent] MaxDiffItems); raise the ceiling or "
                            "run a full backup");
                }
                // The loader has put its code location on a rejection already.
                CRhError error = loader.Process(*ptrObject);
                if (error.IsError()) return error;
            }
            // A page that is not the last must lead elsewhere: an empty or
            // repeated token would re-read one page for ever and hand its
            // items over again.
            if (!page.isIsLastPage() && (pageToken->empty() || pageToken == sentToken)) {
                CRhError error = FXErrorUtil::ErrorWin32(
                    FX_CODE_LOCATION, ERROR_INSTALL_FAILURE_CODE,
                    "get_mount_target_snapshot_diff paging stopped: the page token did not advance [%s]",
                    pageToken->c_str());
                HOST_LOG(0, "%s", error.GetMessage().c_str());
                return error;
            }
            if (!page.isIsLastPage() && !setTokens.insert(*pageToken).second) {
                return PagingStopped(
                    FX_CODE_LOCATION,
                    "get_mount_target_snapshot_diff paging stopped: the page token came back [" + *pageToken +
                        "]");
            }
            ullEmptyPages = bEmpty && !page.isIsLastPage() ? ullEmptyPages + 1 : 0;
            if (settings.ullMaxEmptyPages != 0 && ullEmptyPages > settings.ullMaxEmptyPages) {
                return PagingStopped(
                    FX_CODE_LOCATION,
                    "get_mount_target_snapshot_diff paging stopped: " + std::to_string(ullEmptyPages) +
                        " pages in a row held no items and were not the last "
                        "([FileSystemAgent] MaxEmptyDiffPages)");
            }
        }
    }
    HOST_LOG(0, "No of Items from the SnapDiff : %d", static_cast<int>(loader.GetItemCount()));
    // Whatever the log level and the log's texts, the host learns that this
    // share's items may miss a change.
    CountProgress(eProgressItemsSkipped, loader.GetSkippedCount() + loader.GetUnnamedCount());
    if (loader.GetSkippedCount() > 0) {
        HOST_LOG(0, "%d items of the snapshot difference were skipped: outside the compared snapshots",
                 static_cast<int>(loader.GetSkippedCount()));
    }
    if (loader.GetUnnamedCount() > 0) {
        HOST_LOG(0, "%d items of the snapshot difference were skipped: their paths cannot be file names here",
                 static_cast<int>(loader.GetUnnamedCount()));
    }
    return CRhError::Success();
}
