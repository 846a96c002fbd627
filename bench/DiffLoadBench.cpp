// In-process cost of one difference page: parse, models, path rewriting,
// attributes and the scan database callback. Run:
//   build/bench/afs-bench-diff-load --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include "Nutanix/NutanixAFSManager/DiffItemLoader.h"
#include "bench/DiffPageFixture.h"
#include "restclient/DiffPageParser.h"

namespace {

class CCountingDB : public CNutanixDBHelper {
public:
    CRhError ItemCallBack(std::string& path, const std::string&, NutanixAFSChangeType,
                          const struct stat& attributes, bool) override {
        ullBytes += path.size() + static_cast<unsigned long long>(attributes.st_size);
        ++ullItems;
        return CRhError::Success();
    }
    unsigned long long ullItems = 0;
    unsigned long long ullBytes = 0;
};

NutanixAFSVolumeInfo ShareRecord() {
    NutanixAFSVolumeInfo info;
    info.strVolumeMountPath = "/mnt/share";
    info.strCurrentSnapPath = "/mnt/share/.snapshot/zkop__2_7_1234";
    info.strPreviousSnapPath = "/mnt/share/.snapshot/zkop__2_7_1233";
    info.strScanVolumePath = "/server/share";
    return info;
}

void BM_ParseDiffPage(benchmark::State& state) {
    const std::string body = MakeDiffPageJson(static_cast<int>(state.range(0)));
    afs_rest::CDiffPageParser parser;
    io::swagger::client::model::Mount_target_snapshot_diff_tracking_output page;
    for (auto _ : state) {
        parser.Parse(body.data(), body.size(), page);
        benchmark::DoNotOptimize(page.getObjectList().size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_ParseDiffPage)->Arg(3000);

void BM_LoadDiffPage(benchmark::State& state) {
    // Parsed in place, as the REST client parses the answer it received.
    std::string body = MakeDiffPageJson(static_cast<int>(state.range(0)));
    afs_rest::CDiffPageParser parser;
    io::swagger::client::model::Mount_target_snapshot_diff_tracking_output page;
    const NutanixAFSVolumeInfo info = ShareRecord();
    CCountingDB database;
    CDiffItemLoader loader(info, database);
    for (auto _ : state) {
        parser.ParseInPlace(body, page);
        for (const auto& ptrObject : page.getObjectList()) {
            CRhError error = loader.Process(*ptrObject);
            if (error.IsError()) state.SkipWithError(error.AsString().c_str());
        }
    }
    if (database.ullItems != static_cast<unsigned long long>(state.iterations() * state.range(0))) {
        state.SkipWithError("not every item reached the database");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadDiffPage)->Arg(3000);

}  // namespace

BENCHMARK_MAIN();
