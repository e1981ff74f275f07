// Cost of a main-loop turn of the first amplifier family on the simulated
// board: the telecommand poll, then a pass of the power loop that takes a
// control step with its measure of the forward detector and its fan run.
// The clock is virtual, so the sleeps of the drivers cost nothing.
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "bench/ampBoard.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "core/mainLoop.h"
#include "platform/clock.h"
#include "power/ampMeasuresOsk.h"
#include "power/measureFilters.h"
#include "power/ampMeasuresTrel.h"
#include "power/rfLoopOsk.h"
#include "power/rfLoopTrel.h"

#include <benchmark/benchmark.h>

namespace {

// One turn: the time base, the poll and the RF control step.
void turn(uint32_t advanceUs)
{
    clockAdvanceUs(advanceUs);
    timeThread();
    pollTlcTask();
    rfControlLoopTick();
}

// The measured turns: the first stamps the control period, the second takes
// the step; a second apart, so that the fans run as well.
void runTurns(benchmark::State& state)
{
    for (auto _ : state) {
        turn(500000);
        turn(500000);
    }
    state.counters["turns"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()));
}

void BM_OskControlTurn(benchmark::State& state)
{
    AmpBoard board("hpa-osk", 0, 0, rfLoopOskResetForTest, ampMeasuresOskResetForTest);
    setNumFan(3);
    // A target the plant never reaches keeps the loop acquiring.
    setVdetTarget(5000);
    for (int i = 0; i < 12; i++)
        turn(80000);
    runTurns(state);
    // What the turns did: the attenuator code reached and a fan's speed.
    state.counters["vdac"] = getVdacAttCurr();
    state.counters["fan_rpm"] = getHpaMeasureWord(23);
}
BENCHMARK(BM_OskControlTurn)->Unit(benchmark::kMicrosecond);

// The same turn on the wideband amplifier (third family): the signal
// interface, temperature and power measures with their converter reads, the
// fans and a control step of the APC loop.
void BM_TrelControlTurn(benchmark::State& state)
{
    AmpBoard board("hpa-wideband", 2, 5, rfLoopTrelResetForTest, ampMeasuresTrelResetForTest);
    setMaxVoltageAPC(2500);
    setDefaultVoltageAPC(1000);
    // Calibrated far above what the plant gives keeps the loop acquiring.
    setFwdPowerCalibrated(1);
    setHpaNomFwd(4000);
    setHpaNomDrvPow(getDriverPower());
    setCalibrationDone(1);
    // The controller mute's edge resets the loop to its start voltage.
    rfMuteState = 1;
    turn(80000);
    turn(80000);
    rfMuteState = 0;
    setAlcEnabled(1);
    for (int i = 0; i < 12; i++)
        turn(80000);
    runTurns(state);
    state.counters["vapc"] = rfLoopTrelVapc();
    state.counters["fwd"] = getPowerTableWord(11);
}
BENCHMARK(BM_TrelControlTurn)->Unit(benchmark::kMicrosecond);

} // namespace
