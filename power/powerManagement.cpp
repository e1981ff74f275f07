// Power management: the runtime power record of communication table 6 (from
// the amplifier's power table, or from the external amplifier or RF
// detector when several amplifiers make the transmitter), the derating of
// the driver power target (exciter mode, temperature, programmed window,
// SWR), and the low-power and reflected-power alarms and warnings with their
// hysteresis, event bits and event lines.
//
// The step runs in "Ltx Thread"; the record, the derating in force and the
// published flags are read from other threads, so they are atomic words.
#include "power/powerManagement.h"

#include "Config/eventBitmaps.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/utils.h"
#include "links/rfDetector.h"
#include "platform/clock.h"
#include "power/ampFm.h"

#include <atomic>
#include <cstdint>
#include <ctime>

namespace {

constexpr uint32_t kElements = 19;
constexpr uint32_t kTable6Section = 6;
constexpr uint32_t kBoardTempElement = 13; // the logic's own cell of table 6
constexpr uint8_t kAlarmSwr = 129;         // raw: the second family's adaptive reflected limiting
constexpr uint8_t kAlarmReflectedLatch = 47;
constexpr uint16_t kEvLowWarning = 6, kEvLowAlarm = 7, kEvReflWarning = 8, kEvReflAlarm = 9,
                   kEvLowAlarmInternal = 10, kEvDerating = 11;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int kTemperaturePasses = 10;

struct State {
    std::atomic<int32_t> element[kElements + 1] = {};
    std::atomic<uint32_t> deratingInForce{0};
    std::atomic<uint8_t> lowAlarm{0}, lowWarning{0}, reflAlarm{0}, reflWarning{0};
    std::atomic<uint8_t> releaseRequest{0};
    // Internal states and the last logged values (task only).
    uint8_t lowAlarmInt = 0, lowWarningInt = 0, reflAlarmInt = 0, reflWarningInt = 0;
    uint8_t logged[4] = {};
    uint8_t loggedLowAlarmInt = 0;
    uint8_t deratingActive = 0;
    uint8_t deratingBit = 0xFF; // the event bit as last written (0xFF: not yet)
    uint8_t tempOver = 0, tempUnder = 0;
    uint8_t dayBit = 0, dayChanged = 0, windowActive = 0;
};

State& st()
{
    static State s;
    return s;
}

int32_t el(uint32_t n)
{
    return st().element[n].load(std::memory_order_relaxed);
}

void setEl(uint32_t n, int32_t v)
{
    st().element[n].store(v, std::memory_order_relaxed);
}

int32_t saturate(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < 0)
        return 0;
    return static_cast<int32_t>(v);
}

void setEventAndDelayed(uint8_t on, uint16_t bit)
{
    setEventBit(on, bit);
    setStatusBitA(on, bit);
}

void deratingLine(const char* what, int32_t derating)
{
    double power = (getTransmitterNominalPower() - derating) / 10.0;
    logEvent("TX Power: %.1f dBm <--- %s\n", power, what);
}

// ---- transmitter values ----

void clearSide(uint32_t first)
{
    setEl(first, 0);
    setEl(first + 1, 0);
    setEl(first + 2, 0);
}

// One side (forward: elements 1..3, reflected: 4..6) from the external
// amplifier's reading r, in units of the reference power.
void fromExternalAmplifier(uint32_t first, uint32_t r)
{
    if (r == kAllOnes || r == 0) {
        clearSide(first);
        return;
    }
    // r x reference x 100 overflows 32 bits for ordinary amplifiers.
    int32_t linear = saturate(static_cast<int64_t>(r) * getExternalAmplifierReferencePower() * 100);
    uint32_t nominal = getTxNominalPowerLinear();
    setEl(first + 1, linear);
    setEl(first, convLinToLogIndex(static_cast<uint32_t>(linear)));
    setEl(first + 2, nominal == 0 ? 0 : saturate(static_cast<int64_t>(linear) * 100 / nominal));
}

// Element 8 (forward) or 9 (reflected) of table 3 of the first external
// amplifier; all ones when it was not read.
uint32_t externalAmplifierElement(uint32_t element)
{
    int32_t v = -1;
    if (AMP_FM_ReadElem(1, 3, element, &v) != 0)
        return kAllOnes;
    return static_cast<uint32_t>(v);
}

// One side from the RF detector's percentage of the nominal power.
void fromRfDetector(uint32_t first, uint32_t item)
{
    int32_t p = -1;
    RF_DETEC_Read(0, 3, item, &p);
    // No reading and no power alike: a level of 0 mW would read -10.0 dBm.
    if (p == -1 || p == 0) {
        clearSide(first);
        return;
    }
    int32_t linear = saturate(static_cast<int64_t>(static_cast<uint32_t>(p)) * getTxNominalPowerLinear() / 100);
    setEl(first + 2, p);
    setEl(first + 1, linear);
    setEl(first, convLinToLogIndex(static_cast<uint32_t>(linear)));
}

void supplyEfficiency()
{
    uint32_t cls = getHpaPowerClass();
    uint64_t sum = 0;
    if (cls == 20 || cls == 22) {
        for (uint32_t i = 0; i < 3; i++)
            sum += getPsuPowerOut(i);
    } else if (cls == 18 || cls == 19) {
        sum = getPsuPowerOut(0);
    } else {
        return;
    }
    int32_t forward = el(2);
    if (sum != 0)
        setEl(18, static_cast<int32_t>(static_cast<double>(forward) / static_cast<double>(sum) * 10.0 + 0.5) + 2);
    if (forward == 0)
        setEl(18, 0);
}

void gatherPowers(int32_t* word15)
{
    setEl(7, static_cast<int32_t>(getPowerTableWord(1)));
    setEl(8, static_cast<int32_t>(getPowerTableWord(2) / 10));
    setEl(9, static_cast<int32_t>(getPowerTableWord(3)));
    setEl(10, static_cast<int32_t>(getPowerTableWord(4)));
    setEl(11, static_cast<int32_t>(getPowerTableWord(5) / 10));
    setEl(12, static_cast<int32_t>(getPowerTableWord(6)));
    setEl(14, static_cast<int32_t>(getPowerTableWord(11)));
    setEl(15, static_cast<int32_t>(getPowerTableWord(13)));
    setEl(16, getFwdMeasFlagA());
    setEl(17, getFwdMeasFlagB());
    *word15 = static_cast<int32_t>(getPowerTableWord(15));

    if (getAmplifierNumber() == 0) {
        for (uint32_t n = 1; n <= 6; n++)
            setEl(n, el(n + 6));
        setEl(19, *word15);
        supplyEfficiency();
    } else if (getMultiAmplifierTransmitter() != 1) {
        fromExternalAmplifier(1, externalAmplifierElement(8));
        fromExternalAmplifier(4, externalAmplifierElement(9));
    } else {
        fromRfDetector(1, 1);
        fromRfDetector(4, 2);
    }
}

// ---- derating ----

// The programmed window on the local time of the platform clock.
bool programmedWindow(bool enabled)
{
    State& s = st();
    time_t now = clockWallSeconds();
    struct tm t {};
    localtime_r(&now, &t);
    uint8_t d = static_cast<uint8_t>(1u << t.tm_wday);
    uint32_t m = static_cast<uint32_t>(t.tm_hour * 60 + t.tm_min);
    if (s.dayBit == 0)
        s.dayBit = d;
    else if (s.dayBit != d) {
        s.dayBit = d;
        s.dayChanged = 1;
    }
    if (!enabled) {
        s.windowActive = 0;
        return false;
    }
    uint32_t start = getPwrProgDeratingTimeStart();
    uint32_t stop = getPwrProgDeratingTimeStop();
    bool crosses = stop < start;
    if (getPwrProgDeratingDayWeek() & d) {
        if (m >= start || (crosses && m < stop))
            s.windowActive = 1;
    }
    if (m > stop) {
        // A window across midnight ends at its stop once the day has
        // changed, and in any case outside it (between stop and start): a
        // start inside the window after midnight has seen no change of day.
        bool outside = crosses && m < start;
        if (!crosses || s.dayChanged || outside) {
            s.windowActive = 0;
            s.dayChanged = 0;
        }
    }
    return s.windowActive != 0;
}

// Temperature derating: its active flag after this pass.
bool temperatureDerating(bool enabled)
{
    State& s = st();
    if (!enabled) {
        s.tempOver = s.tempUnder = 0;
        setTemperatureDeratingActive(0);
        return false;
    }
    int32_t t = static_cast<int32_t>(getPowerTableWord(7));
    int32_t limit = getPwrDeratingTemperature();
    if (t >= limit && s.tempOver < 255)
        s.tempOver++;
    else if (t < limit - 5 && s.tempUnder < 255)
        s.tempUnder++;
    bool active = getTemperatureDeratingActive() != 0;
    if (!active && s.tempOver >= kTemperaturePasses) {
        s.tempOver = s.tempUnder = 0;
        setTemperatureDeratingActive(1);
        active = true;
    } else if (active && s.tempUnder >= kTemperaturePasses) {
        s.tempOver = s.tempUnder = 0;
        setTemperatureDeratingActive(0);
        active = false;
    }
    return active;
}

void deratingDecision()
{
    State& s = st();
    bool swrInPlay = getAlarmInput(kAlarmSwr) == 1;
    int32_t swr = swrInPlay ? getSwrDerating() : 0;
    bool temp = temperatureDerating(getPwrDeratingEnable() == 1);
    int32_t tempAmount = 0;
    if (temp)
        tempAmount = getExciterMode() == 1 ? getDeratingOverride() : getPwrDeratingFactor();
    bool prog = programmedWindow(getPwrProgDeratingEnable() == 1);
    int32_t progAmount = prog ? getPwrProgDeratingFactor() : 0;

    int32_t d = 0;
    for (int32_t a : {swr, tempAmount, progAmount})
        d = a > d ? a : d;
    int32_t inForce = static_cast<int32_t>(s.deratingInForce.load());
    if (d == inForce)
        return;
    if (swr != 0 && inForce == 0) {
        double power = (getTransmitterNominalPower() - d) / 10.0;
        logEvent("TX Power: %.1f dBm <--- Derating SWR: %li.%li dB\n", power, static_cast<long>(swr / 10),
                 static_cast<long>(swr % 10));
    }
    s.deratingInForce = static_cast<uint32_t>(d);
    if (d >= 1) {
        s.deratingActive = 1;
        applyDeratedPower();
        if ((prog || temp) && !swrInPlay) {
            double power = (getTransmitterNominalPower() - d) / 10.0;
            logEvent("TX Power: %.1f dBm <--- Derating: %li.%li dB\n", power, static_cast<long>(d / 10),
                     static_cast<long>(d % 10));
        }
    } else {
        applyDeratedPower();
        s.deratingActive = 0;
        deratingLine("Derating OFF", 0);
    }
}

void deratingStep()
{
    State& s = st();
    uint16_t override = getDeratingOverride();
    if (override != 0) {
        s.deratingInForce = override;
        s.deratingActive = 1;
    } else if (getPwrDeratingEnable() != 1 && getPwrProgDeratingEnable() != 1 && getAdaptiveReflectedLimit() != 1) {
        temperatureDerating(false);
        programmedWindow(false);
        s.deratingInForce = 0;
        if (s.deratingActive) {
            s.deratingActive = 0;
            applyDeratedPower();
            deratingLine("Derating OFF", 0);
        }
    } else {
        deratingDecision();
    }
    if (s.deratingBit != s.deratingActive) {
        s.deratingBit = s.deratingActive;
        setEventAndDelayed(s.deratingActive, kEvDerating);
    }
}

// ---- alarms ----

void clearLowPower()
{
    State& s = st();
    s.lowAlarmInt = s.lowWarningInt = 0;
    s.lowAlarm = 0;
    s.lowWarning = 0;
}

void lowPowerStep()
{
    State& s = st();
    if (getTxOnState() == 1) {
        double p = el(1);
        int32_t nominal = getTransmitterNominalPower();
        int32_t inForce = static_cast<int32_t>(s.deratingInForce.load());
        double e = nominal - inForce;
        if (getTxLowPowerConsiderDerating() != 0) {
            int32_t swr = getSwrDerating();
            int32_t factor = getPwrDeratingFactor();
            int32_t extra = getTemperatureDeratingActive() != 0 && swr <= factor ? factor : swr;
            e = extra + nominal - inForce;
        }
        double a = getTransmitterLowPowerAlarmThreshold();
        double w = getTransmitterLowPowerWarningThreshold();
        if (s.lowAlarmInt) {
            if (p > e - w * 95 / 100) {
                s.lowAlarmInt = s.lowWarningInt = 0;
            } else if (p > e - a * 90 / 100) {
                s.lowAlarmInt = 0;
                s.lowWarningInt = 1;
            }
        } else if (s.lowWarningInt) {
            if (p > e - w * 95 / 100) {
                s.lowWarningInt = 0;
            } else if (p <= e - a) {
                s.lowAlarmInt = 1;
                s.lowWarningInt = 0;
            }
        } else if (p <= e - a) {
            s.lowAlarmInt = 1;
        } else if (p <= e - w) {
            s.lowWarningInt = 1;
        }
        if (LogicaTx_IsPowerChanging() == 0) {
            s.lowAlarm = s.lowAlarmInt;
            s.lowWarning = s.lowWarningInt;
        } else {
            clearLowPower();
        }
    } else if (getVendorId() == 1 && rfMuteState.load() == 0 && s.releaseRequest.load() == 0) {
        s.lowAlarm = s.lowAlarmInt;
        s.lowWarning = s.lowWarningInt;
    } else {
        clearLowPower();
    }
}

void reflectedStep()
{
    State& s = st();
    bool latched = getAlarmState(kAlarmReflectedLatch) != 0 || getAmpLockoutFlag() != 0;
    if (LogicaTx_GetTxStartRequest() == 1 && LogicaTx_IsPowerChanging() == 0 && LogicaTx_GetLockoutState() == 0) {
        double r = static_cast<double>(getSwrDerating()) + getTransmitterNominalPower() -
                   static_cast<int32_t>(s.deratingInForce.load());
        double m = el(4);
        double ra = getTransmitterReflectedPowerAlarmThreshold();
        double rw = getTransmitterReflectedPowerWarningThreshold();
        double lower = getAlarmInput(kAlarmSwr) == 1 ? getHpaNomDrvPow() - getDriverPower() : 0;
        if (s.reflAlarmInt) {
            if (r - rw * 105 / 100 > m) {
                s.reflAlarmInt = s.reflWarningInt = 0;
            } else if (r - (ra * 110 / 100 - lower) > m) {
                s.reflAlarmInt = 0;
                s.reflWarningInt = 1;
            }
        } else if (s.reflWarningInt) {
            if (r - rw * 105 / 100 > m)
                s.reflWarningInt = 0;
            else if (r - (ra - lower) <= m) {
                s.reflAlarmInt = 1;
                s.reflWarningInt = 0;
            }
        } else if (s.reflAlarm.load() == 0 && s.reflWarning.load() == 0) {
            if (r - (ra - lower) <= m) {
                s.reflAlarmInt = 1;
                s.reflWarningInt = 0;
            } else {
                s.reflWarningInt = r - rw <= m ? 1 : 0;
            }
        }
        s.reflAlarm = s.reflAlarmInt || latched ? 1 : 0;
        s.reflWarning = s.reflWarningInt;
        return;
    }
    if (LogicaTx_GetLockoutState() != 0)
        return;
    if (latched) {
        s.reflAlarm = 1;
    } else {
        s.reflAlarmInt = s.reflWarningInt = 0;
        s.reflAlarm = 0;
        s.reflWarning = 0;
    }
}

struct FlagLine {
    uint16_t bit;
    const char* name;
};

constexpr FlagLine kFlagLines[4] = {{kEvLowAlarm, "TX Low Power Alarm"},
                                    {kEvLowWarning, "TX Low Power Warning"},
                                    {kEvReflAlarm, "TX Reflected Power Alarm"},
                                    {kEvReflWarning, "TX Reflected Power Warning"}};

void alarmEventStep()
{
    State& s = st();
    const uint8_t now[4] = {s.lowAlarm.load(), s.lowWarning.load(), s.reflAlarm.load(), s.reflWarning.load()};
    for (int k = 0; k < 4; k++) {
        if (now[k] == s.logged[k])
            continue;
        s.logged[k] = now[k];
        setEventAndDelayed(now[k], kFlagLines[k].bit);
        if (now[k])
            logEvent("%s <--- In\n", kFlagLines[k].name);
        else
            logEvent("%s ---> Out\n", kFlagLines[k].name);
    }
    if (s.lowAlarmInt != s.loggedLowAlarmInt) {
        s.loggedLowAlarmInt = s.lowAlarmInt;
        setEventBit(s.lowAlarmInt, kEvLowAlarmInternal);
    }
}

void publish()
{
    for (uint32_t n = 1; n <= kElements; n++) {
        if (n != kBoardTempElement)
            setDbAreaCell(kTable6Section, n, static_cast<uint32_t>(el(n)));
    }
    setDbAreaCell(13, 13, st().deratingInForce.load());
}

} // namespace

void powerManagementInit()
{
    State& s = st();
    if (getExciterMode() == 1) {
        s.deratingInForce = getDeratingOverride();
        applyDeratedPower();
    }
    for (uint32_t n = 1; n <= 18; n++) {
        if (n != kBoardTempElement)
            setEl(n, 0);
    }
    int32_t noPower = getHpaPowerClass() == 17 ? -300 : 0;
    setEl(7, noPower);
    setEl(10, noPower);
    s.deratingInForce = 0;
    s.lowAlarm = s.lowWarning = s.reflAlarm = s.reflWarning = 0;
    for (uint8_t& v : s.logged)
        v = 0;
}

void powerManagementTask()
{
    int32_t word15 = 0;
    gatherPowers(&word15);
    deratingStep();
    publish();
    lowPowerStep();
    reflectedStep();
    alarmEventStep();
    st().releaseRequest = 0;
}

void applyDeratedPower()
{
    int32_t target = getExciterNominalPower() - static_cast<int32_t>(st().deratingInForce.load()) + getSwrDerating();
    applyDriverPower(static_cast<uint32_t>(target) & 0xffffu);
}

int32_t getDeratedPower()
{
    return static_cast<int32_t>(st().deratingInForce.load());
}

void setDeratingInForce(uint32_t v)
{
    st().deratingInForce = v;
}

uint8_t getPowerAlarmFlag()
{
    return st().lowAlarm.load();
}

uint8_t getPowerRuntimeFlag()
{
    return st().reflAlarm.load();
}

void setPowerRuntimeFlag(uint8_t v)
{
    st().reflAlarm = v;
}

uint8_t getLowPowerReleaseRequest()
{
    return st().releaseRequest.load();
}

void setLowPowerReleaseRequest(uint8_t v)
{
    st().releaseRequest = v;
}

void publishLinearNominalPower()
{
    cfgPublish(KEYROW(TxNominalPowerLinear), 0);
}

uint32_t getTxForwardPower()
{
    return static_cast<uint32_t>(el(2));
}

uint32_t getTxReflectedPower()
{
    return static_cast<uint32_t>(el(5));
}

uint32_t getTxForwardPowerPercent()
{
    return static_cast<uint32_t>(el(3));
}

int32_t getPowerRecordElement(uint32_t n)
{
    return n >= 1 && n <= kElements ? el(n) : 0;
}
