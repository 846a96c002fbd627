// The built libNutanixAFSManager.so loaded and unloaded as a long-running
// host does it, job after job: dlopen, the factory resolved by name, every
// call through CNutanixAFSManagerBase*, a job against the simulator (whose
// pages each need one retry), delete through the virtual destructor, dlclose.
// Nothing may crash, the jobs keep reporting the right changes, and the
// resident memory stays flat. That the factory is all the library exports,
// the kit test checks on the installed library.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <filesystem>
#include <fstream>

#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"
#include "host/Sleep.h"
#include "tests/support/RecordingDB.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/ScopedTempDir.h"
#include "tools/afs-sim/SimulatorProcess.h"

namespace {

const char* const kPassword = "cycle-secret";
// A whole job (snapshot, map, comparison) every this many cycles; the others
// only connect and register, which is what most of a plug-in's life is.
constexpr unsigned kFullJobEvery = 50;
constexpr unsigned kRssBaselineCycle = 100;

long long ResidentBytes() {
    long long llPages = 0, llResident = 0;
    std::ifstream("/proc/self/statm") >> llPages >> llResident;
    return llResident * sysconf(_SC_PAGESIZE);
}

TEST(PluginCycle, LoadJobUnloadCyclesKeepWorkingInFlatMemory) {
    CScopedTempDir tempDir;
    const std::string share = tempDir.GetPath() + "/shares/share1";
    std::filesystem::create_directories(share);
    tempDir.WriteFile("shares/share1/a.txt", "alpha\n");
    CScopedSettings settings("[Host]\nMountTableFile = " +
                             tempDir.WriteFile("mounts", "127.0.0.1:/share1 " + share + " nfs rw 0 0\n") +
                             "\n[EventManager]\ndEVLOGDIR = " + tempDir.GetPath() +
                             "/logs\n[FileSystemAgent]\nuHAWaitTime = 0\nNutanixRetrySleep = 1\n");
    std::unique_ptr<afs_sim::CSimulatorProcess> ptrSim;
    ASSERT_EQ(
        "", afs_sim::CSimulatorProcess::Start(
                {"--shares", tempDir.GetPath() + "/shares", "--state", tempDir.GetPath() + "/state", "--port",
                 "0", "--quiet", "--retry-pages", "1", "--password-file", tempDir.WriteFile("pw", kPassword)},
                ptrSim));
    FSleepFunction fnPrevious = SetSleepFunction([](unsigned) {});
    const unsigned uCycles =
        std::getenv("AFS_CYCLES") ? std::max(1, std::atoi(std::getenv("AFS_CYCLES"))) : 300;
    long long llPrevious = 0, llRssAtBaseline = 0;
    for (unsigned uCycle = 1; uCycle <= uCycles; ++uCycle) {
        SCOPED_TRACE("cycle " + std::to_string(uCycle));
        const bool bFullJob = uCycle == 1 || uCycle % kFullJobEvery == 0;
        CPluginLibrary library(AFS_PLUGIN_PATH);
        ASSERT_TRUE(library.IsLoaded()) << library.GetError();
        auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
        ASSERT_NE(nullptr, factory) << library.GetError();
        std::unique_ptr<CNutanixAFSManagerBase> ptrManager(factory());  // deleted while the library is loaded
        const std::string job = tempDir.GetPath() + "/job-" + std::to_string(uCycle);
        const long long llReference = bFullJob ? llPrevious : 0;
        CRhError error = ptrManager->Initialize(job, job + ".snapinfo", job + ".snapmap", ptrSim->Url(),
                                                "admin", kPassword, uCycle, llReference, 1, llReference, 0, 7,
                                                1, ContentMapperAPIPtr());
        ASSERT_FALSE(error.IsError()) << error.AsString();
        if (uCycle == 1) {  // managers share no connection
            std::unique_ptr<CNutanixAFSManagerBase> ptrOther(factory());
            EXPECT_EQ(1627u, ptrOther->CreatePartnerServer({"cycle-host"}).GetCode());
        }
        ASSERT_FALSE((error = ptrManager->CreatePartnerServer({"cycle-host"})).IsError()) << error.AsString();
        if (uCycle == kRssBaselineCycle) llRssAtBaseline = ResidentBytes();
        if (!bFullJob) continue;
        std::ofstream(share + "/cycle.txt", std::ios::trunc) << uCycle << "\n";  // the one change to report
        std::list<std::string> listPaths{share};
        ASSERT_FALSE((error = ptrManager->CreateAndMountSnap(listPaths)).IsError()) << error.AsString();
        llPrevious = uCycle;
        if (llReference == 0) continue;
        ASSERT_TRUE(ptrManager->IsPreviousSnapAvailable(share));
        auto ptrHelper = boost::make_shared<CRecordingDB>();
        CNutanixDBHelperPtr ptrBase = ptrHelper;
        ASSERT_FALSE((error = ptrManager->CompareSnapAndLoadItem(share, "", ptrBase)).IsError())
            << error.AsString();
        ASSERT_EQ(std::vector<std::string>{"2 " + share + "/cycle.txt  f32768"}, ptrHelper->listItems);
    }
    SetSleepFunction(fnPrevious);
#ifndef AFS_UNDER_ASAN
    // AddressSanitizer's quarantine holds freed memory on purpose; there LSan reports leaks instead.
    if (uCycles >= 2 * kRssBaselineCycle) {
        EXPECT_LT(ResidentBytes() - llRssAtBaseline, 4LL * 1024 * 1024);
    }
#endif
}

}  // namespace
