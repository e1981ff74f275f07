// Cost of the power management step of "Ltx Thread" (every 10 ms) with a
// single amplifier and every derating source in play: the programmed window
// and the temperature derating active, the SWR derating read, both alarms
// evaluated and the record published. It must stay well under 20 us.
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "power/powerManagement.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>

namespace {

void BM_PowerManagementTaskDerating(benchmark::State& state)
{
    std::string root = makeTestSandbox();
    clockUseVirtual();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    initDbAreaContainer();
    setAmplifierNumber(0);
    setExciterNominalPower(300, 0);
    setTransmitterLowPowerAlarmThreshold(30);
    setTransmitterLowPowerWarningThreshold(15);
    setTransmitterReflectedPowerAlarmThreshold(100);
    setTransmitterReflectedPowerWarningThreshold(150);
    LogicaTx_SetTxStatus(0);
    setTxOnState(1);
    LogicaTx_SetTxStartRequest(1);
    // A window over the whole day, every day, and the amplifier over its
    // derating temperature.
    setPwrProgDeratingFactor(30);
    setPwrProgDeratingTimeStart(0);
    setPwrProgDeratingTimeStop(1440);
    setPwrProgDeratingDayWeek(127);
    setPwrProgDeratingEnable(1);
    setPwrDeratingFactor(40);
    setPwrDeratingTemperature(72);
    setPwrDeratingEnable(1);
    setPowerTableWord(7, 80);
    setPowerTableWord(1, 260);
    setPowerTableWord(4, 120);
    setAlarmInput(129, 1);
    setSwrDerating(10);
    powerManagementInit();
    for (int k = 0; k < 20; k++)
        powerManagementTask();
    for (auto _ : state)
        powerManagementTask();
    state.counters["derating"] = getDeratedPower();
    closeLogs();
    removeTestSandbox(root);
}
BENCHMARK(BM_PowerManagementTaskDerating)->Unit(benchmark::kMicrosecond);

} // namespace
