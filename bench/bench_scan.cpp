// Scan phase over a tree of empty log files: the walk, the list file, the inserts into the scan
// table and the merge into the client files. A second pass merges an unchanged tree.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/localdb/LMDBInterface.h"
#include "platform/registry/KQPlatformInfo.h"
#include "scan/LMScan.h"
#include <cstdlib>
#include <filesystem>

namespace {

void makeTree(const std::string& root, int files) {
    ::mkdir(root.c_str(), 0755);
    for (int i = 0; i < files; ++i) {
        std::string folder = root + "/d" + std::to_string(i / 500);
        if (i % 500 == 0) ::mkdir(folder.c_str(), 0755);
        int fd = ::open((folder + "/f" + std::to_string(i) + ".log").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
    }
}

void BM_ScanPhase(benchmark::State& state) {
    char tmpl[] = "/tmp/lmbenchscan.XXXXXX";
    if (!::mkdtemp(tmpl)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string base = tmpl;
    std::string root = base + "/tree";
    makeTree(root, static_cast<int>(state.range(0)));
    KQPlatformInfo platform;
    LogMonitoring::LMScan scan(static_cast<int>(::getpid() % 100000));
    int run = 0;
    for (auto _ : state) {
        LMDBInterface db(base + "/local" + std::to_string(run++) + ".db");
        std::string filter = "*.log";
        int rc = scan.ScanPhase(LogMonitoring::MonitoringTextLog, {root}, platform, filter, 1, 1, db, "", "", false,
                                false, false);
        if (rc != 0) state.SkipWithError("scan failed");
        // The unchanged tree again: every file is matched to its row.
        rc = scan.ScanPhase(LogMonitoring::MonitoringTextLog, {root}, platform, filter, 1, 1, db, "", "", false, false,
                            false);
        if (rc != 0) state.SkipWithError("rescan failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
}
BENCHMARK(BM_ScanPhase)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}

BENCHMARK_MAIN();
