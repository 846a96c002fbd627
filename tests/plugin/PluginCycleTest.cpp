// The built libNutanixAFSManager.so loaded and unloaded as a long-running
// host does it, job after job: dlopen, the factory, a job against the
// simulator, delete, dlclose. Nothing may crash, the jobs keep reporting the
// right changes, and the resident memory stays flat.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScopedSettings.h"
#include "tests/support/SimulatorProcess.h"

namespace {

const char* const kPluginPath = AFS_PLUGIN_PATH;
const char* const kPassword = "cycle-secret";
constexpr unsigned kDefaultCycles = 1000;
// A whole job (snapshot, map, comparison) every this many cycles; the others
// only connect and register, which is what most of a plug-in's life is.
constexpr unsigned kFullJobEvery = 50;
constexpr long long kRssBaselineCycle = 100;
constexpr long long kMaxRssGrowthBytes = 4LL * 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

unsigned CyclesFromEnvironment() {
    const char* pszCycles = std::getenv("AFS_CYCLES");
    if (pszCycles == nullptr || *pszCycles == '\0') return kDefaultCycles;
    const long lCycles = std::strtol(pszCycles, nullptr, 10);
    return lCycles > 0 ? static_cast<unsigned>(lCycles) : kDefaultCycles;
}

long long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long llPages = 0;
    long long llResident = 0;
    statm >> llPages >> llResident;
    return llResident * sysconf(_SC_PAGESIZE);
}

// The scan database as the plug-in sees it: "TYPE PATH" per item.
class CCollectingDbHelper : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string& /*oldPath*/, NutanixAFSChangeType changeType,
                          const struct stat& /*attributes*/, bool /*bIsDirectory*/) override {
        listItems.push_back(std::to_string(static_cast<int>(changeType)) + " " + path);
        return CRhError::Success();
    }
    std::vector<std::string> listItems;
};

class PluginCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        strShare = tempDir.GetPath() + "/shares/share1";
        std::filesystem::create_directories(strShare);
        tempDir.WriteFile("shares/share1/a.txt", "alpha\n");
        tempDir.WriteFile("shares/share1/cycle.txt", "0\n");
        const std::string strMounts =
            tempDir.WriteFile("mounts", "127.0.0.1:/share1 " + strShare + " nfs rw 0 0\n");
        const std::string strPasswordFile = tempDir.WriteFile("password", std::string(kPassword) + "\n");
        ptrSettings = std::make_unique<CScopedSettings>(
            "[Host]\nMountTableFile = " + strMounts + "\n[EventManager]\ndEVLOGDIR = " + tempDir.GetPath() +
            "/logs\n[FileSystemAgent]\nuHAWaitTime = 0\nNutanixRetrySleep = 1\n");
        ASSERT_EQ("", afs_test::CSimulatorProcess::Start(
                          {"--shares", tempDir.GetPath() + "/shares", "--state", tempDir.GetPath() + "/state",
                           "--port", "0", "--quiet", "--password-file", strPasswordFile},
                          ptrSim));
    }

    // One load-to-unload cycle as job `llJob`; a full job when bFullJob,
    // comparing against `llPreviousJob` when that is not 0.
    void RunCycle(long long llJob, bool bFullJob, long long llPreviousJob,
                  std::vector<std::string>& listItems) {
        CPluginLibrary library(kPluginPath);
        ASSERT_TRUE(library.IsLoaded()) << library.GetError();
        auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
        ASSERT_NE(nullptr, factory) << library.GetError();
        // Declared after the library: deleted while its code is still loaded.
        std::unique_ptr<CNutanixAFSManagerBase> ptrManager(factory());
        ASSERT_NE(nullptr, ptrManager);

        const std::string strJobDir = tempDir.GetPath() + "/job-" + std::to_string(llJob);
        CRhError error = ptrManager->Initialize(strJobDir, strJobDir + ".snapinfo", strJobDir + ".snapmap",
                                                ptrSim->Url(), "admin", kPassword, llJob, llPreviousJob, 1,
                                                llPreviousJob, 0, 7, 1, ContentMapperAPIPtr());
        ASSERT_FALSE(error.IsError()) << error.AsString();
        error = ptrManager->CreatePartnerServer({"cycle-host"});
        ASSERT_FALSE(error.IsError()) << "cycle " << llJob << ": " << error.AsString();
        if (!bFullJob) return;

        std::list<std::string> listPaths{strShare};
        error = ptrManager->CreateAndMountSnap(listPaths);
        ASSERT_FALSE(error.IsError()) << "cycle " << llJob << ": " << error.AsString();
        const std::map<std::string, std::string> mapSnapshots = ptrManager->GetSourceToLocalMap();
        ASSERT_EQ(1u, mapSnapshots.count(strShare));
        EXPECT_EQ(strShare + "/.snapshot/zkop__7_1_" + std::to_string(llJob), mapSnapshots.at(strShare));
        if (llPreviousJob == 0) return;
        ASSERT_TRUE(ptrManager->IsPreviousSnapAvailable(strShare)) << "cycle " << llJob;
        auto ptrHelper = boost::make_shared<CCollectingDbHelper>();
        CNutanixDBHelperPtr ptrBase = ptrHelper;
        error = ptrManager->CompareSnapAndLoadItem(strShare, std::string(), ptrBase);
        ASSERT_FALSE(error.IsError()) << "cycle " << llJob << ": " << error.AsString();
        listItems = ptrHelper->listItems;
    }

    CScopedTempDir tempDir;
    std::string strShare;
    std::unique_ptr<CScopedSettings> ptrSettings;
    std::unique_ptr<afs_test::CSimulatorProcess> ptrSim;
};

TEST_F(PluginCycleTest, ThousandLoadJobUnloadCyclesKeepWorkingInFlatMemory) {
    const unsigned uCycles = CyclesFromEnvironment();
    long long llPreviousFullJob = 0;
    long long llOlderFullJob = 0;
    long long llRssAtBaseline = 0;
    for (unsigned uCycle = 1; uCycle <= uCycles; ++uCycle) {
        const bool bFullJob = uCycle == 1 || uCycle % kFullJobEvery == 0;
        if (bFullJob) {
            // One change per full job: the comparison must report exactly it.
            std::ofstream(strShare + "/cycle.txt", std::ios::trunc) << uCycle << "\n";
        }
        std::vector<std::string> listItems;
        ASSERT_NO_FATAL_FAILURE(RunCycle(uCycle, bFullJob, bFullJob ? llPreviousFullJob : 0, listItems));
        if (bFullJob && llPreviousFullJob != 0) {
            ASSERT_EQ(std::vector<std::string>{"2 " + strShare + "/cycle.txt"}, listItems)
                << "cycle " << uCycle;
        }
        if (bFullJob) {
            llOlderFullJob = llPreviousFullJob;
            llPreviousFullJob = uCycle;
        }
        if (uCycle == kRssBaselineCycle) llRssAtBaseline = ResidentBytes();
    }
    // The plug-in's own snapshots do not pile up: the last job's and its
    // reference are all that is left.
    std::set<std::string> setLeft;
    for (const auto& entry : std::filesystem::directory_iterator(strShare + "/.snapshot"))
        setLeft.insert(entry.path().filename().string());
    std::set<std::string> setExpected{"zkop__7_1_" + std::to_string(llPreviousFullJob)};
    if (llOlderFullJob != 0) setExpected.insert("zkop__7_1_" + std::to_string(llOlderFullJob));
    EXPECT_EQ(setExpected, setLeft);

    // AddressSanitizer's quarantine holds freed memory on purpose; there LSan
    // reports leaks instead.
    if (kUnderAddressSanitizer || uCycles < 2 * kRssBaselineCycle) return;
    const long long llGrowth = ResidentBytes() - llRssAtBaseline;
    RecordProperty("rss_growth_bytes", std::to_string(llGrowth));
    EXPECT_LT(llGrowth, kMaxRssGrowthBytes)
        << "RSS grew by " << llGrowth << " bytes from cycle " << kRssBaselineCycle << " to cycle " << uCycles;
}

}  // namespace
