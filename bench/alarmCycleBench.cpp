// Cost of the mute decision on a quiet alarm table: it runs on every pass of
// the 1 ms main loop.
#include "alarms/alarmCycle.h"
#include "core/base/logs.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SetAlarmsQuiet(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    SetAlarms();
    for (auto _ : state)
        SetAlarms();
    closeLogs();
    removeTestSandbox(root);
}
BENCHMARK(BM_SetAlarmsQuiet);

} // namespace
