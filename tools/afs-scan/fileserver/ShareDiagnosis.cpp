#include "tools/afs-scan/fileserver/ShareDiagnosis.h"

#include <algorithm>
#include <exception>

#include "restclient/CurlClient.h"

namespace afs_scan {

CShareDiagnosis::CShareDiagnosis(const ScanOptions& optionsIn, std::string strLogDirIn)
    : options(optionsIn), strLogDir(std::move(strLogDirIn)) {}

void CShareDiagnosis::ListShares() {
    bListed = true;
    try {
        CurlClient client(options.strServer, options.strUser, options.strPassword, "share-diagnosis",
                          afs_log::trace, strLogDir, 0);
        ListServerShares(client, listShares);
    } catch (const std::exception& exception) {
        strListError = exception.what();
    }
}

std::string CShareDiagnosis::Explain(const ScanTarget& target) {
    if (!bListed) ListShares();
    const std::string strName = ShareNameOf(target.strDevice);
    std::vector<std::string> listNames;
    for (const ServerShare& share : listShares) {
        if (share.strName == strName) {
            if (!share.bBackupOffered) {
                return "share " + target.strMountPath +
                       " is not backed up: the file server does not offer it for backup (no CFT_BACKUP "
                       "capability), so no snapshot was taken";
            }
            return "share " + target.strMountPath + " is not backed up: the plug-in took no snapshot of it";
        }
        listNames.push_back(share.strName);
    }
    std::sort(listNames.begin(), listNames.end());
    std::string strNames;
    for (const std::string& strShare : listNames) strNames += (strNames.empty() ? "" : ", ") + strShare;
    if (!strListError.empty()) {
        return "share " + target.strMountPath +
               " is not backed up, and the file server's shares could not be "
               "listed to say why: " +
               strListError;
    }
    return "mount entry " + target.strDevice + " for " + target.strMountPath + " names share '" + strName +
           "', which the file server does not list (it has: " + strNames + ")";
}

}  // namespace afs_scan
