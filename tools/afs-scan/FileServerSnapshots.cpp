#include "tools/afs-scan/FileServerSnapshots.h"

#include "host/PlatformInfo.h"
#include "restclient/CurlClient.h"

namespace {

constexpr int32_t kPageLength = 100;
constexpr int kMostPages = 10000;

// Reads a list page by page; `fnPage` returns the page's entity count and total.
template <typename TFunction>
CRhError WalkPages(const char* pszWhat, TFunction fnPage) {
    try {
        int32_t nOffset = 0;
        for (int nPage = 0; nPage < kMostPages; ++nPage) {
            int32_t nTotal = 0;
            const int32_t nCount = fnPage(nOffset, nTotal);
            nOffset += nCount;
            if (nCount == 0 || nOffset >= nTotal) return CRhError::Success();
        }
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "%s: the file server's list did not end after %d pages",
                                     pszWhat, kMostPages);
    } catch (const std::exception& exception) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "%s: %s", pszWhat, exception.what());
    }
}

template <typename TPage>
int32_t Total(const TPage& ptrPage) {
    return ptrPage && ptrPage->getMetadata() ? ptrPage->getMetadata()->getTotalMatches() : 0;
}

}  // namespace

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
    CRhError error = WalkPages("get_mount_target", [&](int32_t nOffset, int32_t& nTotal) {
        auto ptrPage = ptrClient->get_mount_target(nOffset, kPageLength);
        nTotal = Total(ptrPage);
        if (!ptrPage) return 0;
        for (const auto& ptrEntity : ptrPage->getEntities()) {
            if (ptrEntity && ptrEntity->getStatus() && ptrEntity->getMetadata() &&
                ptrEntity->getStatus()->getName() == strName && !strName.empty())
                strShareUuid = ptrEntity->getMetadata()->getUuid();
        }
        return static_cast<int32_t>(ptrPage->getEntities().size());
    });
    if (error.IsSuccess() && strShareUuid.empty()) {
        error = FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "the file server has no share %s (mount %s from %s)",
                                      strName.c_str(), target.strMountPath.c_str(), target.strDevice.c_str());
    }
    return error;
}

CRhError CFileServerSnapshots::List(const std::string& strShareUuid, std::vector<ServerSnapshot>& listSnapshots) {
    listSnapshots.clear();
    return WalkPages("get_mount_target_snapshot", [&](int32_t nOffset, int32_t& nTotal) {
        auto ptrPage = ptrClient->get_mount_target_snapshot(nOffset, kPageLength, boost::none);
        nTotal = Total(ptrPage);
        if (!ptrPage) return 0;
        for (const auto& ptrEntity : ptrPage->getEntities()) {
            if (!ptrEntity || !ptrEntity->getStatus() || !ptrEntity->getMetadata()) continue;
            const auto& ptrResources = ptrEntity->getStatus()->getResources();
            if (ptrResources && ptrResources->getMountTargetUuid() == strShareUuid)
                listSnapshots.push_back({ptrEntity->getMetadata()->getUuid(), ptrEntity->getStatus()->getName()});
        }
        return static_cast<int32_t>(ptrPage->getEntities().size());
    });
}

CRhError CFileServerSnapshots::Delete(const ServerSnapshot& snapshot) {
    if (snapshot.strUuid.empty()) {
        // An empty UUID would address the whole collection.
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "snapshot %s has no UUID", snapshot.strName.c_str());
    }
    try {
        ptrClient->delete_mount_target_snapshot(snapshot.strUuid, true);
    } catch (const std::exception& exception) {
        return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, 1, "delete_mount_target_snapshot %s: %s",
                                     snapshot.strName.c_str(), exception.what());
    }
    return CRhError::Success();
}
