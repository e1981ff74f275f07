// The 1 ms main loop and its periodic steps.
#include "core/mainLoop.h"

#include "Config/configCycle.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/alarmConditions.h"
#include "alarms/alarmCycle.h"
#include "audio/audioProcessor.h"
#include "audio/fmRxMonitor.h"
#include "audio/inputSwitch.h"
#include "audio/mpxOverIp.h"
#include "core/children.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/boardMeasures.h"
#include "hw/fpgaFrame.h"
#include "hw/fpgaMailbox.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaTransfer.h"
#include "hw/i2cBus.h"
#include "links/factoryTcp.h"
#include "platform/clock.h"
#include "power/ampLockout.h"
#include "power/rfLoopOsk.h"
#include "power/rfLoopTrel.h"
#include "power/rfLoopVask.h"

#include <cstdlib>
#include <systemd/sd-daemon.h>

void (*mainLoopTrace)(const char* step) = nullptr;

namespace {

struct StepStamps {
    PeriodicStep rfControl;
    PeriodicStep fpgaFrame;
    PeriodicStep measures;
    PeriodicStep alarm;
    PeriodicStep mailbox;
};

StepStamps& steps()
{
    static StepStamps s{};
    return s;
}

void trace(const char* step)
{
    if (mainLoopTrace)
        mainLoopTrace(step);
}

long secondsApart(const struct timespec& a, const struct timespec& b)
{
    long d = static_cast<long>(a.tv_sec - b.tv_sec);
    return d < 0 ? -d : d;
}

} // namespace

void rfControlLoopTick()
{
    PeriodicStep* s = &steps().rfControl;
    if (!periodicStepDue(s, 80000))
        return;
    trace("rfControlLoopTick");
    switch (getAmpFamily()) {
    case 0:
        if (getHpaDetected() && !getHpaDisabled())
            RFControlLoop_OSK(0, 0);
        break;
    case 1:
        RFControlLoop_VASK(0, 0);
        break;
    case 2:
        if (getHpaDetected() && !getHpaDisabled())
            RFControlLoop_TREL(0, 0);
        break;
    default:
        break;
    }
    periodicStepDone(s);
}

void fpgaFrameTick()
{
    PeriodicStep* s = &steps().fpgaFrame;
    if (!periodicStepDue(s, 500000, true))
        return;
    trace("fpgaFrameTick");
    // The build and its transfer stay together under the FPGA lock, so a
    // sequence run from another thread never interleaves with them.
    bool locked = SemLock(SemAxiFpga, "SemAxiFpga") == 0;
    Fpga_PrepareConfig(rfMuteState.load(), 0, 0, 0);
    Fpga_Transfer(FpgaControlFrame, FpgaStatusBlock, 2);
    if (locked)
        SemUnlock(SemAxiFpga, "SemAxiFpga");
    Fpga_ReadConfig();
    checkFskSignSchedule();
    periodicStepDone(s);
}

void measuresTick()
{
    PeriodicStep* s = &steps().measures;
    if (!periodicStepDue(s, 750000))
        return;
    trace("measuresTick");
    BoardTemperatureMeasure();
    readBoardInputs();
    fmRx_MeasurePollig();
    GBE_PollStatus();
    AP_ReadMeters();
    periodicStepDone(s);
}

void alarmTick()
{
    PeriodicStep* s = &steps().alarm;
    if (periodicStepDue(s, 250000)) {
        trace("alarmTick");
        ComputeAlarmConditions();
        ScanAlarms();
        ServiceReprogramRequests();
        periodicStepDone(s);
    }
    trace("SetAlarms");
    SetAlarms();
}

void fpgaRegMailboxTick()
{
    PeriodicStep* s = &steps().mailbox;
    if (!periodicStepDue(s, 250000))
        return;
    trace("fpgaRegMailboxTick");
    FpgaRegMailbox_Service();
    periodicStepDone(s);
}

void mainLoopBegin(MainLoopState* s, int testDurationSeconds)
{
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    setBootTime(now);
    setMonoTimeNow(now);
    s->watchdogStamp = now;
    s->bootStamp = now;
    s->muteReleased = 0;
    s->testDurationSeconds = testDurationSeconds;
}

int mainLoopPass(MainLoopState* s)
{
    debugControlTick();
    logSizeCheckTick();

    struct timespec now = getMonoTimeNow();
    if (secondsApart(now, s->watchdogStamp) >= 3) {
        trace("WATCHDOG");
        sd_notify(0, "WATCHDOG=1");
        s->watchdogStamp = now;
    }
    if (secondsApart(now, s->bootStamp) > 3 && !s->muteReleased) {
        logInfo("Remove GLOBAL MUTE");
        globalMute = 0;
        s->muteReleased = 1;
    }

    if (!mainWorkSuspended.load()) {
        trace("I2C_FaultMng");
        I2C_FaultMng();
        trace("pollTlcTask");
        pollTlcTask();
        rfControlLoopTick();
        fpgaFrameTick();
        measuresTick();
        trace("InputSwitchTick");
        InputSwitchTick();
        alarmTick();
        trace("runFactoryTcpServer");
        runFactoryTcpServer();
        trace("applyConfig");
        applyConfig();
        if (s->testDurationSeconds > 0 && secondsApart(s->bootStamp, getMonoTimeNow()) >= s->testDurationSeconds)
            return 1;
    }
    fpgaRegMailboxTick();
    // Companion programs that ended are reaped and restarted here, outside
    // the signal handler, whether or not the loop's work is suspended.
    serviceChildren();
    return 0;
}

int runMainLoop(MainLoopState* s)
{
    for (;;) {
        if (mainLoopPass(s))
            return 0;
        clockSleepUs(1000);
    }
}

void mainLoopResetForTest()
{
    steps() = StepStamps{};
    logsResetForTest();
}
