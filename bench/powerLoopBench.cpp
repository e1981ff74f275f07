// Cost of a main-loop turn of the first amplifier family on the simulated
// board: the telecommand poll, then a pass of the power loop that takes a
// control step with its measure of the forward detector and its fan run.
// The clock is virtual, so the sleeps of the drivers cost nothing.
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "core/mainLoop.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "power/ampLockout.h"
#include "power/ampMeasuresOsk.h"
#include "power/fanControl.h"
#include "power/measureFilters.h"
#include "power/ampMeasuresTrel.h"
#include "power/rfLoopOsk.h"
#include "power/rfLoopTrel.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

// One turn: the time base, the poll and the RF control step.
void turn(uint32_t advanceUs)
{
    clockAdvanceUs(advanceUs);
    timeThread();
    pollTlcTask();
    rfControlLoopTick();
}

// A sandbox on the board of `profile` with its amplifier of `family` and
// `model` detected, on and unmuted: logs open, the virtual clock, and the
// power loop of the family (reset by `resetLoop` and `resetMeasures`), the
// lockout, the fans and the main loop fresh. The sandbox goes with it.
class AmpBoard {
public:
    AmpBoard(const char* profile, uint32_t family, uint32_t model, void (*resetLoop)(), void (*resetMeasures)())
    {
        setenv("CORVANE_BOARD_PROFILE", profile, 1);
        root_ = makeTestSandbox();
        unsetenv("CORVANE_BOARD_PROFILE");
        clockUseVirtual();
        simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
        openLogs();
        logEnabled = 1;
        resetLoop();
        resetMeasures();
        ampLockoutResetForTest();
        fanControlResetForTest();
        mainLoopResetForTest();
        setAmpFamily(family);
        setHpaModelCode(model);
        setHpaDetected(1);
        setHpaDisabled(0);
        setTxOnState(1);
        setAlarmState(101, 0);
        setAlarmState(120, 0);
        setFpgaMute(0);
        rfMuteState = 0;
    }
    ~AmpBoard()
    {
        closeLogs();
        clockUseReal();
        removeTestSandbox(root_);
    }
    AmpBoard(const AmpBoard&) = delete;
    AmpBoard& operator=(const AmpBoard&) = delete;

    // The measured turns: the first stamps the control period, the second
    // takes the step; a second apart, so that the fans run as well.
    static void run(benchmark::State& state)
    {
        for (auto _ : state) {
            turn(500000);
            turn(500000);
        }
        state.counters["turns"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()));
    }

private:
    std::string root_;
};

void BM_OskControlTurn(benchmark::State& state)
{
    AmpBoard board("hpa-osk", 0, 0, rfLoopOskResetForTest, ampMeasuresOskResetForTest);
    setNumFan(3);
    // A target the plant never reaches keeps the loop acquiring.
    setVdetTarget(5000);
    for (int i = 0; i < 12; i++)
        turn(80000);
    AmpBoard::run(state);
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
    AmpBoard::run(state);
    state.counters["vapc"] = rfLoopTrelVapc();
    state.counters["fwd"] = getPowerTableWord(11);
}
BENCHMARK(BM_TrelControlTurn)->Unit(benchmark::kMicrosecond);

} // namespace
