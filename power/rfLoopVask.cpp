// RF power control loop of the second amplifier family: moves the output
// voltage of the supplies in service towards the forward target, hands over
// to the APC voltage of the drive stage at the supplies' limits, restarts a
// supply that shut down, restores the last valid voltage after a reset, slows
// or stops itself when the reflected power rises, and programs the hardware
// power thresholds once locked.
#include "power/rfLoopVask.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "power/cplShelf.h"
#include "power/fanControl.h"
#include "power/hpaMeasures.h"
#include "power/powerSettings.h"
#include "power/powerThresholds.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#define VASK_DEBUG(...) debugPrintf("RFControlLoop_VASK", DBG_POWER_MNG, DBG_POWER_MNG, __VA_ARGS__)

namespace {

constexpr uint32_t kResetPeriodUs = 500000;
constexpr uint32_t kSelectWriteNoRestore = 0x80000;
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmLockoutInput = 120;
constexpr uint8_t kAlarmSwrFoldback = 129;
constexpr uint32_t kRestartPauseUs = 200000;
constexpr uint8_t kStartDelayPasses = 60;
constexpr int32_t kLowFwdCounts = 10000;
constexpr uint32_t kLowFwdVout = 30000;
constexpr uint32_t kFastAlcMinVout = 24000;
constexpr uint32_t kSavedVoutBand = 400;
constexpr int16_t kSplitPower = 650; // driver power dividing the two-supply settings
constexpr int32_t kFirstFwdErr = 500;

// Per-model detector scale and lock bands.
struct ModelRow {
    uint32_t model;
    float scale; // dB per forward count
    int32_t lockBand;
    int32_t unlockBand;
};
constexpr ModelRow kModels[] = {
    {3, 125.0f / 65536.0f, 26, 42},
    {4, 1760.0f / 65536.0f, 2, 4},
};

// The VAPC step limit by the largest supply current, below each bound.
struct CurrentRow {
    int32_t below; // mA
    int32_t limit; // mV
};
constexpr CurrentRow kCurrentLimits[] = {
    {30000, 70}, {40000, 50}, {50000, 20}, {57001, 10}, {66001, 2},
};

struct VaskLoop {
    uint8_t prevHpsNum = 0;
    uint8_t voutAtMax = 0;
    uint8_t voutAtMin = 0;
    int32_t vapcNow = 0;
    bool vapcKnown = false;
    uint8_t slowAlc = 0;
    uint8_t fastAlc = 0;
    int16_t lastDriverPower = 0;
    uint8_t thresholdsDone = 0;
    uint8_t powerLocked = 0;
    uint8_t lockCnt = 0;
    uint8_t prevOnState = 0;
    uint8_t prevUcMute = 0;
    uint32_t controlPeriodUs = 0;
    uint8_t txStatusPending = 0;
    uint8_t bigStepArmed = 0;
    uint8_t lowFwdCnt = 0;
    int32_t fwdErr = kFirstFwdErr;
    int32_t prevFwdErr = 0;
    uint8_t rflOkCnt = 0;
    uint8_t rfAlcStarted = 1;
    uint8_t startDelayCnt = 0;
    struct timespec stamp {};
    uint8_t prevPowerLockedState = 0;
};

VaskLoop& st()
{
    static VaskLoop s;
    return s;
}

// Working values of one pass.
struct Pass {
    uint32_t model;
    uint32_t hpsCode;
    uint8_t hpsNum;
    uint32_t slots;
    float scale;
    int32_t lockBand;
    int32_t unlockBand;
    float kp;
    float ki;
    int32_t maxStep;
    int32_t vapcMargin;
    int32_t imax;
    int32_t drvLevel;
    int32_t drvOffset;
    uint32_t vmax;
    uint8_t idx;
    uint8_t hpsChanged;
    bool suppress;
    uint8_t on;
    uint8_t ucMute;
    uint8_t fpgaMute;
    int16_t driverPower;
    int32_t e;
    int32_t ePrev;
    uint32_t targetFwd;
    int32_t curFwd;
    int32_t voutStep;
};

const char* okNo(int v)
{
    return v ? "OK" : "NO";
}

void msecNow(long* ms, long* frac)
{
    struct timespec t = getMonoTimeNow();
    *ms = static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    *frac = t.tv_nsec / 1000 % 1000;
}

uint32_t slotMin(uint8_t slot)
{
    return getPsuVoutMin(slot);
}

uint32_t slotMax(uint8_t slot)
{
    return getPsuVoutMax(slot);
}

// VAPC never below 0: the DAC would turn a negative value into a code near
// full scale.
void setVapc(int32_t v)
{
    VaskLoop& s = st();
    if (v < 0)
        v = 0;
    s.vapcNow = v;
    s.vapcKnown = true;
    setVoltageAPC(static_cast<uint32_t>(v), 1);
}

// The restore target of the last valid voltage, kept inside the slot's
// limits (a restore offset above the saved voltage gives the minimum).
uint32_t restoreTarget(uint8_t slot)
{
    uint32_t last = getLastValidHpsVout();
    uint32_t off = getRestoreOffsetHpsVout();
    uint32_t lo = slotMin(slot), hi = slotMax(slot);
    uint32_t t = last > off ? last - off : lo;
    if (t < lo)
        t = lo;
    if (hi > 0 && t > hi)
        t = hi;
    return t;
}

uint8_t firstEnabledSlot(uint32_t slots)
{
    for (uint8_t j = 0; j < slots && j < 3; j++)
        if (isPsuEnabled(j))
            return j;
    return 0;
}

void suppliesInService(Pass& p)
{
    VaskLoop& s = st();
    if (p.hpsCode == 3) {
        if (p.hpsNum == 3 && s.prevHpsNum == 2) {
            uint32_t target = getLastValidHpsVout() != 0 ? restoreTarget(0) : slotMin(0);
            applyPsuVout(0, target);
            VASK_DEBUG("HPS Vout: Restore %u [Target %i] for HPS Changed\n", getLastValidHpsVout(), static_cast<int>(target));
            s.voutAtMax = 0;
            setVapc(static_cast<int32_t>(getVoltageAPCLimit(3)));
            s.slowAlc = 1;
            p.hpsChanged = 1;
            setRfOutputEvent(0);
            LogicaTx_SetTxStatus(1);
        } else if (p.hpsNum == 2) {
            p.vapcMargin = 700;
            p.drvLevel = 663;
            if (s.prevHpsNum == 3) {
                setRfOutputEvent(0);
                LogicaTx_SetTxStatus(1);
                if (p.driverPower < kSplitPower) {
                    p.vmax = 40000;
                    setVapc(static_cast<int32_t>(getVoltageAPCLimit(2)));
                } else {
                    p.idx = firstEnabledSlot(p.slots);
                    p.vmax = slotMax(p.idx);
                    applyPsuVout(p.idx, p.vmax);
                    setVapc(p.driverPower >= 670 ? 1100 : p.driverPower >= 660 ? 1000 : 900);
                }
            }
            if ((p.driverPower < kSplitPower) != (s.lastDriverPower < kSplitPower)) {
                s.voutAtMax = 0;
                setVapc(static_cast<int32_t>(getVoltageAPCLimit(2)));
                VASK_DEBUG("RESET SUP_ALC/V_APC\n");
            }
        } else if (p.hpsNum == 1) {
            p.vapcMargin = 1000;
            p.drvLevel = 600;
            p.idx = firstEnabledSlot(p.slots);
            p.vmax = slotMax(p.idx);
        }
        if (p.driverPower > p.drvLevel)
            p.drvOffset = p.driverPower - p.drvLevel;
    }
    if (p.hpsCode == 1 && p.hpsNum != p.slots) {
        p.suppress = true;
        p.hpsChanged = 1;
    }
}

bool anyShutDown(const Pass& p)
{
    for (uint8_t j = 0; j < p.slots && j < 3; j++)
        if (isPsuEnabled(j) && getPsuShutdownFlag(j))
            return true;
    return false;
}

void resetLoop(Pass& p, bool shutDown)
{
    VaskLoop& s = st();
    long ms, frac;
    msecNow(&ms, &frac);
    VASK_DEBUG("[%li.%li msec] RESET ALC: AmpliMute %d | IntLck %d |OnStby %d | uCmute %d | FpgaMute %d | HpsNum %d "
               "[ShutDown %d]\n",
               ms, frac, getAlarmState(kAlarmLockoutInput), getAlarmState(kAlarmInterlock), p.on, p.ucMute,
               p.fpgaMute, p.hpsNum, shutDown ? 1 : 0);
    s.controlPeriodUs = kResetPeriodUs;
    s.txStatusPending = 1;
    s.bigStepArmed = 1;
    applyPsuVout(p.idx, p.hpsCode == 3 && p.hpsNum <= 1 ? p.vmax : slotMin(p.idx));
    if (getFwdPowerCalibrated() == 1)
        setRfLoopFlag(0);
    s.rfAlcStarted = 1;
    s.lowFwdCnt = 0;
    setVapc(static_cast<int32_t>(getVoltageAPCLimit(p.hpsNum)));
    s.voutAtMin = 0;
    s.voutAtMax = 0;
    s.fwdErr = kFirstFwdErr;
    s.prevFwdErr = 0;
    s.rflOkCnt = 0;
    s.slowAlc = 0;
    s.fastAlc = 0;
    s.startDelayCnt = 0;
    setSwrDerating(0);
    for (uint8_t j = 0; j < p.slots && j < 3; j++) {
        if (!isPsuPresent(j) || !getPsuShutdownFlag(j))
            continue;
        VASK_DEBUG("RESET HPS_%d\n", j + 1);
        printf("RESET HPS_%d\n", j + 1);
        setPsuOperationMode(j, 0);
        if (p.on == 1) {
            clockSleepUs(kRestartPauseUs);
            setPsuOperationMode(j, 1);
        }
        setPsuShutdownFlag(j, 0);
    }
    if (getLastValidHpsVout() != 0 && !hasSelectWriteBits(kSelectWriteNoRestore) && p.hpsNum == p.slots) {
        s.fastAlc = 1;
        s.bigStepArmed = 0;
        s.slowAlc = 1;
        cplSetVoutRestore();
        VASK_DEBUG("FAST ALC enabled\n");
    }
    setLastValidRestoreRequest(0);
    if (p.hpsCode == 1 && p.model == 4 && p.driverPower < 551) {
        s.voutAtMin = 1;
        setVapc(700);
    }
    s.powerLocked = 0;
    s.lockCnt = 0;
    setRfOutputEvent(0);
    // The output event gives the ALC back only when the locked state
    // changes: after a reset while already unlocked it would stay off.
    if (getRfOutputState() == 0)
        setRfLoopFlag(1);
}

void fastAlc(const Pass& p)
{
    VaskLoop& s = st();
    if (!cplVoutRestorePending() || !s.fastAlc || p.on != 1)
        return;
    uint32_t last = getLastValidHpsVout();
    if (last <= kFastAlcMinVout) {
        VASK_DEBUG("FAST ALC disabled for low Vout target\n");
        s.bigStepArmed = 1;
        s.fastAlc = 0;
        s.slowAlc = 0;
    } else {
        uint32_t target = restoreTarget(p.idx);
        applyPsuVout(p.idx, target);
        VASK_DEBUG("HPS Vout: Restore %u [Target %i]\n", last, static_cast<int>(target));
    }
    cplClearVoutRestore();
}

void adaptiveRfl()
{
    VaskLoop& s = st();
    if (!getSWRFoldback())
        return;
    setAdaptiveReflectedLimit(1);
    int32_t rfl = static_cast<int32_t>(getPowerTableWord(4));
    int32_t nomDrv = getHpaNomDrvPow();
    int32_t alarmThr = getTransmitterReflectedPowerAlarmThreshold();
    int32_t warnThr = getTransmitterReflectedPowerWarningThreshold();
    if (rfl > nomDrv - (alarmThr + 20)) {
        setAlarmInput(kAlarmSwrFoldback, 1);
        if (s.rfAlcStarted) {
            s.rfAlcStarted = 0;
            VASK_DEBUG("AdaptiveRFL: STOP RF ALC for maximum allowed RFL\n");
        }
        s.rflOkCnt = 0;
    } else if (rfl > nomDrv - warnThr) {
        setAlarmInput(kAlarmSwrFoldback, 1);
        if (!s.slowAlc) {
            s.slowAlc = 1;
            VASK_DEBUG("AdaptiveRFL: SLOW RF ALC for warning allowed RFL\n");
        }
        s.rflOkCnt = 0;
    } else {
        setAlarmInput(kAlarmSwrFoldback, 0);
        s.rflOkCnt++;
        if (s.rflOkCnt > 4) {
            s.slowAlc = 0;
            if (!s.rfAlcStarted) {
                s.rfAlcStarted = 1;
                VASK_DEBUG("AdaptiveRFL: START RF ALC\n");
            }
            s.rflOkCnt = 5;
        }
    }
    if (getAlarmInput(kAlarmSwrFoldback) == 0) {
        setSwrDerating(0);
    } else {
        int32_t d = getExciterNominalPower() - static_cast<int32_t>(getPowerTableWord(1));
        if (d > 0)
            setSwrDerating(d);
    }
}

int32_t roundedTenths(int32_t err, float scale)
{
    return static_cast<int32_t>(std::floor(static_cast<double>(err) * scale * 10.0 + 0.5));
}

// Target, error and the Vout step. Returns false when the pass ends here
// (one AlcBigStep was taken or refused).
bool targetAndStep(Pass& p)
{
    VaskLoop& s = st();
    int32_t nomDrv = getHpaNomDrvPow();
    double target = 0;
    if (p.scale != 0.0f)
        target = getHpaNomFwd() - ((nomDrv - p.driverPower - getPowerOffsetWord()) + p.drvOffset) /
                                      (static_cast<double>(p.scale) * 10.0);
    // A target below 0 is 0.
    p.targetFwd = target > 0 && std::isfinite(target) ? static_cast<uint32_t>(target) : 0;
    if (s.txStatusPending) {
        LogicaTx_SetTxStatus(1);
        s.txStatusPending = 0;
    }
    if (s.slowAlc) {
        p.kp = 0.2f;
        p.ki = 0.2f;
        p.maxStep = 500;
    }
    s.fwdErr = static_cast<int32_t>(p.targetFwd) - p.curFwd;
    p.e = roundedTenths(s.fwdErr, p.scale);
    p.ePrev = roundedTenths(s.prevFwdErr, p.scale);
    s.prevFwdErr = s.fwdErr;

    p.voutStep = 0;
    if (getRfLoopFlag() != 1 || !s.rfAlcStarted)
        return true;
    if (!s.bigStepArmed) {
        p.voutStep = static_cast<int32_t>(static_cast<float>(static_cast<int32_t>((p.kp + p.ki) * 100.0f * p.e)) -
                                          p.kp * 100.0f * p.ePrev);
        return true;
    }
    if (nomDrv - p.driverPower > 30) {
        s.bigStepArmed = 0;
        return true;
    }
    if (p.e > 30) {
        int32_t step = static_cast<int32_t>(getHPSVoutNom(p.idx)) - static_cast<int32_t>(slotMin(p.idx)) - 18000;
        if (step > 0) {
            uint32_t v = getPsuVoutSetpoint(p.idx) + static_cast<uint32_t>(step);
            if (v > p.vmax)
                v = p.vmax;
            applyPsuVout(p.idx, v);
            VASK_DEBUG("AlcBigStep -> VoutStep=%d - Vout %d\n", static_cast<int>(step), static_cast<int>(v));
        }
        s.prevFwdErr = 0;
    }
    s.bigStepArmed = 0;
    return false;
}

void lockTest(const Pass& p)
{
    VaskLoop& s = st();
    int32_t mag = std::abs(s.fwdErr);
    if (mag < p.lockBand) {
        s.powerLocked = 1;
        if (s.lockCnt < 255)
            s.lockCnt++;
        if (s.lockCnt == 5)
            setRfOutputEvent(1);
        if (s.prevPowerLockedState == 0 && getRfOutputState() == 1 && p.hpsNum == p.slots) {
            uint32_t sp = getPsuVoutSetpoint(p.idx);
            uint32_t last = getLastValidHpsVout();
            bool outside = sp + kSavedVoutBand < last || sp > last + kSavedVoutBand;
            if (last == 0 || outside) {
                setLastValidHpsVout(sp);
                VASK_DEBUG("Save Hps Vout %u [%s]\n", sp, outside ? "CHANGED" : "OK");
            }
        }
        VASK_DEBUG("PowerLocked %s at TargetFwd %lu\n", okNo(s.powerLocked), static_cast<unsigned long>(p.targetFwd));
    } else if (mag > p.unlockBand && s.powerLocked) {
        s.powerLocked = 0;
        s.lockCnt = 0;
        VASK_DEBUG("PowerLocked %s\n", okNo(s.powerLocked));
    }
}

void voutStep(Pass& p)
{
    VaskLoop& s = st();
    if (p.voutStep == 0 || s.voutAtMin || s.voutAtMax)
        return;
    int32_t step = p.voutStep;
    if (step > p.maxStep)
        step = p.maxStep;
    if (step < -p.maxStep)
        step = -p.maxStep;
    uint32_t sp = getPsuVoutSetpoint(p.idx);
    uint32_t lo = slotMin(p.idx);
    int64_t n = static_cast<int64_t>(sp) + step;
    if (n < 0)
        n = lo;
    if (p.hpsNum == 1 && p.hpsCode == 3)
        n = static_cast<int64_t>(p.vmax) + 1; // Vout stays at Vmax, VAPC controls
    if (n > static_cast<int64_t>(p.vmax)) {
        if (sp != p.vmax)
            applyPsuVout(p.idx, p.vmax);
        p.e = 0;
        p.ePrev = 0;
        s.voutAtMax = 1;
    } else if (n <= static_cast<int64_t>(lo)) {
        s.voutAtMin = 1;
        p.e = 0;
        p.ePrev = 0;
        applyPsuVout(p.idx, lo);
    } else {
        applyPsuVout(p.idx, static_cast<uint32_t>(n));
    }
}

int32_t largestCurrent(const Pass& p)
{
    int32_t iout = 0;
    for (uint8_t j = 0; j < p.slots && j < 3; j++)
        if (isPsuEnabled(j) && getPsuIoutMeasured(j) > iout)
            iout = getPsuIoutMeasured(j);
    return iout;
}

void vapcStep(Pass& p)
{
    VaskLoop& s = st();
    if (getRfLoopFlag() != 1 || !s.rfAlcStarted)
        return;
    int32_t limit = static_cast<int32_t>(getVoltageAPCLimit(p.hpsNum));
    int32_t maxVapc = static_cast<int32_t>(getMaxVoltageAPC());
    if (s.voutAtMin) {
        if (s.vapcNow > limit || p.hpsNum == 0) {
            setVapc(limit);
            s.voutAtMin = 0;
            return;
        }
        int32_t step = static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(0.4f * 10.0f * p.e)) -
                                            0.2f * 10.0f * p.ePrev);
        int32_t cap = std::abs(p.e) < 3 ? 5 : 100;
        if (step > cap)
            step = cap;
        int32_t v = s.vapcNow + step;
        setVapc(v < maxVapc ? v : maxVapc);
    } else if (s.voutAtMax) {
        if (s.vapcNow < limit || p.hpsNum == 0) {
            setVapc(limit);
            s.voutAtMax = 0;
            return;
        }
        float kp = 0.2f, ki = 0.2f;
        int32_t imax = p.imax;
        if (p.hpsNum == 1 && p.hpsCode == 3) {
            ki = 0.07f;
            kp = 0.05f;
            imax = 65000;
        }
        int32_t step = static_cast<int32_t>(static_cast<float>(static_cast<int32_t>((kp + ki) * 10.0f * p.e)) -
                                            kp * 10.0f * p.ePrev);
        int32_t iout = largestCurrent(p);
        if (iout > imax) {
            VASK_DEBUG("Iout=70: VapcStep %d\n", -3);
            setVapc(s.vapcNow - 3);
            return;
        }
        int32_t lim = vaskVapcStepLimit(iout, p.hpsNum, imax);
        if (step > lim)
            step = lim;
        if (step < -lim)
            step = -lim;
        int32_t top = limit + p.vapcMargin < maxVapc ? limit + p.vapcMargin : maxVapc;
        if (s.vapcNow + step > limit + p.vapcMargin) {
            if (s.vapcNow != top)
                setVapc(top);
        } else {
            VASK_DEBUG("Iout<67: VapcStep %d\n", static_cast<int>(step));
            int32_t v = s.vapcNow + step;
            setVapc(v < maxVapc ? v : maxVapc);
        }
    }
}

void controlStep(Pass& p)
{
    VaskLoop& s = st();
    lockTest(p);
    if (s.powerLocked)
        return;
    uint32_t sp = getPsuVoutSetpoint(p.idx);
    if (p.curFwd < kLowFwdCounts && sp > kLowFwdVout) {
        s.lowFwdCnt++;
        if (s.lowFwdCnt > 3) {
            VASK_DEBUG("Low power detected - Reset ALC\n");
            applyPsuVout(p.idx, slotMin(p.idx));
            s.lowFwdCnt = 0;
        }
    }
    voutStep(p);
    vapcStep(p);
}

} // namespace

int32_t vaskVapcStepLimit(int32_t ioutMa, uint8_t hpsNum, int32_t imax)
{
    if (hpsNum == 1)
        return 10;
    for (const CurrentRow& r : kCurrentLimits)
        if (ioutMa < r.below)
            return r.limit;
    (void)imax; // 0 from the last bound up to imax; above it the caller backs off
    return 0;
}

uint8_t getVaskPowerLocked()
{
    return st().powerLocked;
}

int32_t getVaskVapcNow()
{
    return st().vapcNow;
}

int RFControlLoop_VASK(uint32_t, uint32_t)
{
    VaskLoop& s = st();
    if (!s.vapcKnown) {
        s.vapcNow = static_cast<int32_t>(getVoltageAPC());
        s.vapcKnown = true;
    }
    Pass p{};
    p.model = getHpaModelCode();
    p.hpsCode = getHpsCode();
    p.slots = getPsuCount();
    p.scale = 0.0f;
    p.lockBand = 26;
    p.unlockBand = 42;
    for (const ModelRow& r : kModels)
        if (r.model == p.model) {
            p.scale = r.scale;
            p.lockBand = r.lockBand;
            p.unlockBand = r.unlockBand;
        }
    p.kp = 0.7f;
    p.ki = 1.0f;
    p.maxStep = 6000;
    p.vapcMargin = 300;
    p.imax = 68000;
    p.drvLevel = getHpaDriverLevel();
    p.drvOffset = 0;
    p.vmax = slotMax(0);
    p.idx = 0;
    p.on = getTxOnState();
    p.ucMute = rfMuteState.load();
    p.fpgaMute = getFpgaMute();
    p.driverPower = getDriverPower();

    // 1. Signal lines and lockout, the supply shelf, temperature and fans.
    HpaSignalInterfaceMeasure();
    if (getPsuInterface(0) == 0)
        CPL_Task();
    HpaTemperatureMeasure();
    SystemFanControl();

    // 2. Supplies in service.
    p.hpsNum = getPsuAvailableCount();
    suppliesInService(p);
    bool shutDown = anyShutDown(p);

    // 3. A new driver power: lock and thresholds again.
    if (p.driverPower != s.lastDriverPower) {
        s.thresholdsDone = 0;
        s.powerLocked = 0;
        s.lockCnt = 0;
    }
    s.lastDriverPower = p.driverPower;

    // 4. Reset.
    if ((p.on == 0 && s.prevOnState == 1) || (p.ucMute == 1 && s.prevUcMute == 0) || p.fpgaMute != 0 ||
        getLastValidRestoreRequest() == 1 || (p.hpsNum != s.prevHpsNum && p.hpsNum == 1) || shutDown ||
        getAlarmState(kAlarmLockoutInput) == 1 || getAlarmState(kAlarmInterlock) == 1)
        resetLoop(p, shutDown);

    // 5. FAST ALC: the last valid voltage back after a reset.
    fastAlc(p);

    // 6.
    s.prevOnState = p.on;
    s.prevUcMute = p.ucMute;
    s.prevHpsNum = p.hpsNum;

    // 7. AdaptiveRFL.
    adaptiveRfl();

    // 8. Start delay.
    if (((p.hpsNum == 1 && p.hpsCode == 3) || s.fastAlc) && p.on == 1) {
        s.startDelayCnt++;
        if (s.startDelayCnt <= kStartDelayPasses) {
            long ms, frac;
            msecNow(&ms, &frac);
            VASK_DEBUG("[%li.%li msec] ALC_StartDelayCnt %d\n", ms, frac, s.startDelayCnt);
            return 0;
        }
        s.startDelayCnt = kStartDelayPasses;
    }

    // 9.
    HpaPowerMeasure(s.powerLocked, p.hpsChanged);

    // 10. The control period.
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.stamp, &now) >= s.controlPeriodUs) {
        long ms, frac;
        msecNow(&ms, &frac);
        VASK_DEBUG("[%li.%li msec] ALC\n", ms, frac);
        p.curFwd = static_cast<int32_t>(getPowerTableWord(11));
        if (getHpaByteP() == 1 && getFwdPowerCalibrated() == 1 && p.curFwd != 0 && p.ucMute == 0 &&
            p.fpgaMute == 0 && getAlarmState(kAlarmInterlock) == 0 && getAlarmState(kAlarmLockoutInput) == 0 &&
            p.on == 1 && !p.suppress) {
            if (!targetAndStep(p)) {
                s.prevPowerLockedState = getRfOutputState();
                return 0; // one AlcBigStep: the next pass steps again
            }
            controlStep(p);
        }
        // 14.
        if (s.thresholdsDone == 0 && getRfLoopFlag() == 1 && s.powerLocked) {
            calcOverPowerThreshold_VASK();
            calcRefPowerThreshold_VASK();
            s.thresholdsDone = 1;
        }
        uint32_t sp = getPsuVoutSetpoint(p.idx);
        VASK_DEBUG("[%li.%li msec] TargetFwd %lu [L %d|%d]-CurFwd %d [S %d][%.1f]-FwdErr %d [%d ddB]->Vout: %.3f "
                   "[Step %.3f | MaxStep %.3f] | Vapc: %.3f [Step %.3f][U:%d D:%d] | Iout: %.1f\n",
                   ms, frac, static_cast<unsigned long>(p.targetFwd), static_cast<int>(p.lockBand),
                   static_cast<int>(s.lockCnt), static_cast<int>(p.curFwd), static_cast<int>(getFwdMeasStable()),
                   static_cast<double>(p.scale), static_cast<int>(s.fwdErr), static_cast<int>(p.e), sp / 1000.0,
                   p.voutStep / 1000.0, p.maxStep / 1000.0, s.vapcNow / 1000.0, 0.0, s.voutAtMax, s.voutAtMin,
                   largestCurrent(p) / 1000.0);
        s.stamp = now;
    }
    // 15.
    s.prevPowerLockedState = getRfOutputState();
    return 0;
}

void rfLoopVaskResetForTest()
{
    st() = VaskLoop{};
}
