// RF power control loop of the third amplifier family: moves the APC
// voltage of the drive stage until the forward detector reads its target,
// holds it while the power is locked and programs the hardware power
// thresholds once per driver power.
#include "power/rfLoopTrel.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "power/ampMeasuresTrel.h"
#include "power/fanControl.h"
#include "power/powerThresholds.h"

#include <cmath>


#define TREL_DEBUG(...) debugPrintf("RFControlLoop_TREL", DBG_POWER_MNG, DBG_POWER_MNG, __VA_ARGS__)

namespace {

constexpr int32_t kLockBand = 8;
constexpr int32_t kUnlockBand = 14;
constexpr float kKp = 0.2f;
constexpr float kKi = 0.2f;
constexpr int32_t kMaxUpStep = 500;
constexpr int32_t kLowPowerVapc = 300;
constexpr uint32_t kLowFwdCount = 9999;
constexpr uint32_t kResetPeriodUs = 500000;
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmLockoutInput = 120;

struct TrelLoop {
    int16_t lastDriverPower = 0;
    uint8_t thresholdsDone = 0;
    uint8_t powerLocked = 0;
    uint8_t lockCnt = 0;
    uint8_t prevOnState = 0;
    uint8_t prevUcMute = 0;
    uint32_t controlPeriodUs = 0;
    uint8_t rfAlcStarted = 1;
    uint16_t lowFwdCnt = 0;
    int32_t vapcNow = 0;
    int32_t fwdErr = 500;
    int32_t prevFwdErr = 0;
    struct timespec stamp {};
};

TrelLoop& st()
{
    static TrelLoop s;
    return s;
}

float scaleOf()
{
    return getHpaModelCode() == 5 ? static_cast<float>(kTrelFwdSlope) : 0.0f;
}

// Milliseconds of the time base, for the debug lines.
void nowMs(long* ms, long* frac)
{
    struct timespec t = getMonoTimeNow();
    *ms = static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    *frac = t.tv_nsec / 100000 % 10;
}

// The APC voltage is never driven below 0 mV: the converter would take a
// negative value as a near full-scale code.
void applyVapc(int32_t v)
{
    TrelLoop& s = st();
    s.vapcNow = v < 0 ? 0 : v;
    setVoltageAPC(static_cast<uint32_t>(s.vapcNow), 1);
}

void resetLoop(uint8_t on, uint8_t ucMute, uint8_t fpgaMute)
{
    TrelLoop& s = st();
    long ms, frac;
    nowMs(&ms, &frac);
    TREL_DEBUG("[%li.%li msec] RESET ALC: AmpliMute %d | IntLck %d |OnStby %d | uCmute %d | FpgaMute %d\n", ms, frac,
               getAlarmState(kAlarmLockoutInput), getAlarmState(kAlarmInterlock) == 0 ? 1 : 0, on, ucMute, fpgaMute);
    s.controlPeriodUs = kResetPeriodUs;
    if (getFwdPowerCalibrated() == 1)
        setAlcEnabled(0);
    s.rfAlcStarted = 1;
    s.lowFwdCnt = 0;
    applyVapc(static_cast<int32_t>(getVoltageAPCLimit(0)));
    s.fwdErr = 500;
    s.prevFwdErr = 0;
    s.powerLocked = 0;
    s.lockCnt = 0;
    setRfOutputEvent(0);
}

int32_t tenthsDb(int32_t err, float scale)
{
    return static_cast<int32_t>(std::floor(static_cast<float>(err) * scale * 10.0f + 0.5f));
}

void controlStep(int16_t driverPower)
{
    TrelLoop& s = st();
    float scale = scaleOf();
    uint32_t curFwd = getPowerTableWord(11);
    float target = 0;
    if (scale != 0) {
        int32_t nomDrv = static_cast<int16_t>(getHpaNomDrvPow());
        float span = static_cast<float>(nomDrv - driverPower - getHpaFwdCorrection());
        target = static_cast<float>(getHpaNomFwd()) - span / (scale * 10.0f);
    }
    // A target below the detector's range is no count at all.
    uint32_t targetFwd = target > 0 ? static_cast<uint32_t>(target) : 0;
    s.fwdErr = static_cast<int32_t>(targetFwd) - static_cast<int32_t>(curFwd);
    int32_t e = tenthsDb(s.fwdErr, scale);
    int32_t ePrev = tenthsDb(s.prevFwdErr, scale);
    s.prevFwdErr = s.fwdErr;

    int32_t step = getAlcEnabled() == 1 && s.rfAlcStarted == 1 ? trelControlStep(e, ePrev) : 0;

    if (s.fwdErr > -kLockBand && s.fwdErr < kLockBand) {
        s.powerLocked = 1;
        s.lockCnt++;
        if (s.lockCnt == 5)
            setRfOutputEvent(1);
        TREL_DEBUG("PowerLocked %s at TargetFwd %lu\n", getRfOutputState() ? "OK" : "NO",
                   static_cast<unsigned long>(targetFwd));
    } else if ((s.fwdErr > kUnlockBand || s.fwdErr < -kUnlockBand) && s.powerLocked == 1) {
        TREL_DEBUG("PowerLocked %s\n", "NO");
        s.powerLocked = 0;
        s.lockCnt = 0;
    }

    int32_t maxVapc = static_cast<int32_t>(getMaxVoltageAPC());
    if (!s.powerLocked) {
        // Low power at or beyond the highest drive: start again from low.
        if (curFwd <= kLowFwdCount && s.vapcNow >= maxVapc) {
            if (++s.lowFwdCnt > 3) {
                TREL_DEBUG("Low power detected - Reset ALC\n");
                s.lowFwdCnt = 0;
                applyVapc(kLowPowerVapc);
            }
        }
        if (step != 0)
            applyVapc(trelApplyStep(s.vapcNow, step, maxVapc));
    }
    if (s.thresholdsDone == 0 && getAlcEnabled() == 1 && s.powerLocked) {
        calcOverPowerThreshold_TREL();
        calcRefPowerThreshold_TREL();
        s.thresholdsDone = 1;
    }
    long ms, frac;
    nowMs(&ms, &frac);
    TREL_DEBUG("[%li.%li msec] TargetFwd %lu [L %d|%d]-CurFwd %d [S %d][%.1f]-FwdErr %d [%d ddB]-> Vapc: %.3f [Step "
               "%.3f]\n",
               ms, frac, static_cast<unsigned long>(targetFwd), s.powerLocked, s.lockCnt, static_cast<int>(curFwd),
               getFwdMeasStable(), static_cast<int32_t>(getPowerTableWord(1)) / 10.0, static_cast<int>(s.fwdErr),
               static_cast<int>(e), s.vapcNow / 1000.0, step / 1000.0);
}

} // namespace

int32_t trelControlStep(int32_t e, int32_t ePrev)
{
    int32_t p = static_cast<int32_t>((kKp + kKi) * static_cast<float>(10 * e));
    return static_cast<int32_t>(static_cast<float>(p) - kKp * static_cast<float>(10 * ePrev));
}

int32_t trelApplyStep(int32_t vapc, int32_t step, int32_t maxVapc)
{
    if (step > kMaxUpStep)
        step = kMaxUpStep;
    int32_t v = vapc + step;
    if (v > maxVapc)
        v = maxVapc;
    return v < 0 ? 0 : v;
}

int RFControlLoop_TREL(uint32_t, uint32_t)
{
    TrelLoop& s = st();
    HpaSignalInterfaceMeasure_TREL();
    HpaTemperatureMeasure_TREL();
    SystemFanControl();

    int16_t driverPower = getDriverPower();
    if (driverPower != s.lastDriverPower) {
        s.thresholdsDone = 0;
        s.powerLocked = 0;
        s.lockCnt = 0;
    }
    s.lastDriverPower = driverPower;

    uint8_t on = getTxOnState();
    uint8_t ucMute = rfMuteState.load();
    uint8_t fpgaMute = getFpgaMute();
    if ((on == 0 && s.prevOnState == 1) || (ucMute == 1 && s.prevUcMute == 0) || fpgaMute != 0 ||
        getAlarmState(kAlarmLockoutInput) == 1 || getAlarmState(kAlarmInterlock) == 1)
        resetLoop(on, ucMute, fpgaMute);
    s.prevOnState = on;
    s.prevUcMute = ucMute;

    HpaPowerMeasure_TREL(s.powerLocked, 0);

    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.stamp, &now) < s.controlPeriodUs)
        return 0;
    long ms, frac;
    nowMs(&ms, &frac);
    TREL_DEBUG("[%li.%li msec] ALC\n", ms, frac);
    if (getCalibrationDone() == 1 && getFwdPowerCalibrated() == 1 && getPowerTableWord(11) != 0 && ucMute == 0 &&
        fpgaMute == 0 && getAlarmState(kAlarmInterlock) == 0 && getAlarmState(kAlarmLockoutInput) == 0 && on == 1)
        controlStep(driverPower);
    s.stamp = getMonoTimeNow();
    return 0;
}

int32_t rfLoopTrelVapc()
{
    return st().vapcNow;
}

uint8_t rfLoopTrelLocked()
{
    return st().powerLocked;
}

void rfLoopTrelResetForTest()
{
    st() = TrelLoop{};
}
