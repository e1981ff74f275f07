// Cost of a pass of the second family's power loop on the simulated compact
// amplifier (three PMBus modules): the signal lines, one slot of the shelf
// pass, the temperatures, the fans, the detector and current measures and a
// control step. The clock is virtual, so the converters' pauses cost nothing.
#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "power/ampLockout.h"
#include "power/cplShelf.h"
#include "power/fanControl.h"
#include "power/hpaMeasures.h"
#include "power/rfLoopVask.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void pass(uint32_t advanceUs)
{
    clockAdvanceUs(advanceUs);
    timeThread();
    RFControlLoop_VASK(0, 0);
}

void BM_VaskControlPass(benchmark::State& state)
{
    setenv("CORVANE_BOARD_PROFILE", "hpa-compact-ltc", 1);
    std::string root = makeTestSandbox();
    unsetenv("CORVANE_BOARD_PROFILE");
    clockUseVirtual();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    memset(getSystemImage(), 0, sizeof(SystemImage));
    sem_sys_init();
    SemMutexInit();
    hpaMeasuresResetForTest();
    rfLoopVaskResetForTest();
    ampLockoutResetForTest();
    fanControlResetForTest();
    setAmpFamily(1);
    setHpaModelCode(3);
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
    setTxOnState(1);
    setFpgaMute(0);
    rfMuteState = 0;
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
    sem_sys_remove();
    closeLogs();
    clockUseReal();
    removeTestSandbox(root);
}
BENCHMARK(BM_VaskControlPass)->Unit(benchmark::kMicrosecond);

} // namespace
