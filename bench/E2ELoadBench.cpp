// End-to-end change loading through the built plug-in against the simulator
// over loopback: the time to load N changed items, and this process's peak
// RSS. With --walk-tree DIR it also times a full lstat() walk of DIR and
// reports how much faster loading the changes is.
//
//   afs-bench-e2e --items 1000000 [--loads K] [--tls] [--walk-tree DIR]
//
// --loads K loads the same share's changes K times in one job and reports the
// first (cold process) and the fastest load; the walk is compared with the
// fastest, as a host that has loaded one share before loads the next.
// Prints one line of "key=value" figures; exit status 0 when every item
// reached the counting scan database.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/NutanixAFSManagerBase.h"
#include "host/PluginLibrary.h"
#include "tools/afs-sim/SimulatorProcess.h"

namespace {

class CCountingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string&, const std::string&, NutanixAFSChangeType, const struct stat&,
                          bool) override {
        ++llItems;
        return CRhError::Success();
    }
    long long llItems = 0;
};

struct BenchOptions {
    long long llItems = 10000;
    int nLoads = 1;  // loads of the same difference in one job: the first is cold
    bool bTls = false;
    std::string strWalkTree;
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// lstat()s every entry below `path`, as a scan without change tracking must.
long long WalkTree(const std::string& path) {
    long long llEntries = 0;
    std::vector<std::string> listPending{path};
    struct stat attributes;
    while (!listPending.empty()) {
        std::string directory = std::move(listPending.back());
        listPending.pop_back();
        std::unique_ptr<DIR, int (*)(DIR*)> ptrDir(opendir(directory.c_str()), closedir);
        if (!ptrDir) continue;
        while (dirent* entry = readdir(ptrDir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            std::string child = directory + "/" + entry->d_name;
            if (lstat(child.c_str(), &attributes) != 0) continue;
            ++llEntries;
            if (S_ISDIR(attributes.st_mode)) listPending.push_back(std::move(child));
        }
    }
    return llEntries;
}

bool Run(const char* command) { return std::system(command) == 0; }

int RunBench(const BenchOptions& options) {
    char workPattern[] = "/tmp/afs-bench-XXXXXX";
    if (mkdtemp(workPattern) == nullptr) return 2;
    const std::string work = workPattern;
    std::filesystem::create_directories(work + "/shares/share1");
    std::filesystem::create_directories(work + "/state");
    std::filesystem::create_directories(work + "/logs");
    std::ofstream(work + "/mounts") << "127.0.0.1:/share1 " << work << "/shares/share1 nfs rw 0 0\n";

    std::vector<std::string> listArgs = {"--shares",    work + "/shares",
                                         "--state",     work + "/state",
                                         "--port",      "0",
                                         "--synthetic", std::to_string(options.llItems),
                                         "--quiet"};
    std::string settings =
        "[Host]\nMountTableFile = " + work + "/mounts\n[EventManager]\ndEVLOGDIR = " + work + "/logs\n";
    if (options.bTls) {
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1 -keyout " +
            work + "/key.pem -out " + work + "/cert.pem >/dev/null 2>&1";
        if (!Run(command.c_str())) return 2;
        listArgs.insert(listArgs.end(), {"--tls-cert", work + "/cert.pem", "--tls-key", work + "/key.pem"});
        settings += "[RestClient]\nCABundle = " + work + "/cert.pem\n";
    }
    std::ofstream(work + "/settings.ini") << settings;
    setenv("AFS_HOST_SETTINGS", (work + "/settings.ini").c_str(), 1);

    std::unique_ptr<afs_sim::CSimulatorProcess> ptrSim;
    std::string failure = afs_sim::CSimulatorProcess::Start(listArgs, ptrSim, {"AFS_SIM_PASSWORD=bench"});
    if (!failure.empty()) {
        std::fprintf(stderr, "simulator: %s\n", failure.c_str());
        return 2;
    }

    CPluginLibrary library(AFS_PLUGIN_PATH);
    auto factory = library.ResolveFunction<FGetNutanixAFSManager>("GetNutanixAFSManager");
    if (factory == nullptr) {
        std::fprintf(stderr, "plug-in: %s\n", library.GetError().c_str());
        return 2;
    }
    const std::string scanPath = work + "/shares/share1";
    double dLoadSeconds = 0;       // the fastest load
    double dFirstLoadSeconds = 0;  // the first load of the process
    long long llLoaded = 0;
    // Job 1 takes the reference snapshot, job 2 loads the changes.
    for (LONGLONG job = 1; job <= 2; ++job) {
        std::unique_ptr<CNutanixAFSManagerBase> ptrManager(factory());
        CRhError error =
            ptrManager->Initialize(work, work + "/info", work + "/map", ptrSim->Url(), "admin", "bench", job,
                                   job - 1, 1, job - 1, 0, 2, 7, ContentMapperAPIPtr());
        std::list<std::string> listScanPaths{scanPath};
        if (!error.IsError()) error = ptrManager->CreateAndMountSnap(listScanPaths);
        if (error.IsError()) {
            std::fprintf(stderr, "job %lld: %s\n", job, error.AsString().c_str());
            return 2;
        }
        if (job == 1) continue;
        for (int nLoad = 0; nLoad < options.nLoads; ++nLoad) {
            boost::shared_ptr<CCountingDB> ptrDB(new CCountingDB);
            CNutanixDBHelperPtr ptrHelper = ptrDB;
            const auto start = std::chrono::steady_clock::now();
            error = ptrManager->CompareSnapAndLoadItem(scanPath, "", ptrHelper);
            const double dSeconds = Seconds(start);
            if (error.IsError()) {
                std::fprintf(stderr, "compare: %s\n", error.AsString().c_str());
                return 2;
            }
            if (nLoad == 0) dFirstLoadSeconds = dSeconds;
            if (nLoad == 0 || dSeconds < dLoadSeconds) dLoadSeconds = dSeconds;
            llLoaded = ptrDB->llItems;
            if (llLoaded != options.llItems) break;
        }
    }
    std::printf(
        "transport=%s items=%lld loads=%d first_load_seconds=%.3f load_seconds=%.3f items_per_second=%.0f "
        "peak_rss_kib=%ld",
        options.bTls ? "https" : "http", llLoaded, options.nLoads, dFirstLoadSeconds, dLoadSeconds,
        llLoaded / dLoadSeconds, PeakRssKiB());
    if (!options.strWalkTree.empty()) {
        const auto start = std::chrono::steady_clock::now();
        const long long llEntries = WalkTree(options.strWalkTree);
        const double dWalkSeconds = Seconds(start);
        std::printf(" walk_entries=%lld walk_seconds=%.3f walk_over_load=%.1f walk_over_first_load=%.1f",
                    llEntries, dWalkSeconds, dWalkSeconds / dLoadSeconds, dWalkSeconds / dFirstLoadSeconds);
    }
    std::printf("\n");
    ptrSim.reset();
    if (std::getenv("AFS_BENCH_KEEP") == nullptr) {
        std::filesystem::remove_all(work);
    } else {
        std::printf("kept %s\n", work.c_str());
    }
    return llLoaded == options.llItems ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--items" && i + 1 < argc) {
            options.llItems = std::atoll(argv[++i]);
        } else if (arg == "--loads" && i + 1 < argc) {
            options.nLoads = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--tls") {
            options.bTls = true;
        } else if (arg == "--walk-tree" && i + 1 < argc) {
            options.strWalkTree = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--items N] [--loads K] [--tls] [--walk-tree DIR]\n", argv[0]);
            return 2;
        }
    }
    return RunBench(options);
}
