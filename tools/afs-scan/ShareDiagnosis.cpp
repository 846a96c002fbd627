#include <curl/curl.h>  // before any cpprestsdk header, see restclient/HttpRestBackend.cpp

#include "tools/afs-scan/ShareDiagnosis.h"

#include <algorithm>
#include <exception>

#include "restclient/RestBackend.h"

namespace {

constexpr int kPageLength = 20;
const char* const kBackupCapability = "CFT_BACKUP";


}  // namespace

CShareDiagnosis::CShareDiagnosis(const ScanOptions& optionsIn, std::string strLogDirIn)
    : options(optionsIn), strLogDir(std::move(strLogDirIn)) {}

void CShareDiagnosis::ListShares() {
    bListed = true;
    try {
        afs_rest::RestClientConfig config;
        config.strServer = options.strServer;
        config.strUser = options.strUser;
        config.strPassword = options.strPassword;
        config.strJobId = "share-diagnosis";
        config.strLogDir = strLogDir;
        config.uHAWaitTime = 0;
        std::shared_ptr<afs_rest::IRestBackend> ptrBackend = afs_rest::MakeHttpRestBackend(config);
        for (int32_t nOffset = 0;;) {
            auto ptrPage = ptrBackend->get_mount_target(nOffset, kPageLength);
            if (!ptrPage) break;
            for (const auto& ptrShare : ptrPage->getEntities()) {
                if (!ptrShare || !ptrShare->getStatus()) continue;
                const auto& ptrResources = ptrShare->getStatus()->getResources();
                const bool bOffered =
                    ptrResources && std::count(ptrResources->getCapabilityList().begin(),
                                               ptrResources->getCapabilityList().end(), kBackupCapability) > 0;
                listShares.emplace_back(ptrShare->getStatus()->getName(), bOffered);
            }
            nOffset += static_cast<int32_t>(ptrPage->getEntities().size());
            if (ptrPage->getEntities().empty() || !ptrPage->getMetadata() ||
                nOffset >= ptrPage->getMetadata()->getTotalMatches())
                break;
        }
    } catch (const std::exception& exception) {
        strListError = exception.what();
    }
}

std::string CShareDiagnosis::Explain(const ScanTarget& target) {
    if (!bListed) ListShares();
    const std::string strName = ShareNameOf(target.strDevice);
    std::vector<std::string> listNames;
    for (const auto& share : listShares) {
        if (share.first == strName) {
            if (!share.second) {
                return "share " + target.strMountPath +
                       " is not backed up: the file server does not offer it for backup (no CFT_BACKUP "
                       "capability), so no snapshot was taken";
            }
            return "share " + target.strMountPath + " is not backed up: the plug-in took no snapshot of it";
        }
        listNames.push_back(share.first);
    }
    std::sort(listNames.begin(), listNames.end());
    std::string strNames;
    for (const std::string& strShare : listNames) strNames += (strNames.empty() ? "" : ", ") + strShare;
    if (!strListError.empty()) {
        return "share " + target.strMountPath + " is not backed up, and the file server's shares could not be "
               "listed to say why: " + strListError;
    }
    return "mount entry " + target.strDevice + " for " + target.strMountPath + " names share '" + strName +
           "', which the file server does not list (it has: " + strNames + ")";
}
