// Cost of a full save and a full load of the four XML configuration files.
// The save's figure includes its syncs (the CPU time leaves them out).
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "persist/xmlConfig.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SaveAllConfigFiles(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    initDbAreaContainer();
    for (auto _ : state)
        benchmark::DoNotOptimize(saveConfigToFiles());
    closeLogs();
    removeTestSandbox(root);
}
BENCHMARK(BM_SaveAllConfigFiles)->Unit(benchmark::kMillisecond);

void BM_LoadAllConfigFiles(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    initDbAreaContainer();
    saveConfigToFiles();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadConfigFromFiles());
    closeLogs();
    removeTestSandbox(root);
}
BENCHMARK(BM_LoadAllConfigFiles)->Unit(benchmark::kMillisecond);

} // namespace
