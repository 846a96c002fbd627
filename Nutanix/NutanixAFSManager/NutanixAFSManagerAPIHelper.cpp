#include "Nutanix/NutanixAFSManager/NutanixAFSManagerAPIHelper.h"

#include <boost/make_shared.hpp>

#include "Nutanix/NutanixAFSManager/RestPaging.h"
#include "host/LogWriter.h"
#include "host/PlatformInfo.h"
#include "restclient/CurlClient.h"

const std::string CFT_BACKUP = "CFT_BACKUP";

namespace {
constexpr uint32_t kDefaultHAWaitTime = 600;
const char* const kDefaultLogDir = "/tmp/logs";
}  // namespace

CNutanixAFSManagerAPIHelper::CNutanixAFSManagerAPIHelper(std::string connection1, std::string connection2,
                                                         std::string connection3, long long jobId)
    : uHAWaitTime(kDefaultHAWaitTime), ullMaxListEntities(kDefaultMaxListEntities), llJobId(jobId) {
    ZKPlatformInfo settings;
    settings.getString("EventManager", "dEVLOGDIR", strLogDir);
    if (strLogDir.empty()) strLogDir = kDefaultLogDir;

    strConnection1 = std::move(connection1);
    strConnection2 = std::move(connection2);
    strConnection3 = std::move(connection3);

    unsigned long long haWaitTime = 0;
    if (settings.getNumber("FileSystemAgent", "uHAWaitTime", haWaitTime)) {
        // Only the low 32 bits are kept, unbounded: an operator may set 0.
        uHAWaitTime = static_cast<uint32_t>(haWaitTime);
        HOST_LOG(0,
                 "Registry key [%s]=[%d] is present in %s and HA wait time is increased/decreased from 600s "
                 "to %ds",
                 "uHAWaitTime", static_cast<int>(uHAWaitTime), "FileSystemAgent",
                 static_cast<int>(uHAWaitTime));
    }
    settings.getNumber("FileSystemAgent", "MaxListEntities", ullMaxListEntities);
    ptrCurlClient = MakeCurlClient();
}

CNutanixAFSManagerAPIHelper::~CNutanixAFSManagerAPIHelper() { ptrCurlClient.reset(); }

boost::shared_ptr<CurlClient> CNutanixAFSManagerAPIHelper::MakeCurlClient() const {
    return boost::make_shared<CurlClient>(strConnection1, strConnection2, strConnection3,
                                          std::to_string(llJobId), static_cast<afs_log::severity_level>(0),
                                          strLogDir, uHAWaitTime);
}
