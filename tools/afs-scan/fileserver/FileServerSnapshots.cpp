#include "tools/afs-scan/fileserver/FileServerSnapshots.h"

#include <algorithm>
#include <stdexcept>

#include "host/PlatformInfo.h"
#include "restclient/CurlClient.h"

namespace afs_scan {

namespace {

constexpr int32_t kPageLength = 100;
constexpr int kMostPages = 10000;

// Reads a list page by page; `fnPage` returns the page's entity count and
// total. Throws what the client throws, and std::runtime_error for a list
// that does not end.
template <typename TFunction>
void WalkPages(TFunction fnPage) {
    int32_t nOffset = 0;
    for (int nPage = 0; nPage < kMostPages; ++nPage) {
        int32_t nTotal = 0;
        const int32_t nCount = fnPage(nOffset, nTotal);
        nOffset += nCount;
        if (nCount == 0 || nOffset >= nTotal) return;
    }
    throw std::runtime_error("the file server's list did not end after " + std::to_string(kMostPages) +
                             " pages");
}

// What `fnList` throws, as an error chain naming the operation.
template <typename TFunction>
CRhError Guarded(const char* pszWhat, TFunction fnList) {
    try {
        fnList();
    } catch (const std::exception& exception) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "%s: %s", pszWhat, exception.what());
    }
    return CRhError::Success();
}

template <typename TPage>
int32_t Total(const TPage& ptrPage) {
    return ptrPage && ptrPage->getMetadata() ? ptrPage->getMetadata()->getTotalMatches() : 0;
}

}  // namespace

void ListServerShares(CurlClient& client, std::vector<ServerShare>& listShares) {
    listShares.clear();
    WalkPages([&](int32_t nOffset, int32_t& nTotal) {
        auto ptrPage = client.get_mount_target(nOffset, kPageLength);
        nTotal = Total(ptrPage);
        if (!ptrPage) return 0;
        for (const auto& ptrEntity : ptrPage->getEntities()) {
            if (!ptrEntity || !ptrEntity->getStatus()) continue;
            const auto& ptrResources = ptrEntity->getStatus()->getResources();
            ServerShare share;
            share.strName = ptrEntity->getStatus()->getName();
            share.strUuid = ptrEntity->getMetadata() ? ptrEntity->getMetadata()->getUuid() : "";
            share.bBackupOffered =
                ptrResources && std::count(ptrResources->getCapabilityList().begin(),
                                           ptrResources->getCapabilityList().end(), "CFT_BACKUP") > 0;
            listShares.push_back(std::move(share));
        }
        return static_cast<int32_t>(ptrPage->getEntities().size());
    });
}

CFileServerSnapshots::CFileServerSnapshots(const ScanOptions& options) {
    ZKPlatformInfo settings;
    unsigned long long ullWait = 600;
    settings.getNumber("FileSystemAgent", "uHAWaitTime", ullWait);
    ptrClient.reset(new CurlClient(options.strServer, options.strUser, options.strPassword, "snapshots",
                                   afs_log::warning, "", static_cast<uint32_t>(ullWait)));
}

CFileServerSnapshots::~CFileServerSnapshots() = default;

CRhError CFileServerSnapshots::FindShare(const ScanTarget& target, std::string& strShareUuid) {
    const std::string strName = ShareNameOf(target.strDevice);
    strShareUuid.clear();
    std::vector<ServerShare> listShares;
    CRhError error = Guarded("get_mount_target", [&] { ListServerShares(*ptrClient, listShares); });
    for (const ServerShare& share : listShares) {
        if (share.strName == strName && !strName.empty() && !share.strUuid.empty())
            strShareUuid = share.strUuid;
    }
    if (error.IsSuccess() && strShareUuid.empty()) {
        error =
            FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "the file server has no share %s (mount %s from %s)",
                                  strName.c_str(), target.strMountPath.c_str(), target.strDevice.c_str());
    }
    return error;
}

CRhError CFileServerSnapshots::List(const std::string& strShareUuid,
                                    std::vector<ServerSnapshot>& listSnapshots) {
    listSnapshots.clear();
    const auto fnPage = [&](int32_t nOffset, int32_t& nTotal) {
        auto ptrPage = ptrClient->get_mount_target_snapshot(nOffset, kPageLength, boost::none);
        nTotal = Total(ptrPage);
        if (!ptrPage) return 0;
        for (const auto& ptrEntity : ptrPage->getEntities()) {
            if (!ptrEntity || !ptrEntity->getStatus() || !ptrEntity->getMetadata()) continue;
            const auto& ptrResources = ptrEntity->getStatus()->getResources();
            if (ptrResources && ptrResources->getMountTargetUuid() == strShareUuid)
                listSnapshots.push_back(
                    {ptrEntity->getMetadata()->getUuid(), ptrEntity->getStatus()->getName()});
        }
        return static_cast<int32_t>(ptrPage->getEntities().size());
    };
    return Guarded("get_mount_target_snapshot", [&] { WalkPages(fnPage); });
}

CRhError CFileServerSnapshots::Delete(const ServerSnapshot& snapshot) {
    if (snapshot.strUuid.empty()) {
        // An empty UUID would address the whole collection.
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "snapshot %s has no UUID",
                                     snapshot.strName.c_str());
    }
    try {
        ptrClient->delete_mount_target_snapshot(snapshot.strUuid, true);
    } catch (const std::exception& exception) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "delete_mount_target_snapshot %s: %s",
                                     snapshot.strName.c_str(), exception.what());
    }
    return CRhError::Success();
}

}  // namespace afs_scan
