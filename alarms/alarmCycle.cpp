// Alarm cycle: the 250 ms scan of the edge handlers with its hold-off, and
// the mute decision of every main-loop pass.
#include "alarms/alarmCycle.h"

#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "alarms/alarmHandlers.h"
#include "alarms/alarmKeys.h"
#include "alarms/logicaTx.h"
#include "audio/fmRxMonitor.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/fpgaMaintenance.h"
#include "platform/clock.h"

namespace {

// A pending change of this configuration group holds the scan off.
constexpr uint32_t kHoldOffGroup = 0x100;
constexpr uint32_t kHoldOffSeconds = 3;
constexpr uint8_t kMuteResetAlarm = 34;

struct ScanStep {
    void (*handler)(uint8_t id);
    uint8_t id;
};

void fmRxAlarms(uint8_t)
{
    fmRx_UpdateAlarms();
}

constexpr uint8_t kGroups[] = {1, 2, 3, 4, 5, 6, 7, 131, 132, 133};

// Every family, after the group reset.
constexpr ScanStep kCommonScan[] = {
    {handleCommon, 105},        {handleCommon, 44},         {handleCommon, 45},
    {handleCommon, 102},        {handleInterlock, 101},     {handleRetry, 41},
    {handleRetry, 40},          {handleRetry, 42},          {handleRetry, 49},
    {handleCommon, 95},         {handleCommon, 94},         {handleCommon, 96},
    {handleCommon, 97},         {handleReferenceLock, 43},  {handleReferenceLock, 46},
    {handleRetry, 61},          {handleHoldover, 98},       {handleCommon, 53},
    {handleCommon, 62},         {handleCommon, 63},         {fmRxAlarms, 0},
    {handleTimedAudio, 56},     {handleTimedAudio, 57},     {handleTimedAudio, 54},
    {handleTimedAudio, 55},     {handleTimedAudio, 64},     {handleCommon, 59},
    {handleInputs, 67},         {handleCommon, 129},
};

// First family, while an amplifier is detected and not disabled.
constexpr ScanStep kFamily0Scan[] = {
    {handleCommon, 118}, {handleCommon, 120},         {handleCommon, 48},
    {handleCommon, 47},  {handleCommon, 128},         {handleAmpTemperature, 123},
    {handleCommon, 124}, {handleFans, 126},
};
// First family with HPA model code 2.
constexpr ScanStep kFamily0Model2Scan[] = {{handleCommon, 139}, {handleCommon, 140}};

constexpr ScanStep kFamily1Scan[] = {
    {handleCommon, 120},         {handleCommon, 119},      {handleFans, 126},
    {handleCommon, 124},         {handleAmpTemperature, 123}, {handleAmpSummary, 131},
    {handleAmpTxOnBit, 0},       {handleCommon, 139},      {handleCommon, 140},
    {handleCommon, 145},         {handleCommon, 146},      {handleCommon, 147},
    {handleCommon, 152},         {handleCommon, 153},      {handleCommon, 141},
    {handleCommon, 142},         {handleCommon, 143},      {handlePsuAvailability, 144},
    {handlePsuStatus, 149},      {handleAmpGroupBits, 0},
};

constexpr ScanStep kFamily2Scan[] = {
    {handleCommon, 120},         {handleFans, 126}, {handleCommon, 124},
    {handleAmpTemperature, 123}, {handleCommon, 139}, {handleCommon, 140},
};

// Every family, last.
constexpr ScanStep kFinalScan[] = {{handleInputModule, 2}, {handleTxAlarmWarning, 0}};

template <size_t N>
void run(const ScanStep (&steps)[N])
{
    for (const ScanStep& s : steps)
        s.handler(s.id);
}

struct ScanState {
    uint8_t scanStarted = 0;
    uint8_t prevTxOn = 0;
    uint8_t prevInterlock = 0;
    struct timespec holdOffStamp {};
    uint32_t holdOffSeconds = 1;
};

struct MuteState {
    uint8_t muteResetPending = 0;
    uint8_t fpgaMuted = 0;
    uint8_t alarmNow = 0, failNow = 0;
    uint8_t alarmHeld = 0, failHeld = 0;
};

struct State {
    ScanState scan;
    MuteState mute;
};

State& st()
{
    static State s;
    return s;
}

void startHoldOff()
{
    clockGetTime(CLOCK_MONOTONIC_RAW, &st().scan.holdOffStamp);
    st().scan.holdOffSeconds = kHoldOffSeconds;
}

void runHandlers()
{
    for (uint8_t g : kGroups)
        setAlarmState(g, 0);
    run(kCommonScan);
    switch (getAmpFamily()) {
    case 0:
        if (getHpaDetected() && getHpaDisabled() == 0) {
            run(kFamily0Scan);
            if (getHpaModelCode() == 2)
                run(kFamily0Model2Scan);
        }
        break;
    case 1: run(kFamily1Scan); break;
    case 2: run(kFamily2Scan); break;
    default: break;
    }
    run(kFinalScan);
}

// The per-alarm debug lines of the mute decision.
void debugAlarmLines()
{
    for (uint32_t id = 0; id < ALARM_ID_COUNT; id++) {
        uint8_t m = getAlarmField0(id), a = getAlarmField3(id), w = getAlarmField5(id), f = getAlarmField4(id);
        if (getAlarmState(id))
            DEBUG_PRINT(DBG_ALARMS, "Alarm %u:ON", id);
        if (m || a || w || f)
            DEBUG_PRINT(DBG_ALARMS, "Alarm %u -> Mute: %d - Alm: %d - Wrn: %d - Fail: %d", id, m, a, w, f);
        if (m == 1)
            DEBUG_PRINT(DBG_ALARMS, "MUTE on Alm %u", id);
    }
}

} // namespace

void ScanAlarms()
{
    ScanState& s = st().scan;
    if (!s.scanStarted) {
        s.prevTxOn = getTxOnState();
        s.scanStarted = 1;
    }
    if ((getConfigChanged() & kHoldOffGroup) && getTxOnState() == s.prevTxOn)
        startHoldOff();

    handleInterlock(ALARM_ID_INTERLOCK);
    if (getAlarmState(ALARM_ID_INTERLOCK) != s.prevInterlock)
        startHoldOff();

    long apart = static_cast<long>(getMonoTimeNow().tv_sec - s.holdOffStamp.tv_sec);
    if (apart < 0)
        apart = -apart;
    if (apart > static_cast<long>(s.holdOffSeconds))
        runHandlers();

    s.prevTxOn = getTxOnState();
    s.prevInterlock = getAlarmState(ALARM_ID_INTERLOCK);
}

void SetAlarms()
{
    MuteState& s = st().mute;
    uint8_t folded[8] = {};
    foldAlarmFlags(folded);
    if (debugGate(DBG_ALARMS))
        debugAlarmLines();
    uint8_t mute = folded[0] ? 1 : 0;
    uint8_t alarm = folded[3] ? 1 : 0;
    uint8_t fail = folded[4] ? 1 : 0;
    uint8_t warning = folded[5] ? 1 : 0;
    uint8_t inputAlarm = folded[6] ? 1 : 0;
    uint8_t inputWarning = folded[7] ? 1 : 0;

    if (getAlarmField1(kMuteResetAlarm))
        s.muteResetPending = 1;
    if (globalMute.load())
        mute = 1;
    s.alarmNow = alarm;
    s.failNow = fail;
    if (!alarm && s.alarmHeld)
        alarm = 1;
    if (!fail && s.failHeld)
        fail = 1;
    if (s.muteResetPending) {
        MuteResetOn();
        s.muteResetPending = 0;
        setAlarmField1(kMuteResetAlarm, 0);
    }
    if (mute && !s.fpgaMuted) {
        Fpga_SendConfig();
        s.fpgaMuted = 1;
    } else if (!mute && s.fpgaMuted) {
        Fpga_SendConfigOff();
        s.fpgaMuted = 0;
    }
    if (!mute) {
        alarm = s.alarmNow;
        fail = s.failNow;
    }
    s.alarmHeld = alarm;
    s.failHeld = fail;
    if (getAlarmState(ALARM_ID_GROUP_INPUT_ALM))
        inputAlarm = 1;
    if (getAlarmState(ALARM_ID_GROUP_INPUT_WRN))
        inputWarning = 1;

    setWarningSummary(warning);
    setAlarmSummary(alarm);
    setFailSummary(fail);
    setInputAlarmSummary(inputAlarm);
    setInputWarningSummary(inputWarning);

    setEventBit(mute, 44);
    setEventBit(alarm, 15);
    setEventBit(warning, 16);
    setEventBit(inputAlarm, 18);
    setEventBit(inputWarning, 19);
    setEventBit(getAlarmState(ALARM_ID_GROUP_AMP) ? 1 : 0, 20);
    setStatusBitA(alarm, 15);
    setStatusBitA(warning, 16);
    setStatusBitA(inputAlarm, 18);
    setStatusBitA(inputWarning, 19);

    rfMuteState = mute;
}
