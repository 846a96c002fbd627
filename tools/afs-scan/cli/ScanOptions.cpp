#include "tools/afs-scan/cli/ScanOptions.h"

#include <cstdlib>

#include "tools/common/Cli.h"

namespace afs_scan {

std::string ReadPassword(ScanOptions& options) {
    if (!options.strPasswordFile.empty())
        return afs_cli::ReadPasswordFile(options.strPasswordFile, options.strPassword);
    const char* pszPassword = std::getenv("AFS_PASSWORD");
    if (pszPassword == nullptr || *pszPassword == '\0')
        return "no password: give --password-file FILE or set AFS_PASSWORD";
    options.strPassword = pszPassword;
    return {};
}

}  // namespace afs_scan
