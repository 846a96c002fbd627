// A minimal backup host: runs one job of the installed plug-in and prints
// the items that changed since the previous job.
//   AFS_PASSWORD=... minimal-host SERVER USER STATE_DIR JOB SHARE_MOUNT_PATH...
// Job 1 is the full job; job N > 1 is an incremental job against job N - 1.
#include <boost/make_shared.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>

#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"

class CPrintingDBHelper : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat&, bool bIsDirectory) override {
        static const char* const kTypes[] = {"OTHER", "ADD", "MODIFY", "RENAME", "DELETE"};
        std::printf("%s %s%s%s%s\n", kTypes[changeType], path.c_str(), bIsDirectory ? "/" : "",
                    oldPath.empty() ? "" : " from ", oldPath.c_str());
        return CRhError::Success();
    }
};

CRhError RunJob(CNutanixAFSManagerBase& manager, char** argv, std::list<std::string> shares) {
    const long long job = std::atoll(argv[4]), previous = job - 1;  // previous 0: a full job
    const std::string folder = std::string(argv[3]) + "/job-" + argv[4];
    std::filesystem::create_directories(folder);
    CRhError error = manager.Initialize(folder, folder + "/snapinfo", folder + "/snapmap", argv[1], argv[2],
                                        std::getenv("AFS_PASSWORD"), job, previous, 1, previous, 0, 0, 0, {});
    if (error.IsSuccess()) error = manager.CreatePartnerServer({"minimal-host"});
    if (error.IsSuccess()) error = manager.CreateAndMountSnap(shares);
    for (const auto& [share, snapshot] : manager.GetSourceToLocalMap())
        std::printf("snapshot of %s: %s\n", share.c_str(), snapshot.c_str());
    if (error.IsSuccess()) error = manager.OverWriteSnapDevInfo({}, {});
    CNutanixDBHelperPtr helper = boost::make_shared<CPrintingDBHelper>();
    for (const std::string& share : shares) {
        if (error.IsSuccess() && manager.IsPreviousSnapAvailable(share))
            error = manager.CompareSnapAndLoadItem(share, "", helper);
    }
    return error;
}

int main(int argc, char** argv) {
    if (argc < 6 || std::getenv("AFS_PASSWORD") == nullptr) {
        std::fprintf(stderr, "usage: AFS_PASSWORD=... %s SERVER USER STATE_DIR JOB SHARE...\n", argv[0]);
        return 2;
    }
    CPluginLibrary library(AFS_PLUGIN);
    auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
    if (factory == nullptr) {
        std::fprintf(stderr, "minimal-host: %s\n", library.GetError().c_str());
        return 1;
    }
    CRhError error;
    try {  // nothing may escape the plug-in's calls unhandled
        std::unique_ptr<CNutanixAFSManagerBase> manager(factory());  // deleted before the library unloads
        error = RunJob(*manager, argv, std::list<std::string>(argv + 5, argv + argc));
    } catch (const std::exception& exception) {
        std::fprintf(stderr, "minimal-host: the plug-in threw: %s\n", exception.what());
        return 1;
    }
    if (error.IsError()) std::fprintf(stderr, "minimal-host: %s\n", error.AsString().c_str());
    return error.IsError() ? 1 : 0;
}
