// Fan control of the amplifier. The expander variants pick one of three fan
// speed modes from temperature bands; the fan controller variants set a PWM
// duty (or leave the controller in its automatic mode) and count stopped
// fans on the tachometers. Each variant keeps its own state.
#include "power/fanControl.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "hw/adt7470.h"
#include "hw/ioExpanders.h"

#include <algorithm>

#define FAN_DEBUG(func, ...) debugPrintf(func, DBG_FAN_SYSTEM, DBG_FAN_SYSTEM, __VA_ARGS__)

namespace {

constexpr uint8_t kAlarmCriticalTempAmpli = 122;
constexpr uint8_t kAlarmTempAmpli = 123;
constexpr uint8_t kAlarmTempAmpliWarning = 124;
constexpr uint8_t kAlarmFansOff = 125;
constexpr uint8_t kAlarmAmpliFan = 126;
constexpr uint8_t kAlarmAmpliFanWarning = 127;
constexpr uint32_t kSelectWriteFanAuto = 0x80000;

constexpr uint32_t kWordAmpliTemp = 7;
constexpr uint32_t kWordBoardTemp = 9;
constexpr uint32_t kWordReflected = 4;
constexpr uint32_t kWordFanRpm = 23; // 23..25
constexpr uint32_t kWordFanDuty = 27;

constexpr uint32_t kMaxWatchedFans = 3;
constexpr uint32_t kStoppedFanRpm = 500;
constexpr uint8_t kCountLimit = 254;

enum FanSpeedMode : uint8_t { FAN_OFF = 0, FAN_AUTO = 1, FAN_MAX = 2, FAN_PWM_SIM = 3, FAN_UNSET = 0xFF };

const char* modeName(uint8_t m)
{
    return m == FAN_MAX ? "MAX" : m == FAN_AUTO ? "AUTO" : "OFF";
}

// The start every variant shares: the first pass after switching the
// transmitter ON does nothing, and the body runs once per whole second.
struct Pacing {
    uint8_t seen = 0;
    uint8_t lastOn = 0;
    struct timespec stamp {};
};

// 1 when the ON state allows the pass (the pass after an OFF to ON change
// does not).
bool onStateAllows(Pacing& p)
{
    uint8_t on = getTxOnState();
    if (!p.seen) {
        p.seen = 1;
        p.lastOn = on;
        return true;
    }
    bool justOn = on == 1 && p.lastOn == 0;
    p.lastOn = on;
    return !justOn;
}

bool secondsDue(Pacing& p, long minSeconds)
{
    struct timespec now = getMonoTimeNow();
    if (now.tv_sec - p.stamp.tv_sec < minSeconds)
        return false;
    p.stamp = now;
    return true;
}

int32_t tableWord(uint32_t i)
{
    return static_cast<int32_t>(getPowerTableWord(i));
}

// One temperature band of the expander variants.
struct Band {
    int32_t low, high, margin;
    uint8_t mode;
};

// The bands from the hottest down; the first that holds the temperature
// gives the mode and clears the state bytes of the others. No band keeps
// the mode as it was.
uint8_t modeFromBands(const Band* bands, uint8_t* state, int32_t temp, uint8_t current)
{
    for (int i = 0; i < 3; i++) {
        if (checkWindowHyst(temp, bands[i].low, bands[i].high, bands[i].margin, &state[i]) == 1) {
            for (int j = 0; j < 3; j++)
                if (j != i)
                    state[j] = 0;
            return bands[i].mode;
        }
    }
    return current;
}

uint8_t bump(uint8_t c)
{
    return c < kCountLimit ? static_cast<uint8_t>(c + 1) : c;
}

// State of one expander variant.
struct ExpFan {
    Pacing pacing;
    uint8_t bandState[3] = {};
    uint8_t mode = FAN_UNSET;
    uint8_t onCnt = 0;
    uint8_t offCnt = 0;
};

// What differs between the expander variants with the common fault law.
struct ExpVariant {
    const char* name;
    uint8_t address;     // expander driving the fans
    uint8_t setMax;      // bits of the MAX mode
    uint8_t setLow;      // bits of the OFF / low mode
    uint8_t faultBit;    // input bit of the fault line
    Band bands[3];
    bool maxTempOfBoard; // models 2 and 5: the board temperature counts too
    bool faultNeeds40;   // models 2 and 5: faults count from 40 degrees
    bool writeAlways;    // model 1: the mode is written on every run
    uint8_t raiseAt;     // faulty runs that raise the alarm
    bool almWording;     // model 5 words its fault line with alm_on_cnt
    bool pcaInLine;      // model 1 adds the expander byte to its lines
};

const ExpVariant kIf2 = {"SystemFanControl_IF2", EXP_CAT9534_HPA, 0x40, 0x04, 0x80,
                         {{55, 120, 5, FAN_MAX}, {42, 55, 2, FAN_AUTO}, {15, 42, 2, FAN_OFF}},
                         false, false, true, 6, false, true};
const ExpVariant kIf3 = {"SystemFanControl_IF3", EXP_AMP_0x23, 0x01, 0x02, 0x04,
                         {{55, 120, 5, FAN_MAX}, {42, 55, 2, FAN_AUTO}, {15, 42, 2, FAN_OFF}},
                         true, true, false, 6, false, false};
const ExpVariant kIf6 = {"SystemFanControl_IF6", EXP_AMP_0x23, 0x01, 0x02, 0x04,
                         {{55, 120, 5, FAN_MAX}, {40, 55, 2, FAN_AUTO}, {15, 40, 2, FAN_OFF}},
                         true, true, false, 6, true, false};

// Model 4.
struct If5Fan {
    ExpFan exp;
    uint8_t pwmSim = 0;
    struct timespec simStamp {};
    uint32_t simPeriodUs = 200000;
};

// State of the fan controller variants.
struct AdtFan {
    Pacing pacing;
    uint8_t bandState[5] = {};
    uint8_t oneCnt = 0;
    uint8_t manyCnt = 0;
    uint8_t okCnt = 0;
    uint8_t lastManual = 0;
    uint8_t lastSelectAuto = 0;
};

struct FanState {
    ExpFan if2, if3, if6;
    If5Fan if5;
    AdtFan man, autoFan;
};

FanState& st()
{
    static FanState s;
    return s;
}

uint8_t applyMode(uint8_t reg, uint8_t mode, uint8_t setMax, uint8_t setLow)
{
    reg = static_cast<uint8_t>(reg & ~(setMax | setLow));
    if (mode == FAN_MAX)
        reg |= setMax;
    else if (mode == FAN_OFF)
        reg |= setLow;
    return reg;
}

// Mode choice, mode write and fault count of models 1, 2 and 5.
void runExpanderVariant(ExpFan& f, const ExpVariant& v)
{
    if (!onStateAllows(f.pacing) || !secondsDue(f.pacing, 1))
        return;
    int32_t ampTemp = tableWord(kWordAmpliTemp);
    int32_t maxTemp = ampTemp;
    if (v.maxTempOfBoard) {
        int32_t board = tableWord(kWordBoardTemp);
        maxTemp = std::max({ampTemp, board > 59 ? board - 10 : 0, 0});
    }
    uint8_t mode = modeFromBands(v.bands, f.bandState, maxTemp, f.mode);
    uint8_t changed = mode != f.mode;
    f.mode = mode;
    FAN_DEBUG(v.name, "MaxTemp=%d --> FanSpeedMode %s [FanSpeedChanged %d]\n\n", maxTemp, modeName(mode), changed);

    if (getFanAlarmInhibit()) {
        setAlarmState(kAlarmAmpliFanWarning, 0);
        f.onCnt = 0;
        f.offCnt = 0;
        return;
    }
    uint8_t out = 0;
    if (pca9655Read(&out, CAT9534_OUT, v.address) < 0)
        return;
    if (v.writeAlways || changed)
        ioExpWrite(applyMode(out, mode, v.setMax, v.setLow), CAT9534_OUT, v.address);
    uint8_t in = 0;
    if (pca9655Read(&in, CAT9534_IN, v.address) < 0)
        return;

    bool running = mode == FAN_MAX || mode == FAN_AUTO;
    bool fault = (in & v.faultBit) && running && (!v.faultNeeds40 || ampTemp >= 40);
    int fanAuto = mode == FAN_AUTO, fanMax = mode == FAN_MAX;
    if (fault) {
        f.onCnt = bump(f.onCnt);
        if (v.pcaInLine)
            FAN_DEBUG(v.name, "WRN->Temp=%d, wrn_on_cnt=%d [Fan Auto=%d|Fan Max=%d][PCA 0x%X]\n\n", maxTemp, f.onCnt,
                      fanAuto, fanMax, in);
        else if (v.almWording)
            FAN_DEBUG(v.name, "WRN->Temp=%d, alm_on_cnt=%d [Fan Auto=%d|Fan Max=%d]\n\n", maxTemp, f.onCnt, fanAuto,
                      fanMax);
        else
            FAN_DEBUG(v.name, "WRN->Temp=%d, wrn_on_cnt=%d [Fan Auto=%d|Fan Max=%d]\n\n", maxTemp, f.onCnt, fanAuto,
                      fanMax);
        if (f.onCnt >= v.raiseAt) {
            setAlarmState(kAlarmAmpliFanWarning, 1);
            f.offCnt = 0;
        }
    } else {
        f.offCnt = bump(f.offCnt);
        if (v.pcaInLine)
            FAN_DEBUG(v.name, "NO_WRN->Temp=%d, wrn_off_cnt=%d [Fan Auto=%d|Fan Max=%d][PCA 0x%X]\n\n", maxTemp,
                      f.offCnt, fanAuto, fanMax, in);
        else
            FAN_DEBUG(v.name, "NO_WRN->Temp=%d, wrn_off_cnt=%d [Fan Auto=%d|Fan Max=%d]\n\n", maxTemp, f.offCnt,
                      fanAuto, fanMax);
        if (f.offCnt > 2) {
            setAlarmState(kAlarmAmpliFanWarning, 0);
            f.onCnt = 0;
        }
    }
}

// Fans stopped (below 500 RPM) counted over three runs: one raises the
// warning, two or more the alarm, none clears both.
void countStoppedFans(AdtFan& f, const uint32_t* rpm, uint32_t fans)
{
    uint32_t stopped = 0;
    for (uint32_t i = 0; i < fans; i++)
        if (rpm[i] < kStoppedFanRpm)
            stopped++;
    uint8_t* cnt = stopped == 0 ? &f.okCnt : stopped == 1 ? &f.oneCnt : &f.manyCnt;
    *cnt = bump(*cnt);
    if (*cnt < 3)
        return;
    if (stopped == 0) {
        setAlarmState(kAlarmAmpliFan, 0);
        setAlarmState(kAlarmAmpliFanWarning, 0);
    } else if (stopped == 1) {
        setAlarmState(kAlarmAmpliFanWarning, 1);
        setAlarmState(kAlarmAmpliFan, 0);
    } else {
        setAlarmState(kAlarmAmpliFan, 1);
        setAlarmState(kAlarmAmpliFanWarning, 0);
    }
    f.okCnt = f.oneCnt = f.manyCnt = 0;
}

uint32_t readFans(const char* func, uint32_t* rpm)
{
    uint32_t fans = std::min<uint32_t>(getNumFan(), kMaxWatchedFans);
    for (uint32_t i = 0; i < fans; i++) {
        rpm[i] = adt7470ReadFanRpm(static_cast<int>(i));
        setHpaMeasureWord(kWordFanRpm + i, rpm[i]);
        FAN_DEBUG(func, "TachMeasuresRPM: FAN_%d=%d RPM\n", static_cast<int>(i + 1), static_cast<int>(rpm[i]));
    }
    return fans;
}

// Model 4 in stand-by with a cool amplifier: the board temperature decides,
// and from 40 to 65 degrees the fans are pulsed by the PWM simulation.
int32_t if5StandbyTemperature(If5Fan& f, int32_t ampTemp)
{
    bool cool = ampTemp < 35 || (ampTemp < 39 && f.exp.mode != FAN_AUTO);
    uint8_t wasOn = f.pwmSim;
    int32_t maxTemp = ampTemp;
    if (getTxOnState() != 0 || !cool) {
        // Out of the stand-by simulation the bands take over again.
        f.pwmSim = 0;
        return ampTemp;
    }
    int32_t board = tableWord(kWordBoardTemp);
    f.pwmSim = board >= 40 && board <= 65;
    if (board >= 40)
        maxTemp = board;
    if (f.pwmSim) {
        f.exp.mode = FAN_PWM_SIM;
        if (!wasOn) {
            f.simStamp = getMonoTimeNow();
            f.simPeriodUs = 200000;
        }
    }
    debugPrintf("SystemFanControl_IF5", DBG_FAN_SYSTEM, DBG_FAN_SYSTEM,
                "STBY MODE: MaxTemp=%d --> PWM_SIM %s [HPA=%d | BOARD=%d]\n", maxTemp, f.pwmSim ? "ON" : "OFF",
                ampTemp, board);
    return maxTemp;
}

void if5PwmStep(If5Fan& f)
{
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&f.simStamp, &now) < f.simPeriodUs)
        return;
    uint8_t out = 0;
    if (pca9655Read(&out, CAT9534_OUT, EXP_PCA9654_ALM) >= 0) {
        out = static_cast<uint8_t>((out ^ 0x80) & ~0x40);
        ioExpWrite(out, CAT9534_OUT, EXP_PCA9654_ALM);
        // Fans on for 60 ms out of every 200 ms.
        f.simPeriodUs = (out & 0x80) ? 60000 : 140000;
    }
    f.simStamp = now;
    setAlarmState(kAlarmAmpliFan, 0);
}

} // namespace

void SystemFanControl()
{
    switch (getHpaModelCode()) {
    case 1: SystemFanControl_IF2(); break;
    case 2: SystemFanControl_IF3(); break;
    case 3: SystemFanControl_AUTO(); break;
    case 4: SystemFanControl_IF5(); break;
    case 5: SystemFanControl_IF6(); break;
    default: SystemFanControl_MAN(); break;
    }
}

void SystemFanControl_IF2()
{
    runExpanderVariant(st().if2, kIf2);
}

void SystemFanControl_IF3()
{
    runExpanderVariant(st().if3, kIf3);
}

void SystemFanControl_IF6()
{
    runExpanderVariant(st().if6, kIf6);
}

void SystemFanControl_IF5()
{
    static const Band kBands[3] = {{55, 250, 5, FAN_MAX}, {38, 55, 3, FAN_AUTO}, {15, 38, 3, FAN_OFF}};
    If5Fan& f = st().if5;
    if (!onStateAllows(f.exp.pacing))
        return;
    int32_t ampTemp = tableWord(kWordAmpliTemp);
    int32_t maxTemp = if5StandbyTemperature(f, ampTemp);
    if (tableWord(kWordReflected) > 470) {
        f.pwmSim = 0;
        f.exp.mode = FAN_MAX;
    }
    if (f.pwmSim) {
        if5PwmStep(f);
        return;
    }
    if (!secondsDue(f.exp.pacing, 1))
        return;

    uint8_t mode = f.exp.mode == FAN_PWM_SIM ? static_cast<uint8_t>(FAN_UNSET) : f.exp.mode;
    mode = modeFromBands(kBands, f.exp.bandState, maxTemp, mode);
    if (mode == FAN_UNSET)
        mode = FAN_AUTO;
    uint8_t changed = mode != f.exp.mode;
    f.exp.mode = mode;
    FAN_DEBUG("SystemFanControl_IF5", "MaxTemp=%d --> FanSpeedMode %s [FanSpeedChanged %d]\n\n", maxTemp,
              modeName(mode), changed);

    if (getFanAlarmInhibit()) {
        setAlarmState(kAlarmAmpliFan, 0);
        f.exp.onCnt = 0;
        f.exp.offCnt = 0;
        return;
    }
    uint8_t out = 0;
    if (pca9655Read(&out, CAT9534_OUT, EXP_PCA9654_ALM) < 0)
        return;
    if (changed)
        ioExpWrite(applyMode(out, mode, 0x80, 0x40), CAT9534_OUT, EXP_PCA9654_ALM);
    uint8_t in = 0;
    if (pca9655Read(&in, CAT9534_IN, EXP_CAT9534_HPA) < 0)
        return;
    bool running = mode == FAN_MAX || mode == FAN_AUTO;
    if ((in & 0x10) && running) {
        f.exp.onCnt = bump(f.exp.onCnt);
        FAN_DEBUG("SystemFanControl_IF5", "ALM->Temp=%d, alm_on_cnt=%d\n", maxTemp, f.exp.onCnt);
        if (f.exp.onCnt > 5) {
            setAlarmState(kAlarmAmpliFan, 1);
            f.exp.offCnt = 0;
        }
    } else {
        f.exp.offCnt = bump(f.exp.offCnt);
        FAN_DEBUG("SystemFanControl_IF5", "NO_ALM->Temp=%d, alm_on_cnt=%d\n", maxTemp, f.exp.onCnt);
        if (f.exp.offCnt > 2) {
            setAlarmState(kAlarmAmpliFan, 0);
            f.exp.onCnt = 0;
        }
    }
}

void SystemFanControl_MAN()
{
    AdtFan& f = st().man;
    if (!onStateAllows(f.pacing) || !secondsDue(f.pacing, 1))
        return;
    static const struct {
        int32_t low, high;
        uint8_t duty;
    } kBands[5] = {{65, 120, 100}, {60, 65, 90}, {55, 60, 80}, {50, 55, 70}, {45, 50, 60}};
    int32_t temp = tableWord(kWordAmpliTemp);
    uint8_t duty = getTxOnState() ? 50 : 30;
    for (int i = 0; i < 5; i++) {
        if (checkWindowHyst(temp, kBands[i].low, kBands[i].high, 2, &f.bandState[i]) == 1) {
            for (int j = 0; j < 5; j++)
                if (j != i)
                    f.bandState[j] = 0;
            duty = kBands[i].duty;
            break;
        }
    }
    if (getAlarmState(kAlarmTempAmpli) == 1 || getAlarmState(kAlarmCriticalTempAmpli) == 1 ||
        getAlarmState(kAlarmTempAmpliWarning) == 1)
        duty = 100;
    if (getFanManualLevel() != 0)
        duty = getFanManualLevel();

    bool fansOff = getAlarmState(kAlarmFansOff) == 1;
    adt7470SetPwmPercent(fansOff ? 0 : duty);
    if (fansOff) {
        setAlarmState(kAlarmAmpliFan, 0);
        setAlarmState(kAlarmAmpliFanWarning, 0);
        f.oneCnt = f.manyCnt = f.okCnt = 0;
    }
    uint32_t rpm[kMaxWatchedFans] = {};
    uint32_t fans = readFans("SystemFanControl_MAN", rpm);
    if (!fansOff && duty > 29)
        countStoppedFans(f, rpm, fans);
}

void SystemFanControl_AUTO()
{
    AdtFan& f = st().autoFan;
    if (!onStateAllows(f.pacing) || !secondsDue(f.pacing, 2))
        return;
    uint32_t rpm[kMaxWatchedFans] = {};
    uint32_t fans = readFans("SystemFanControl_AUTO", rpm);
    uint8_t duty = 0;
    adt7470GetPwmPercent(0, &duty);
    setHpaMeasureWord(kWordFanDuty, duty);
    FAN_DEBUG("SystemFanControl_AUTO", "FAN PWMs: PWM_1=%d%% [equiv. %d RPM]\n", duty, duty * 115);

    uint8_t manual = getFanManualLevel();
    uint8_t selectAuto = hasSelectWriteBits(kSelectWriteFanAuto) ? 1 : 0;
    if (manual != f.lastManual) {
        if (f.lastManual == 0)
            adt7470ConfigDefault();
        else if (manual == 0)
            adt7470ConfigAuto();
        if (manual != 0)
            adt7470SetPwmPercent(manual);
    } else if (selectAuto != f.lastSelectAuto) {
        adt7470ConfigAuto();
    }
    f.lastManual = manual;
    f.lastSelectAuto = selectAuto;
    if (duty > 29)
        countStoppedFans(f, rpm, fans);
}

void fanControlResetForTest()
{
    st() = FanState{};
}
