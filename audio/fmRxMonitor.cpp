#include "audio/fmRxMonitor.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/rdsKeys.h"
#include "audio/audioMeasures.h"
#include "core/base/logs.h"
#include "hw/downConverter.h"
#include "hw/fpgaMaintenance.h"
#include "hw/si4769.h"
#include "platform/clock.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kId(uint32_t section, uint32_t item)
{
    return section * 256 + item;
}
constexpr uint32_t kSelectWriteAssiBit = 0x200000;
constexpr uint32_t kRepeater = 10;
constexpr int kFirstAlarmId = 160;

struct State {
    FmRxContext ctx{};
    FmRxStatusRecord last{};
};

State& st()
{
    static State s;
    return s;
}

FmRxContext& cx()
{
    return st().ctx;
}

Alarm* alarm(int i)
{
    return AlarmSet_GetAlarm(cx().alarms, static_cast<uint32_t>(i));
}

uint8_t severityOf(Alarm* a)
{
    uint32_t sev = 0;
    Alarm_GetConfig(a, nullptr, nullptr, &sev);
    return static_cast<uint8_t>(sev & 0xFF);
}

bool selectWriteAssi()
{
    return (getSelectWrite() & kSelectWriteAssiBit) != 0;
}

void setAssiFilter(uint8_t v)
{
    ParamU8* p = &cx().assiFilter;
    p->set(p, v);
}

// ---- parameter hooks ----

void onFrqNom(ParamU32* p)
{
    uint32_t rounded = p->value - p->value % 50;
    p->value = rounded;
    setFmRxMode(0);
}

void onXcLoad(ParamU32* p)
{
    if (p->value >= 5000 && p->value <= 20750 && getFmRxPresent())
        SI4769_SetXCLoad(p->value);
    setFmRxMode(0);
}

void onIfOffset(ParamI8*)
{
    setFmRxMode(0);
}

void onPreAmp(ParamU8* p)
{
    downConvSetPreAmp(p->value);
}

// Automatic ASSI filter: the AssiFilterEv rules of a change of the automatic
// mode or of its threshold.
void reevaluateAssiEv()
{
    FmRxContext& c = cx();
    if (!c.autoAssiFilter.value) {
        c.assiCountEv = 11;
        setAssiFilter(3);
    } else if (Alarm_GetState(alarm(FMRX_ALM_ASSI_FILTER_EV))) {
        c.assiCountEv = 11;
        setAssiFilter(2);
    } else {
        c.assiCountEv = 0;
    }
}

void onAutoAssi(ParamU8*)
{
    reevaluateAssiEv();
}

void onAssiEvThreshold(ParamLong*)
{
    reevaluateAssiEv();
}

void onAssi200Threshold(ParamLong*)
{
    FmRxContext& c = cx();
    Alarm* a = alarm(FMRX_ALM_ASSI200);
    if (severityOf(a) == 0) {
        c.assiCount200 = 11;
        setAssiFilter(3);
    } else if (Alarm_GetState(a)) {
        c.assiCount200 = 11;
        setAssiFilter(2);
    } else {
        c.assiCount200 = 0;
    }
}

void onAssi200Severity(Alarm*, uint32_t)
{
    onAssi200Threshold(nullptr);
}

void onAssiEvSeverity(Alarm*, uint32_t)
{
    reevaluateAssiEv();
}

// The 6 dB hysteresis of both ASSI alarms.
int assiCheck(Alarm* a, int32_t v)
{
    int32_t t = Alarm_GetUpperThreshold(a);
    if (v > t)
        return 1;
    if (v >= t - 6)
        return a->state;
    return 0;
}

// A state change of an ASSI alarm, with the rules of its filter events.
void assi200Change(uint8_t oldState, uint8_t newState)
{
    FmRxContext& c = cx();
    if (!(c.autoAssiFilter.value == 1 && selectWriteAssi()) || oldState == newState)
        return;
    if (newState) {
        c.assiCount200 = 11;
        if (severityOf(alarm(FMRX_ALM_ASSI200)) != 0)
            setAssiFilter(2);
    } else {
        c.assiCount200 = 0;
    }
}

void assi200Tick()
{
    FmRxContext& c = cx();
    if (!(c.autoAssiFilter.value == 1 && selectWriteAssi()))
        return;
    c.assiCount200 = static_cast<int16_t>(c.assiCount200 + 1 > 11 ? 11 : c.assiCount200 + 1);
    if (c.assiCount200 > 9 && Alarm_GetState(alarm(FMRX_ALM_ASSI200)) == 0)
        setAssiFilter(3);
}

void assiEvChange(uint8_t oldState, uint8_t newState)
{
    FmRxContext& c = cx();
    if (c.autoAssiFilter.value != 1 || oldState == newState)
        return;
    if (newState) {
        c.assiCountEv = 11;
        if (!selectWriteAssi())
            setAssiFilter(2);
    } else {
        c.assiCountEv = 0;
    }
}

void assiEvTick()
{
    FmRxContext& c = cx();
    if (c.autoAssiFilter.value != 1)
        return;
    c.assiCountEv = static_cast<int16_t>(c.assiCountEv + 1 > 11 ? 11 : c.assiCountEv + 1);
    if (c.assiCountEv > 9 && Alarm_GetState(alarm(FMRX_ALM_ASSI_FILTER_EV)) == 0)
        setAssiFilter(3);
}

// Ten consecutive alarm evaluations set a measure's flag; one good one
// clears it.
uint8_t debounce(Alarm* a, int16_t* count, int32_t value)
{
    uint8_t old = Alarm_GetState(a);
    uint8_t flag = 0;
    if (Alarm_Check(a, value)) {
        if (*count < 10)
            (*count)++;
        flag = *count > 9 ? 1 : 0;
    } else {
        *count = 0;
    }
    if (flag != old)
        Alarm_Set(a, flag);
    return flag;
}

int evaluate(const FmRxStatusRecord& rec, int32_t snr, int32_t rssi, int32_t adj, uint8_t rdsSync)
{
    (void)rec;
    FmRxContext& c = cx();
    uint8_t snrFlag = debounce(alarm(FMRX_ALM_SNR), &c.snrCount, snr);
    uint8_t rssiFlag = debounce(alarm(FMRX_ALM_RSSI), &c.rssiCount, rssi);
    Alarm* a200 = alarm(FMRX_ALM_ASSI200);
    uint8_t old200 = Alarm_GetState(a200);
    uint8_t assiFlag = debounce(a200, &c.assi200Count, adj);
    assi200Change(old200, assiFlag);
    if (!assiFlag)
        assi200Tick();
    Alarm* ev = alarm(FMRX_ALM_ASSI_FILTER_EV);
    uint8_t oldEv = Alarm_GetState(ev);
    int evResult = Alarm_Check(ev, adj);
    uint8_t evState = selectWriteAssi() ? 0 : static_cast<uint8_t>(evResult);
    if (evState != oldEv)
        Alarm_Set(ev, evState);
    assiEvChange(oldEv, evState);
    if (evResult == 0)
        assiEvTick();
    uint8_t rdsMiss = getInputRxRds() && !rdsSync ? 1 : 0;
    if (Alarm_GetState(alarm(FMRX_ALM_RDS_SYNC_MISS)) != rdsMiss)
        Alarm_Set(alarm(FMRX_ALM_RDS_SYNC_MISS), rdsMiss);
    uint8_t summary = snrFlag || rssiFlag || assiFlag || rdsMiss;
    if (Alarm_GetState(alarm(FMRX_ALM_SUMMARY)) != summary)
        Alarm_Set(alarm(FMRX_ALM_SUMMARY), summary);
    return summary;
}

int64_t monoSeconds()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    return ts.tv_sec;
}

} // namespace

void fmRx_Init()
{
    FmRxContext& c = cx();
    if (!c.built) {
        Param_InitU32(&c.frqNom, "FmRx_Frq_nom", "FmRx_Frq_nom", 1, 1, 64000, 64000, 108000, 1, kId(46, 1), nullptr,
                      onFrqNom);
        Param_InitU32(&c.xcLoad, "FmRx_Xc_Load", "FmRx_Xc_Load", 1, 1, 15250, 5000, 20750, 1, kId(46, 40), nullptr,
                      onXcLoad);
        Param_InitU8(&c.autoAssiFilter, "FmRx_Auto_AssiFilter", "FmRx_Auto_AssiFilter", 1, 1, 1, 0, 1, 1,
                     kId(46, 24), nullptr, onAutoAssi);
        Param_InitU8(&c.assiFilter, "FmRx_AssiFilter", "FmRx_AssiFilter", 1, 1, 3, 0, 3, 1, kId(46, 25), nullptr,
                     nullptr);
        Param_InitU8(&c.preAmpMode, "FmRx_PreAmpMode", "FmRx_PreAmpMode", 1, 1, 0, 0, 1, 1, kId(46, 33), nullptr,
                     onPreAmp);
        Param_InitLong(&c.rssiPresThd, "FmRx_RssiPresThd", "FmRx_RssiPresThd", 1, 1, -85, INT32_MIN, INT32_MAX, 1,
                       kId(46, 35), nullptr, nullptr);
        Param_InitLong(&c.snrPresThd, "FmRx_SnrPresThd", "FmRx_SnrPresThd", 1, 1, 10, INT32_MIN, INT32_MAX, 1,
                       kId(46, 34), nullptr, nullptr);
        Param_InitI8(&c.intermFrqOffset, "FmRx_IntermFrqOffset", "FmRx_IntermFrqOffset", 1, 1, 0, -6, 6, 1,
                     kId(46, 31), nullptr, onIfOffset);
        c.alarms = AlarmSet_New();
        AlarmSet_CallInit(c.alarms, static_cast<int32_t>(kId(47, 1)));
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_SNR, "SNR", "SNR", static_cast<int32_t>(kId(46, 20)), 8, -1, 0, 0,
                              1, 0, 1);
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_RSSI, "RSSI", "RSSI", static_cast<int32_t>(kId(46, 21)), -95, -1, 0,
                              0, 1, 0, 1);
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_ASSI200, "ASSI200", "ASSI200", -1, 0,
                              static_cast<int32_t>(kId(46, 22)), -5, 0, 1, 0, 1);
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_ASSI_FILTER_EV, "AssiFilterEv", "AssiFilterEv", -1, 0,
                              static_cast<int32_t>(kId(46, 26)), -30, 0, 1, 0, 1);
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_RDS_SYNC_MISS, "RdsSyncMiss", "RdsSyncMiss", -1, 0, -1, 0, 0, 1, 0,
                              1);
        AlarmSet_CallAddAlarm(c.alarms, FMRX_ALM_SUMMARY, "Summary", "Summary", -1, 0, -1, 0, 0, 1, 0, 1);
        Alarm* a200 = alarm(FMRX_ALM_ASSI200);
        Alarm* ev = alarm(FMRX_ALM_ASSI_FILTER_EV);
        Alarm_SetCallbacksSafe(a200, nullptr, nullptr, nullptr, onAssi200Severity, nullptr, nullptr, assiCheck,
                               nullptr);
        Alarm_SetCallbacksSafe(ev, nullptr, nullptr, nullptr, onAssiEvSeverity, nullptr, nullptr, assiCheck,
                               nullptr);
        ParamLong *low = nullptr, *high = nullptr;
        Alarm_GetThresholds(a200, &low, &high);
        Param_SetHookLong(high, onAssi200Threshold);
        Alarm_GetThresholds(ev, &low, &high);
        Param_SetHookLong(high, onAssiEvThreshold);
        c.built = true;
    }
    setFmRxMode(0);
    clearFmRxStatus();
    c.downConvPresent = c.downConvLocked = 0;
    c.tunerKHz = c.downConvKHz = 0;
    c.snrCount = c.rssiCount = c.assi200Count = c.assiCount200 = c.assiCountEv = 0;
    c.presFailing = false;
}

int fmRx_DetectSystem(int verbose, int powerDown)
{
    FmRxContext& c = cx();
    if (SI4769_Detect(verbose, powerDown) != 0) {
        setFmRxSystem(0);
        return 0;
    }
    setFmRxSystem(1);
    logInfo("Detected FM Rx System");
    if (!downConvIsDetected())
        downConvDetect();
    if (downConvIsDetected()) {
        c.downConvPresent = 1;
        c.downConvLocked = 0;
        c.tunerKHz = c.downConvKHz = 0;
        setFmRxSystem(2);
        logInfo("Detected DownConverter System");
    } else {
        c.downConvPresent = c.downConvLocked = 0;
    }
    return 1;
}

int fmRx_PowerDown()
{
    setFmRxMode(0);
    setFmRxPresent(0);
    return SI4769_PowerDown(0) == 0 ? 1 : 0;
}

uint32_t fmRx_GetNominalFrequency()
{
    return cx().frqNom.value;
}

uint32_t fmRx_GetTunedFrequency()
{
    FmRxContext& c = cx();
    if (c.downConvPresent)
        return static_cast<uint32_t>(static_cast<int32_t>(c.tunerKHz) + 50 * c.intermFrqOffset.value);
    return c.frqNom.value;
}

int fmRx_IsLocked()
{
    return cx().downConvPresent && cx().downConvLocked ? 1 : 0;
}

void fmRx_SetPreAmpMode(uint8_t on)
{
    FmRxContext& c = cx();
    if (c.downConvPresent && c.preAmpMode.self)
        c.preAmpMode.set(&c.preAmpMode, on);
}

FmRxContext* fmRx_GetContext()
{
    return &cx();
}

int fmRx_Tuning(uint32_t nominalKHz, FmRxStatusRecord* record, int evaluate)
{
    FmRxContext& c = cx();
    if (!getFmRxPresent())
        return 0;
    if (c.downConvPresent) {
        c.downConvLocked = 0;
        if (!downConvIsInitialised())
            downConvInit();
        c.tunerKHz = 66000;
        c.downConvKHz = static_cast<uint32_t>(static_cast<int32_t>(nominalKHz) + 50 * c.intermFrqOffset.value);
        if (downConvSetFreq(c.downConvKHz) != 0)
            return 0;
        c.downConvLocked = 1;
    } else {
        c.tunerKHz = nominalKHz;
        c.downConvKHz = 0;
        c.intermFrqOffset.value = 0;
    }
    uint32_t tuned = fmRx_GetTunedFrequency();
    if (SI4769_cmd_FMTuneFreq_dflt(static_cast<uint16_t>(tuned / 10)) != 0)
        return 0;
    if (!record)
        return 1;
    clockSleepUs(100000);
    return fmRx_GetStatus(tuned, record, evaluate);
}

int fmRx_GetStatus(uint32_t tunedKHz, FmRxStatusRecord* record, int evaluateFlag)
{
    FmRxContext& c = cx();
    if (!record || !getFmRxPresent())
        return 0;
    uint8_t status = 0, acf = 0, level = 0, sync = 0;
    SI4769_RsqRecord rsq;
    if (SI4769_cmd_FMAcfStatus(0, &status, &acf, &level) != 0 || SI4769_cmd_FMRsqStatus(acf, 0, &rsq) != 0 ||
        SI4769_cmd_FMRdsStatus(&sync, nullptr) != 0)
        return 0;
    FmRxStatusRecord rec{};
    int32_t offset = SI4769_RsqOffset(rsq);
    uint32_t scale = getFreqOffsetScale();
    int32_t offsetHz = scale ? offset * static_cast<int32_t>(scale)
                             : static_cast<int32_t>(static_cast<int64_t>(tunedKHz) * offset * 2 / 1000);
    int32_t rssi = SI4769_RsqRssi(rsq) - (c.preAmpMode.value ? 15 : 0) + getLevelRxOffset_dB();
    int32_t snr = SI4769_RsqSnr(rsq) + getLevelRxSnrOffset_dB();
    int32_t adj = static_cast<int8_t>(SI4769_RsqByte(rsq, 29));
    rec.words[0] = SI4769_RsqFreqKHz(rsq);
    rec.words[1] = static_cast<uint32_t>(offsetHz);
    rec.words[2] = static_cast<uint32_t>(rssi);
    rec.words[3] = static_cast<uint32_t>(snr);
    rec.words[4] = SI4769_RsqByte(rsq, 27);
    rec.words[5] = SI4769_RsqByte(rsq, 28);
    rec.words[6] = static_cast<uint32_t>(adj);
    rec.words[7] = SI4769_RsqWord(rsq, 40);
    rec.words[8] = SI4769_RsqByte(rsq, 34);
    rec.words[9] = SI4769_RsqByte(rsq, 30);
    rec.words[10] = SI4769_RsqByte(rsq, 31);
    rec.words[11] = SI4769_RsqWord(rsq, 36);
    rec.words[12] = SI4769_RsqWord(rsq, 42);
    rec.words[14] = SI4769_RsqWord(rsq, 38);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(rec.words);
    bytes[52] = sync;
    bytes[53] = 0;
    bytes[60] = acf;
    uint16_t pi = 0;
    if (getFunctionalType() == kRepeater && getRxMeasSource() == 0) {
        // A repeater shows the deviations the FPGA measures on what it
        // retransmits, and the PI it puts on air when it relays RDS.
        rec.words[10] = getMeasuredFmDeviation();
        rec.words[11] = static_cast<uint32_t>(std::floor(SI4769_RsqWord(rsq, 36) / 1.17 + 0.5));
        rec.words[14] = getMeasuredAuxDeviation();
        uint32_t dsn = getCurrentRDSDSN();
        if (getInputRxRds() == 1 && dsn >= 1 && dsn <= 7)
            pi = getPI(dsn - 1);
    }
    memcpy(bytes + 54, &pi, 2);
    *record = rec;
    if (tunedKHz != 0 && evaluateFlag)
        evaluate(rec, snr, rssi, adj, sync);
    setAlarmInput(161, rssi < c.rssiPresThd.value ? 1 : 0);
    setAlarmInput(160, snr < c.snrPresThd.value ? 1 : 0);
    if (!getAlarmInput(160) && !getAlarmInput(161)) {
        setInputPresWord3(1);
        c.presFailing = false;
        return 1;
    }
    int64_t now = monoSeconds();
    if (!c.presFailing) {
        c.presFailing = true;
        c.presFailStamp = static_cast<time_t>(now);
    }
    int64_t held = now - c.presFailStamp;
    if (held < 0)
        held = -held;
    if (held > getInputPresAlmDelay())
        setInputPresWord3(0);
    return 1;
}

void fmRx_MeasurePollig()
{
    if (getFmRxSystem() == 0 || !getFmRxPresent())
        return;
    FmRxContext& c = cx();
    FmRxStatusRecord rec{};
    if (getFmRxMode() == 2) {
        if (fmRx_GetStatus(fmRx_GetTunedFrequency(), &rec, 1)) {
            setFmRxStatus(reinterpret_cast<const uint8_t*>(&rec));
            if (getRxMeasSource() == 1) {
                setMeasuredMpxDeviation(rec.words[10] * 1000);
                setMeasuredAuxDeviation(rec.words[14]);
                setMeasuredPilotDeviation(rec.words[11]);
            }
        } else {
            logErr("Error on fmRx_MeasurePollig: fmRx_GetStatus Fails");
        }
        return;
    }
    setFmRxMode(1);
    if (fmRx_Tuning(c.frqNom.value, &rec, 1)) {
        Fpga_ResetPulse();
        setFmRxStatus(reinterpret_cast<const uint8_t*>(&rec));
        setFmRxMode(2);
    } else {
        logErr("Error on fmRx_MeasurePollig: fmRx_Tuning Fails");
        setFmRxMode(3);
    }
}

void fmRx_UpdateAlarms()
{
    static const int kIndexes[] = {0, 1, 2, 4, 5, 6};
    bool running = getFmRxPresent() && getFmRxMode() == 2;
    if (!running) {
        // A receiver taken off air must not leave a latched Mute or alarm
        // behind on 160 to 166, so all their flag bytes go, with byte 5 of 167.
        for (int i : kIndexes) {
            int id = kFirstAlarmId + i;
            setAlarmField0(id, 0);
            setAlarmField3(id, 0);
            setAlarmField5(id, 0);
            setAlarmField6(id, 0);
            setAlarmField7(id, 0);
        }
        setAlarmField5(167, 0);
        return;
    }
    uint32_t onAir = getOutputCfgCode();
    uint32_t backup = getSecondaryConfiguration();
    bool onAirRx = onAir == 24 || onAir == 28;
    bool backupRx = (backup == 24 || backup == 28) && getInputBackup() != 0;
    for (int i : kIndexes) {
        int id = kFirstAlarmId + i;
        Alarm* a = alarm(i);
        uint8_t state = a ? Alarm_GetState(a) : 0;
        uint8_t sev = a ? severityOf(a) : 0;
        if (i == FMRX_ALM_ASSI200 && sev)
            sev = 1;
        setAlarmField7(id, 0);
        setAlarmField6(id, 0);
        setAlarmField5(id, 0);
        setAlarmField3(id, 0);
        setAlarmField0(id, 0);
        if (!a || !(onAirRx || backupRx))
            continue;
        if (!onAirRx && sev)
            sev = 1;
        if (sev == 2) {
            setAlarmField6(id, state);
        } else if (sev == 3) {
            setAlarmField6(id, state);
            setAlarmField0(id, state);
        } else if (sev == 1) {
            setAlarmField7(id, state);
        }
    }
}
