// Cost of a pass of the second family's power loop on the simulated compact
// amplifier (three PMBus modules): the signal lines, one slot of the shelf
// pass, the temperatures, the fans, the detector and current measures and a
// control step. The clock is virtual, so the converters' pauses cost nothing.
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "bench/ampBoard.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "power/cplShelf.h"
#include "power/hpaMeasures.h"
#include "power/rfLoopVask.h"

#include <benchmark/benchmark.h>

namespace {

void pass(uint32_t advanceUs)
{
    clockAdvanceUs(advanceUs);
    timeThread();
    RFControlLoop_VASK(0, 0);
}

void BM_VaskControlPass(benchmark::State& state)
{
    AmpBoard board("hpa-compact-ltc", 1, 3, rfLoopVaskResetForTest, hpaMeasuresResetForTest, true);
    setHpaDrvCurrConvFactor(660);
    setHpsCode(3);
    setPsuCount(3);
    setPsuInterface(0, 0);
    setDefaultVoltageAPC(1500);
    setMaxVoltageAPC(2500);
    setHpaByteP(1);
    setRfLoopFlag(1);
    CPL_Init();
    setDriverPower(600, 0);
    for (int i = 0; i < 40; i++)
        pass(80000);
    // Calibrated far above what the plant gives: the loop keeps stepping.
    setHpaNomFwd(60000);
    setHpaNomDrvPow(600);
    setFwdPowerCalibrated(1);
    // A reset puts the supplies and VAPC at their start values.
    setLastValidRestoreRequest(1);
    pass(80000);
    for (auto _ : state) {
        // Two seconds on: a shelf slot is read, the measures and the
        // control step run.
        pass(2000000);
    }
    state.counters["vout"] = getPsuVoutSetpoint(0);
    state.counters["vapc"] = getVaskVapcNow();
    state.counters["fwd"] = getPowerTableWord(11);
}
BENCHMARK(BM_VaskControlPass)->Unit(benchmark::kMicrosecond);

} // namespace
