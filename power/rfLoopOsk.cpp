// RF power control loop of the first amplifier family: moves the attenuator
// code on logical DAC 0 until the forward detector reads its target, then
// holds it, remembers it and programs the hardware power thresholds once.
#include "power/rfLoopOsk.h"

#include "Config/eventIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"
#include "power/ampMeasuresOsk.h"
#include "power/fanControl.h"
#include "power/hpaDetect.h"
#include "power/powerThresholds.h"

// Every debug line of the loop carries the loop's own name.
#define OSK_DEBUG(...) debugPrintf("RFControlLoop_OSK", DBG_POWER_MNG, DBG_POWER_MNG, __VA_ARGS__)

namespace {

constexpr uint32_t kAcquirePeriodUs = 30000;
constexpr uint32_t kLockedPeriodUs = 400000;
constexpr int16_t kLockBand = 7;
constexpr int16_t kUnlockBand = 12;
constexpr uint32_t kSelectWriteNoRestore = 0x80000;
constexpr uint32_t kRestoreClass = 17; // nominal powers 100 and 150
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmLockoutInput = 120;

struct OskLoop {
    uint16_t vdacAttCurr = kHpaDac0Start;
    uint8_t prevOnState = 0;
    uint8_t prevUcMute = 0;
    uint8_t intLock = 0;
    uint8_t lockCnt = 0;
    uint8_t unlockCnt = 0;
    uint8_t lowDetCnt = 0;
    uint8_t delayCtrlRf = 0;
    int16_t lastDriverPower = 0;
    uint8_t thresholdsDone = 0;
    uint8_t stepTimerStarted = 0;
    struct timespec stepStamp {};
    int16_t vdetErr = 0;
    int16_t prevVdetErr = 0;
    uint32_t stepPeriodUs = kAcquirePeriodUs;
};

OskLoop& st()
{
    static OskLoop s;
    return s;
}

const char* okNo(int v)
{
    return v ? "OK" : "NO";
}

void writeAttenuator(uint16_t code)
{
    st().vdacAttCurr = code;
    setDacOutput(code, 0);
}

void resetLoop()
{
    OskLoop& s = st();
    s.stepPeriodUs = kAcquirePeriodUs;
    writeAttenuator(kHpaDac0Start);
    setRfOutputEvent(0);
    s.intLock = 0;
    s.lockCnt = 0;
    s.unlockCnt = 0;
    s.lowDetCnt = 0;
    if (getLastValidRestoreRequest())
        setLastValidRestoreRequest(0);
    s.delayCtrlRf = 255;
    uint16_t last = getLastValidVdac();
    if (last != 0 && !hasSelectWriteBits(kSelectWriteNoRestore) && getAlarmState(kAlarmLockoutInput) != 1 &&
        getHpaPowerClass() == kRestoreClass) {
        writeAttenuator(last);
        OSK_DEBUG("%s: Restore Vdac %d [Enabled DelayCtrlRF]\n", "RFControlLoop_OSK", last);
    }
}

// Counters and period by the band the error falls in.
void applyBands(int16_t err)
{
    OskLoop& s = st();
    if (err >= -kLockBand && err <= kLockBand) {
        s.intLock = 1;
        s.lockCnt++;
        if (s.lockCnt > 4)
            setRfOutputEvent(1);
        s.lowDetCnt = 0;
        s.unlockCnt = 0;
        s.stepPeriodUs = kLockedPeriodUs;
        if (getRfOutputState() == 1 && getHpaPowerClass() == kRestoreClass) {
            int32_t last = getLastValidVdac();
            bool outside = s.vdacAttCurr < last - 50 || s.vdacAttCurr > last + 50;
            if (last == 0 || outside) {
                setLastValidVdac(s.vdacAttCurr);
                OSK_DEBUG("Save VdacAttCurr %d [%s]\n", s.vdacAttCurr, outside ? "CHANGED" : "OK");
            }
        }
    } else if ((err > kUnlockBand || err < -kUnlockBand) && s.intLock == 1) {
        if (getRfOutputState() == 0 && s.lockCnt > 10) {
            s.vdacAttCurr = kHpaDac0Start;
            OSK_DEBUG("Reset VdacAttCurr\n");
        }
        s.unlockCnt++;
        if (s.unlockCnt > 10) {
            s.intLock = 0;
            s.lockCnt = 0;
        }
        s.stepPeriodUs = kAcquirePeriodUs;
    }
}

void controlStep()
{
    OskLoop& s = st();
    OSK_DEBUG("%s: DelayCtrlRF %d\n", "RFControlLoop_OSK", s.delayCtrlRf);
    int16_t vdetCurr = static_cast<int16_t>(getPowerTableWord(0));
    s.vdetErr = static_cast<int16_t>(getVdetTarget() - vdetCurr);
    int16_t step = oskControlStep(s.vdetErr, s.prevVdetErr);
    s.prevVdetErr = s.vdetErr;

    applyBands(s.vdetErr);
    OSK_DEBUG("Power: Locked %s [Int Lock %s][LockCnt %d|UnlockCnt %d]\n", okNo(getRfOutputState()),
                okNo(s.intLock), s.lockCnt, s.unlockCnt);

    if (s.intLock == 0) {
        // Wind-up: the detector reads almost nothing with the attenuator
        // far open; after four such steps start again from 3000.
        uint32_t model = getHpaModelCode();
        bool wide = model == 1 || model == 2;
        if (vdetCurr <= (wide ? 24 : 79) && s.vdacAttCurr >= (wide ? 35001 : 10001))
            s.lowDetCnt++;
        if (s.lowDetCnt > 3) {
            s.vdacAttCurr = kHpaDac0Start;
            s.lowDetCnt = 0;
        }
        writeAttenuator(oskApplyStep(s.vdacAttCurr, step));
        OSK_DEBUG("VdetTarget %d - VdetCurr %d - VdetErr %d - Step %d - VdacAttCurr %d\n",
                    getVdetTarget(), vdetCurr, s.vdetErr, step, s.vdacAttCurr);
    }
    if (s.thresholdsDone == 0 && s.intLock == 1) {
        calcOverPowerThreshold_OSK();
        calcRefPowerThreshold_OSK();
        s.thresholdsDone = 1;
    }
    s.delayCtrlRf = 100;
}

} // namespace

int16_t oskControlStep(int16_t err, int16_t prev)
{
    const float kp = 0.9f;
    const float ki = 1.0f;
    const float gain = kp + ki;
    int16_t p = static_cast<int16_t>(static_cast<int32_t>(gain * static_cast<float>(err)));
    return static_cast<int16_t>(static_cast<int32_t>(static_cast<float>(p) - kp * static_cast<float>(prev)));
}

uint16_t oskApplyStep(uint16_t code, int16_t step)
{
    int32_t v = static_cast<int32_t>(code) + step;
    if (v > 65535)
        return 65535;
    if (v < 0)
        return 0;
    return static_cast<uint16_t>(v);
}

uint16_t getVdacAttCurr()
{
    return st().vdacAttCurr;
}

int RFControlLoop_OSK(uint32_t, uint32_t)
{
    OskLoop& s = st();
    uint8_t on = getTxOnState();
    uint8_t ucMute = rfMuteState.load();
    if ((on == 0 && s.prevOnState == 1) || (ucMute == 1 && s.prevUcMute == 0) || getLastValidRestoreRequest() == 1 ||
        getAlarmState(kAlarmLockoutInput) == 1)
        resetLoop();
    s.prevOnState = on;
    s.prevUcMute = ucMute;

    int16_t driverPower = getDriverPower();
    if (driverPower != s.lastDriverPower) {
        s.thresholdsDone = 0;
        s.lockCnt = 0;
        s.unlockCnt = 0;
    }
    s.lastDriverPower = driverPower;

    if (!s.stepTimerStarted) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.stepStamp);
        s.stepTimerStarted = 1;
    }

    ForwardReflectedPowerMeasure(s.stepPeriodUs);
    AmpliTemperatureMeasure();
    SystemFanControl();

    if (on == 1)
        s.delayCtrlRf = static_cast<uint8_t>(s.delayCtrlRf + 1);

    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.stepStamp, &now) < s.stepPeriodUs)
        return 0;

    uint8_t fpgaMute = getFpgaMute();
    OSK_DEBUG("%s: uCMute %d, fpgaMute %d\n", "RFControlLoop_OSK", ucMute, fpgaMute);
    if (ucMute == 0 && fpgaMute == 0 && getAlarmState(kAlarmInterlock) == 0 &&
        getAlarmState(kAlarmLockoutInput) == 0 && on == 1 && s.delayCtrlRf > 9)
        controlStep();
    s.stepTimerStarted = 0;
    return 0;
}

void rfLoopOskResetForTest()
{
    st() = OskLoop{};
}
