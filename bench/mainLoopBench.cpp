// Cost of one main-loop pass and of the time-base reads every step makes.
#include "core/base/logs.h"
#include "core/mainLoop.h"
#include "core/base/timeBase.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>

namespace {

void BM_MainLoopPass(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    MainLoopState loop;
    mainLoopBegin(&loop, 0);
    for (auto _ : state) {
        timeThread();
        benchmark::DoNotOptimize(mainLoopPass(&loop));
    }
    closeLogs();
    removeTestSandbox(root);
}
BENCHMARK(BM_MainLoopPass);

void BM_ElapsedAgainstTimeBase(benchmark::State& state)
{
    timeThread();
    struct timespec stamp = getMonoTimeNow();
    for (auto _ : state) {
        struct timespec now = getMonoTimeNow();
        benchmark::DoNotOptimize(getElapsedUs(&stamp, &now));
    }
}
BENCHMARK(BM_ElapsedAgainstTimeBase);

} // namespace
