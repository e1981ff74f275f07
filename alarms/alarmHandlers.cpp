// The alarm edge handlers: the common shape driven by the alarm table, and
// the handlers whose rules go beyond it.
#include "alarms/alarmHandlers.h"

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "alarms/alarmConditions.h"
#include "alarms/alarmKeys.h"
#include "alarms/alarmTable.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "audio/inputSwitch.h"
#include "audio/uecpReceiver.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"

#include <cstdio>

namespace {

constexpr uint8_t kDelayScans = 40;
// Scans of absence before a reference lock alarm rises, and the cap of its
// counter.
constexpr uint16_t kRefAbsentScans = 121;
constexpr uint16_t kRefAbsentMax = 14400;
// Seconds without TMC data before alarm 59's raw condition.
constexpr long kTmcSilenceSeconds = 120;
// Seconds between two AES/EBU receiver resets.
constexpr long kAesResetSeconds = 3;
// Seconds after an input switch before the input alarms are judged.
constexpr long kInputSettleSeconds = 5;
// Whole seconds of holdover before the GPS reference alarm mutes.
constexpr long kGpsHoldoverSeconds = 99999;

struct Timed {
    uint8_t rearm = 1;
    struct timespec stamp {};
};

struct State {
    uint8_t edge[ALARM_ID_COUNT] = {};  // latched state at the end of the last call
    uint8_t delay[ALARM_ID_COUNT] = {}; // scans since the last edge, up to 40
    uint8_t retries[ALARM_ID_COUNT] = {};
    uint16_t scans100MHz = 0;
    uint16_t refAbsent[2] = {}; // 43, 46
    Timed timed[ALARM_ID_COUNT];
    uint8_t aesRearm = 1;
    struct timespec aesStamp {};
    uint8_t fanDelay = 0;
    uint32_t savedApc = 0;
    uint8_t group2Edge = 0, group6Edge = 0;
    uint8_t txWarningEdge = 0, txAlarmEdge = 0;
    uint8_t psuStatusPrev[3] = {};
    // The reference-holdover flag: nothing in the system sets it.
    uint8_t refHoldover = 0;
    uint8_t gpsTimerArmed = 0, gpsExpiredLogged = 0;
    struct timespec gpsStamp {};
};

State& st()
{
    static State s;
    return s;
}

long wholeSecondsSince(const struct timespec& stamp)
{
    long d = static_cast<long>(getMonoTimeNow().tv_sec - stamp.tv_sec);
    return d < 0 ? -d : d;
}

void setFlags(uint8_t id, uint8_t mask, uint8_t v)
{
    if (mask & AF_MUTE)
        setAlarmField0(id, v);
    if (mask & AF_ALM)
        setAlarmField3(id, v);
    if (mask & AF_FAIL)
        setAlarmField4(id, v);
    if (mask & AF_WRN)
        setAlarmField5(id, v);
}

void setGroups(const AlarmRow& r)
{
    for (uint8_t g : r.groups)
        if (g != 0 && g != GROUPS_BY_HANDLER)
            setAlarmState(g, 1);
}

void writeLine(const AlarmRow& r, uint8_t state)
{
    const char* text = state ? r.inText : r.outText;
    if (text[0] == '\0')
        return;
    if (r.level == LVL_INFO)
        logInfo("%s", text);
    else
        logEvent("%s", text);
}

// Steps 3 to 5 of the common shape: the edge (line, immediate bits, delayed
// bit at the edge), the delay count and the delayed bit. Returns true on the
// calls where the delay count stands at 40.
bool edgeAndDelay(const AlarmRow& r, uint8_t state)
{
    State& s = st();
    if (state != s.edge[r.id]) {
        writeLine(r, state);
        for (uint8_t e : r.eventBits)
            if (e)
                setEventBit(state, e);
        if (r.ampBit)
            setStatusBitB(state, r.ampBit);
        if (r.delayedAtEdge && r.delayedBit)
            setStatusBitA(state, r.delayedBit);
        s.delay[r.id] = 0;
    }
    bool atDelay = false;
    if (!r.delayedAtEdge) {
        if (s.delay[r.id] < kDelayScans)
            s.delay[r.id]++;
        if (s.delay[r.id] == kDelayScans) {
            atDelay = true;
            if (r.delayedBit)
                setStatusBitA(state, r.delayedBit);
        }
    }
    s.edge[r.id] = state;
    return atDelay;
}

// Latched state, the row's flags and groups, then the edge and delay.
bool latch(const AlarmRow& r, uint8_t state)
{
    setAlarmState(r.id, state);
    if (!(r.flags & AF_BY_HANDLER))
        setFlags(r.id, r.flags, state);
    if (state)
        setGroups(r);
    return edgeAndDelay(r, state);
}

bool inList(uint32_t v, std::initializer_list<uint32_t> list)
{
    for (uint32_t x : list)
        if (x == v)
            return true;
    return false;
}

bool inRanges(uint32_t v, std::initializer_list<std::pair<uint32_t, uint32_t>> ranges)
{
    for (auto [lo, hi] : ranges)
        if (v >= lo && v <= hi)
            return true;
    return false;
}

// Whether each external reference alarm's reference is in use.
bool refInUse(uint8_t id)
{
    uint32_t f = getFreqRefSource();
    bool net = getNetMode() == 1;
    uint32_t t = getTimeRefSource();
    switch (id) {
    case 94: return f == 4 || (net && t == 1);
    case 95: return f == 1;
    case 96: return f == 3 || (net && t == 3);
    case 97: return f == 2 || f == 6 || (net && t == 2);
    default: return true;
    }
}

bool mpxLockInUse(uint8_t id)
{
    auto inSet = [id](uint32_t code) {
        return id == 62 ? (code == 55 || code == 56) : (code >= 57 && code <= 60);
    };
    return inSet(getOutputCfgCode()) || inSet(getSecondaryConfiguration());
}

// The gate of a raw alarm: what must hold besides its raw byte.
bool gateOpen(uint8_t id)
{
    switch (id) {
    case 44:
    case 45: return getNplus1Mode() == 1;
    case 53: return inList(getOutputConfiguration(), {23, 27, 31}) || getInputBackup() == 3;
    case 59:
        return inRanges(getOutputCfgCode(), {{4, 7}, {14, 17}, {26, 33}, {44, 47}}) && getUECPInterface() == 1;
    case 62:
    case 63: return mpxLockInUse(id);
    case 94:
    case 95:
    case 96:
    case 97: return refInUse(id);
    case 145: return getTxOnState() == 1 && LogicaTx_IsPowerChanging() == 0;
    default: return true;
    }
}

bool rawRaised(uint8_t id)
{
    return getAlarmInput(id) == 1;
}

// Alarm 59 writes its own raw condition: TMC data older than 120 s.
void refreshTmcCondition()
{
    setAlarmInput(59, wholeSecondsSince(getTmcStamp()) > kTmcSilenceSeconds ? 1 : 0);
}

// Alarm 53: the AES/EBU receiver reset, at most once in 3 s while raised.
void aesEbuReset(uint8_t raised)
{
    State& s = st();
    if (raised && getInputCfg() == 1 && s.aesRearm == 1) {
        raiseReprogramRequest(REQ_AES_EBU);
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.aesStamp);
        s.aesRearm = 0;
    }
    if (s.aesRearm == 0 && wholeSecondsSince(s.aesStamp) > kAesResetSeconds)
        s.aesRearm = 1;
}

} // namespace

void handleCommon(uint8_t id)
{
    const AlarmRow* r = alarmRow(id);
    if (!r)
        return;
    if (id == 59)
        refreshTmcCondition();
    uint8_t raised;
    if (r->raise == RAISE_STATE)
        raised = getAlarmState(id) == 1;
    else
        raised = rawRaised(id) && gateOpen(id);

    // Flags cleared with the alarm beyond those it sets.
    if (!raised) {
        if (id == 94)
            setFlags(id, AF_MUTE | AF_WRN | AF_ALM, 0);
        if (id >= 95 && id <= 97)
            setFlags(id, refInUse(id) ? AF_WRN : AF_WRN | AF_ALM, 0);
    }
    bool atDelay = latch(*r, raised);

    switch (id) {
    case 53:
        if (raised && getInputCfg() == 1)
            setAlarmState(ALARM_ID_GROUP_INPUT_ALM, 1);
        aesEbuReset(raised);
        break;
    case 62:
    case 63:
        if (raised) {
            uint32_t onAir = getOutputCfgCode();
            bool onAirUses = id == 62 ? (onAir == 55 || onAir == 56) : (onAir >= 57 && onAir <= 60);
            setAlarmState(onAirUses ? ALARM_ID_GROUP_INPUT_ALM : ALARM_ID_GROUP_INPUT_WRN, 1);
        }
        break;
    case 95:
    case 96:
    case 97:
        // The external-reference presence word: 0 while raised, 1 while
        // judged and clear, the raw byte's absence while not in use.
        if (raised)
            setExtRefPresent(0);
        else if (refInUse(id))
            setExtRefPresent(1);
        else
            setExtRefPresent(getAlarmInput(id) != 1 ? 1 : 0);
        break;
    case 105:
        if (atDelay)
            setPrimaryPowerFail(raised == 1 ? 1 : 0);
        break;
    case 140:
        if (raised)
            setAlarmState(47, 1);
        break;
    default:
        break;
    }
}

void handleRetry(uint8_t id)
{
    State& s = st();
    const AlarmRow* r = alarmRow(id);
    uint8_t limit = 0;
    ReprogramRequest req = REQ_SPARE;
    bool keepsAlm = false;
    switch (id) {
    case 40: limit = 5, keepsAlm = true; break;
    case 41: limit = 50, keepsAlm = true, req = REQ_RF_SYNTH; break;
    case 42: limit = 2, req = REQ_AUDIO_PLL; break;
    case 49: limit = 5, req = REQ_OUT_FIFO; break;
    case 61: limit = 10, req = REQ_100MHZ; break;
    default: return;
    }
    uint8_t& count = s.retries[id];

    // One request and one more count while below the limit; alarms 40 and 41
    // send one last request at the limit and pass it by one.
    auto request = [&](bool below) {
        if (below) {
            if (id == 61) {
                if (++s.scans100MHz < 6)
                    return;
                s.scans100MHz = 0;
            }
            count++;
            if (id != 40)
                raiseReprogramRequest(req);
            if (id == 41)
                printf("Tentativo Reprog RFPLL n. %d\n", count);
            else if (id == 49)
                printf("Tentativo Reprog OUTFIFO n. %d\n", count);
            else if (id == 61)
                logInfo("Retry prog ALM_100MHZ_PLL_LOCK n. %d\n\n", count);
        } else if (keepsAlm && count == limit) {
            count++;
            if (id == 41) {
                raiseReprogramRequest(req);
                printf("Tentativi finiti");
                fflush(stdout);
            }
        }
    };

    uint8_t raw = getAlarmInput(id);
    bool raised = raw == 1 && (id != 61 || getUnitWord8() == 1);
    bool edgeLogic = id != 41 || LogicaTx_IsPowerChanging() == 0;
    if (edgeLogic) {
        if (raised) {
            if (id != 49)
                setAlarmField0(id, 1);
            setAlarmState(ALARM_ID_GROUP_SYNTH, 1);
            if (count < limit) {
                setAlarmField3(id, 1);
                setAlarmField4(id, 0);
            } else {
                setAlarmField4(id, 1);
                if (!keepsAlm)
                    setAlarmField3(id, 0);
                if (id == 49) {
                    printf("Tentativi finiti");
                    fflush(stdout);
                }
            }
            request(count < limit);
        } else {
            setFlags(id, AF_MUTE | AF_ALM | AF_FAIL | (id == 61 ? AF_WRN : 0), 0);
            count = 0;
            if (id == 61)
                s.scans100MHz = 0;
        }
        setAlarmState(id, raised ? 1 : 0);
        if (id == 61 && !raised && s.edge[id] == 1)
            setForceDacLevel(getForceDacLevelSaved(), 0);
        edgeAndDelay(*r, raised ? 1 : 0);
    }
    if (id == 41) {
        if (raw == 1)
            request(count < limit);
        else
            count = 0;
    }
}

void handleReferenceLock(uint8_t id)
{
    State& s = st();
    const AlarmRow* r = alarmRow(id);
    bool freq = id == 43;
    uint32_t src = freq ? getFreqRefSource() : getTimeRefSource();
    uint16_t& absent = s.refAbsent[freq ? 0 : 1];

    auto clear = [&] {
        setAlarmState(id, 0);
        setFlags(id, AF_WRN | AF_ALM | AF_MUTE, 0);
        edgeAndDelay(*r, 0);
    };
    if (getFreqRefSource() == 5 || (!freq && getNetMode() != 1)) {
        clear();
        return;
    }

    bool present;
    switch (src) {
    case 1: present = freq ? getNoExt10MHz() == 0 : getNoExtPps() == 0; break;
    case 4: present = freq && getNoExtPps() == 0; break;
    case 2:
    case 6: present = getNoExt19kHzSqWave() == 0; break;
    case 3: present = getNoExt19kHzSinus() == 0; break;
    case 7: present = freq && getInputMpxDigLinePres() == 1; break;
    default: present = false; break;
    }
    if (present)
        absent = 0;
    else if (absent < kRefAbsentMax)
        absent++;

    uint8_t raw = getAlarmInput(id);
    if (raw == 1 || (!present && absent >= kRefAbsentScans)) {
        bool mutes = freq ? getNetMode() == 1 && getMuteFrefAbsent() == 1
                          : getMuteTrefAbsent() == 1 && !inList(getOutputCfgCode(), {0, 25, 48});
        setAlarmState(id, 1);
        setAlarmField3(id, mutes ? 1 : 0);
        setAlarmField0(id, mutes ? 1 : 0);
        setAlarmField5(id, mutes ? 0 : 1);
        edgeAndDelay(*r, 1);
    } else if (raw == 0 && present) {
        uint8_t was = s.edge[id];
        clear();
        if (freq && was == 1)
            setForceDacLevel(getForceDacLevelSaved(), 0);
    } else {
        edgeAndDelay(*r, getAlarmState(id));
    }
}

void handleTimedAudio(uint8_t id)
{
    State& s = st();
    const AlarmRow* r = alarmRow(id);
    uint8_t enabled = 1;
    uint32_t delay = 0;
    switch (id) {
    case 54:
    case 64: enabled = getTotAudioAlmEnable(), delay = getTotAudioAlmDelay(); break;
    case 55: enabled = getAudioAuxAlmEnable(), delay = getAudioAuxAlmDelay(); break;
    case 56: enabled = getAudioLeftAlmEnable(), delay = getAudioLeftAlmDelay(); break;
    case 57: enabled = getAudioRightAlmEnable(), delay = getAudioRightAlmDelay(); break;
    case 58: delay = getAudioPilotAlmDelay(); break;
    default: return;
    }
    Timed& t = s.timed[id];
    uint8_t state = 0;
    if (getAlarmInput(id) == 1 && enabled) {
        if (t.rearm) {
            clockGetTime(CLOCK_MONOTONIC_RAW, &t.stamp);
            t.rearm = 0;
        }
        state = wholeSecondsSince(t.stamp) > static_cast<long>(delay) ? 1 : 0;
    } else {
        t.rearm = 1;
    }
    latch(*r, state);
}

void handleInputs(uint8_t)
{
    State& s = st();
    if (wholeSecondsSince(getInputSwitchStamp()) < kInputSettleSeconds)
        return;
    uint32_t onAir = getOnAirInput();
    auto inputAlarm = [&](uint32_t i) {
        bool noSignal = getInputPresAlmEnable() == 1 && getEventBit(i == 0 ? 76 : 77) == 0;
        if (i != onAir)
            return noSignal || (getAlarmInput(64) == 1 && getTotAudioAlmEnable() != 0);
        return noSignal || getAlarmState(54) == 1 || getAlarmState(55) == 1 || getAlarmState(56) == 1 ||
               getAlarmState(57) == 1;
    };
    bool primary = inputAlarm(0);
    bool secondary = inputAlarm(1);
    uint8_t s67, s69;
    if (getInputBackup() == 0) {
        s69 = 0;
        s67 = getAlarmState(67);
        if (onAir == 0) {
            s67 = primary;
            if (primary)
                setAlarmState(ALARM_ID_GROUP_INPUT_ALM, 1);
        }
    } else {
        s67 = primary;
        s69 = secondary;
        bool onAirAlm = onAir == 0 ? primary : secondary;
        bool otherAlm = onAir == 0 ? secondary : primary;
        if (onAirAlm)
            setAlarmState(otherAlm ? ALARM_ID_GROUP_INPUT_ALM : ALARM_ID_GROUP_INPUT_WRN, 1);
        else if (otherAlm)
            setAlarmState(ALARM_ID_GROUP_INPUT_WRN, 1);
    }
    setAlarmState(67, s67);
    setAlarmState(69, s69);
    edgeAndDelay(*alarmRow(67), s67);
    edgeAndDelay(*alarmRow(69), s69);
    (void)s;
}

void handleInputModule(uint8_t)
{
    State& s = st();
    uint8_t g2 = getAlarmState(ALARM_ID_GROUP_INPUT_ALM) == 1;
    uint8_t g6 = getAlarmState(ALARM_ID_GROUP_INPUT_WRN) == 1;
    setAlarmField0(ALARM_ID_GROUP_INPUT_ALM, g2 && getInputAlarmVsTxStatus() == 2 ? 1 : 0);
    if (g2 != s.group2Edge)
        logEvent("%s", g2 ? "Alm Input Module <--- In" : "Alm Input Module ---> Out");
    if (g6 != s.group6Edge) {
        if (g2)
            logEvent("Wrn Input Module ---> Out");
        else
            logEvent("%s", g6 ? "Wrn Input Module <--- In" : "Wrn Input Module ---> Out");
    }
    s.group2Edge = g2;
    s.group6Edge = g6;
}

void handleTxAlarmWarning(uint8_t)
{
    State& s = st();
    uint8_t warning = LogicaTx_GetSummaryFlag(1) == 1;
    uint8_t alarm = LogicaTx_GetSummaryFlag(2) == 1 || LogicaTx_GetSummaryFlag(3) == 1;
    if (warning != s.txWarningEdge)
        logEvent("%s", warning ? "TX Warning <--- In" : "TX Warning ---> Out");
    if (alarm != s.txAlarmEdge)
        logEvent("%s", alarm ? "TX Alarm <--- In" : "TX Alarm ---> Out");
    s.txWarningEdge = warning;
    s.txAlarmEdge = alarm;
}

void handleAmpSummary(uint8_t)
{
    bool any = getAlarmState(119) == 1 || getAlarmState(120) == 1 || getAlarmState(128) == 1 ||
               getAlarmState(130) == 1;
    if (any)
        setAlarmState(ALARM_ID_GROUP_AMP_PSU, 1);
    setStatusBitB(any ? 0 : 1, 4);
}

void handleAmpTxOnBit(uint8_t)
{
    setStatusBitB(getTxOnState() == 1, 6);
}

void handleAmpGroupBits(uint8_t)
{
    uint8_t g131 = getAlarmState(ALARM_ID_GROUP_AMP_PSU) == 1;
    uint8_t g132 = getAlarmState(ALARM_ID_GROUP_AMP_WRN) == 1;
    setStatusBitB(g132 && !g131, 2);
    setStatusBitB(g131, 1);
}

void handleInterlock(uint8_t id)
{
    State& s = st();
    uint8_t state = getAlarmState(id) == 1;
    if (state) {
        setAlarmState(ALARM_ID_GROUP_BOARD, 1);
        setAlarmField0(id, getHpaPowerClass() != 17 ? 1 : 0);
    } else {
        setAlarmField0(id, 0);
    }
    if (state != s.edge[id] && getAmpFamily() == 1 && (state || getTxOnState() == 1)) {
        for (uint32_t i = 0; i < getPsuCount(); i++)
            if (isPsuEnabled(i))
                setPsuOperationMode(i, state ? 0 : 1);
    }
    edgeAndDelay(*alarmRow(id), state);
}

void handleAmpTemperature(uint8_t id)
{
    State& s = st();
    uint8_t raw = getAlarmInput(id);
    if (raw > 1)
        return;
    setAlarmState(id, raw);
    setFlags(id, AF_MUTE | AF_ALM, raw);
    if (raw != s.edge[id]) {
        if (raw) {
            s.savedApc = getVoltageAPCLimit(getPsuAvailableCount());
            setVoltageAPC(0, 1);
            LogicaTx_SetLockoutState(1);
        } else {
            setVoltageAPC(s.savedApc, 1);
            LogicaTx_SetLockoutState(0);
        }
    }
    edgeAndDelay(*alarmRow(id), raw);
}

void handleFans(uint8_t)
{
    State& s = st();
    // One delay counter for both alarms, advanced after each of them.
    auto step = [&](uint8_t id, uint8_t state, uint8_t eBit, uint8_t aBit) {
        if (state != s.edge[id]) {
            logEvent("%s", state ? alarmRow(id)->inText : alarmRow(id)->outText);
            setEventBit(state, eBit);
            setStatusBitB(state, aBit);
            s.fanDelay = 0;
        }
        if (s.fanDelay < kDelayScans)
            s.fanDelay++;
        if (s.fanDelay == kDelayScans) {
            setStatusBitA(state, eBit);
            setStatusBitC(state, aBit);
        }
        s.edge[id] = state;
    };

    uint8_t wrn = getAlarmState(127) == 1;
    setAlarmField5(127, wrn);
    if (wrn)
        setAlarmState(ALARM_ID_GROUP_AMP_WRN, 1);
    setEventBit(wrn, 23);
    step(127, wrn, 41, 21);

    uint8_t alm = getAlarmState(126) == 1;
    setAlarmField3(126, alm);
    if (alm)
        setAlarmState(ALARM_ID_GROUP_AMP_WRN, 1);
    if (getAmpFamily() == 1)
        setAlarmField0(126, alm && !(getHpaPowerClass() == 18 && getPsuType(0) == 3) ? 1 : 0);
    step(126, alm, 40, 20);
}

void handlePsuAvailability(uint8_t)
{
    constexpr uint8_t id = 144;
    uint8_t avail = getPsuAvailableCount();
    if (getHpsCode() == 3) {
        uint8_t wrn = 0, alm = 0;
        if (LogicaTx_IsPowerChanging() == 0) {
            alm = avail == 0;
            wrn = avail == 1 || avail == 2;
        }
        setAlarmField5(id, wrn);
        setAlarmField3(id, alm);
    } else if (getHpsCode() == 1) {
        setAlarmField3(id, avail == 0);
    }
}

void handlePsuStatus(uint8_t)
{
    State& s = st();
    bool changing = LogicaTx_IsPowerChanging() != 0;
    for (uint32_t i = 0; i < 3; i++) {
        uint8_t id = static_cast<uint8_t>(149 + i);
        if (changing) {
            setAlarmField5(id, 0);
            continue;
        }
        uint32_t code = getPsuStatusCode(i);
        setAlarmField5(id, code >= 2);
        if (code != s.psuStatusPrev[i]) {
            if (code == 0)
                logEvent("%s", alarmRow(id)->outText);
            else if (code >= 2)
                logEvent("%s", alarmRow(id)->inText);
            s.psuStatusPrev[i] = static_cast<uint8_t>(code);
        }
    }
}

void handleGpsReference(uint8_t id)
{
    State& s = st();
    const AlarmRow* r = alarmRow(id);
    uint8_t raised = getAlarmInput(id) == 1;
    if (getSystemClockSource() != 0) {
        setFlags(id, AF_MUTE | AF_ALM | AF_WRN, 0);
    } else if (raised) {
        setAlarmState(ALARM_ID_GROUP_GPS, 1);
        if (s.refHoldover) {
            if (!s.gpsTimerArmed) {
                clockGetTime(CLOCK_MONOTONIC_RAW, &s.gpsStamp);
                s.gpsTimerArmed = 1;
            }
            if (wholeSecondsSince(s.gpsStamp) <= kGpsHoldoverSeconds) {
                setFlags(id, AF_MUTE | AF_ALM, 0);
                setAlarmField5(id, 1);
            } else {
                setFlags(id, AF_MUTE | AF_ALM, 1);
                setAlarmField5(id, 0);
                s.refHoldover = 0;
                if (!s.gpsExpiredLogged) {
                    logEvent("GPS Ref. Holdover --- EXPIRED");
                    s.gpsExpiredLogged = 1;
                }
            }
        } else {
            setFlags(id, AF_MUTE | AF_ALM, 1);
            setAlarmField5(id, 0);
        }
    } else {
        setFlags(id, AF_MUTE | AF_ALM | AF_WRN, 0);
        s.gpsTimerArmed = 0;
        s.gpsExpiredLogged = 0;
    }
    setAlarmState(id, raised);
    edgeAndDelay(*r, raised);
}

void handleIntPps(uint8_t id)
{
    State& s = st();
    if (getSystemClockSource() != 0) {
        setAlarmState(id, 0);
        setFlags(id, AF_MUTE | AF_WRN | AF_ALM, 0);
        setEventBit(0, 56);
        s.edge[id] = 0;
        return;
    }
    uint8_t raised = rawRaised(id);
    if (!raised)
        setFlags(id, AF_MUTE | AF_WRN | AF_ALM, 0);
    latch(*alarmRow(id), raised);
}

void handleHoldover(uint8_t id)
{
    uint32_t src = getSystemClockSource();
    bool refWarn = src == 1   ? getAlarmField5(94) == 1 || getAlarmField5(43) == 1
                   : src == 0 ? getAlarmField5(93) == 1 || getAlarmField5(111) == 1
                              : false;
    latch(*alarmRow(id), st().refHoldover && refWarn);
}

void handleNothing(uint8_t) {}
