// A minimal backup host: runs one job of the installed plug-in and prints
// the items the job backs up.
//   AFS_PASSWORD=... minimal-host SERVER USER STATE_DIR JOB SHARE_MOUNT_PATH...
// Job 1 is the full job; job N > 1 is an incremental job against job N - 1.
// Exit status: 0 every share backed up, 1 the job failed, 2 usage, 3 some
// share was not backed up. Ctrl-C (SIGINT) cancels a wait for the server.
#include <signal.h>
#include <time.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/ErrorCategory.h"
#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"
#include "host/Sleep.h"
#include "host/Version.h"

namespace {

volatile sig_atomic_t g_bCancel = 0;

// The plug-in sleeps only through this hook (retries, the high-availability
// wait of up to [FileSystemAgent] uHAWaitTime seconds). Throwing ends the
// wait: the plug-in's call fails with this text in its error chain (or lets
// the exception out of CompareSnapAndLoadItem).
void CancellableSleep(unsigned int milliseconds) {
    for (; milliseconds > 0 && !g_bCancel; milliseconds -= milliseconds < 100 ? milliseconds : 100) {
        timespec slice{0, static_cast<long>(milliseconds < 100 ? milliseconds : 100) * 1000000L};
        while (nanosleep(&slice, &slice) == -1 && errno == EINTR && !g_bCancel) {
        }
    }
    if (g_bCancel) throw std::runtime_error("cancelled by the host");
}

// Holds one share's items until its difference is complete: a comparison
// that fails half-way must not leave half a change list behind.
class CCollectingDBHelper : public CNutanixDBHelper {
public:
    std::vector<std::string> listItems;
    CRhError ItemCallBack(std::string& path, const std::string& oldPath, NutanixAFSChangeType changeType,
                          const struct stat&, bool bIsDirectory) override {
        static const char* const kTypes[] = {"OTHER", "ADD", "MODIFY", "RENAME", "DELETE"};
        listItems.push_back(std::string(kTypes[changeType]) + " " + path + (bIsDirectory ? "/" : "") +
                            (oldPath.empty() ? "" : " from " + oldPath));
        return CRhError::Success();
    }
};

// What a host does for a share whose changes it cannot read: back up the
// whole snapshot, every entry an ADD, named below the share's mount path.
std::vector<std::string> WholeSnapshot(const std::string& share, const std::string& snapshot) {
    std::vector<std::string> listItems;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(snapshot)) {
        const std::string relative = entry.path().lexically_relative(snapshot).string();
        listItems.push_back("ADD " + share + "/" + relative + (entry.is_directory() ? "/" : ""));
    }
    return listItems;
}

std::set<std::string> ReadLines(const std::string& file) {
    std::set<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// Runs the job; `notBackedUp` counts the shares the job could not back up.
CRhError RunJob(CNutanixAFSManagerBase& manager, char** argv, std::list<std::string> shares,
                int& notBackedUp) {
    const long long job = std::atoll(argv[4]), previous = job - 1;  // previous 0: a full job
    const std::string state = argv[3], folder = state + "/job-" + argv[4];
    std::filesystem::create_directories(folder);
    CRhError error = manager.Initialize(folder, folder + "/snapinfo", folder + "/snapmap", argv[1], argv[2],
                                        std::getenv("AFS_PASSWORD"), job, previous, 1, previous, 0, 0, 0, {});
    if (error.IsSuccess()) error = manager.CreatePartnerServer({"minimal-host"});
    if (error.IsSuccess()) error = manager.CreateAndMountSnap(shares);
    if (error.IsSuccess()) error = manager.OverWriteSnapDevInfo({}, {});
    if (error.IsError()) return error;
    const auto sourceToLocal = manager.GetSourceToLocalMap();
    // Shares the previous job backed up: only those have a reference to compare against.
    const std::set<std::string> before = ReadLines(state + "/job-" + std::to_string(previous) + "/backed-up");
    std::ofstream backedUp(folder + "/backed-up");
    for (const std::string& share : shares) {
        // A share without a snapshot of this job maps to MOUNT/.afs/snapshot
        // (or not at all): nothing of it can be read.
        const auto it = sourceToLocal.find(share);
        if (it == sourceToLocal.end() || it->second.rfind(share + "/.snapshot/", 0) != 0) {
            std::fprintf(stderr, "minimal-host: share %s is not backed up: it got no snapshot\n",
                         share.c_str());
            ++notBackedUp;
            continue;
        }
        std::printf("snapshot of %s: %s\n", share.c_str(), it->second.c_str());
        std::string why;
        auto helper = boost::make_shared<CCollectingDBHelper>();
        if (previous == 0) {
            // A full job reads the whole snapshot; this example lists nothing for it.
        } else if (before.count(share) == 0) {
            why = "job " + std::to_string(previous) + " did not back it up";
        } else if (!manager.IsPreviousSnapAvailable(share)) {
            why = "it has no reference snapshot";
        } else {
            CNutanixDBHelperPtr base = helper;
            try {  // server errors of a comparison arrive as exceptions too
                error = manager.CompareSnapAndLoadItem(share, "", base);
            } catch (const std::exception& exception) {
                error = FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, 1627, "%s", exception.what());
            }
            if (error.IsError()) {
                why = std::string("its difference failed (") + ErrorCategoryName(ClassifyError(error)) +
                      "): " + error.AsString();
                error = CRhError::Success();
            }
        }
        if (!why.empty()) {
            std::fprintf(stderr, "minimal-host: share %s: %s; listing its whole snapshot\n", share.c_str(),
                         why.c_str());
            helper->listItems = WholeSnapshot(share, it->second);
        }
        for (const std::string& item : helper->listItems) std::printf("%s\n", item.c_str());
        backedUp << share << "\n";
    }
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || std::getenv("AFS_PASSWORD") == nullptr) {
        std::fprintf(stderr, "usage: AFS_PASSWORD=... %s SERVER USER STATE_DIR JOB SHARE...\n", argv[0]);
        return 2;
    }
    if (AfsHostVersion() != std::string(AFS_HOST_VERSION_STRING))  // a newer libafshost.so.0 is fine too
        std::fprintf(stderr, "minimal-host: built with libafshost %s, running with %s\n",
                     AFS_HOST_VERSION_STRING, AfsHostVersion());
    signal(SIGINT, [](int) { g_bCancel = 1; });
    SetSleepFunction(CancellableSleep);
    CPluginLibrary library(AFS_PLUGIN);
    auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
    if (factory == nullptr) {
        std::fprintf(stderr, "minimal-host: %s\n", library.GetError().c_str());
        return 1;
    }
    CRhError error;
    int notBackedUp = 0;
    try {  // nothing may escape the plug-in's calls unhandled
        std::unique_ptr<CNutanixAFSManagerBase> manager(factory());  // deleted before the library unloads
        error = RunJob(*manager, argv, std::list<std::string>(argv + 5, argv + argc), notBackedUp);
    } catch (const std::exception& exception) {
        std::fprintf(stderr, "minimal-host: the plug-in threw: %s\n", exception.what());
        return 1;
    }
    if (error.IsError()) {
        std::fprintf(stderr, "minimal-host: %s error: %s\n", ErrorCategoryName(ClassifyError(error)),
                     error.AsString().c_str());
        return 1;
    }
    return notBackedUp > 0 ? 3 : 0;
}
