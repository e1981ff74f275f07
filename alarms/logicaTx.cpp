// Transmitter logic: who controls the transmitter (LOCAL front panel or
// REMOTE clients), the keypad, the status summary, ON and stand-by of every
// unit and supply, the lockout procedure, the unit slots, the LEDs, the
// automatic return to REMOTE and the link checks. Its 10 ms step runs in
// "Ltx Thread"; the getters are read from other threads, so every field is
// one atomic word.
#include "alarms/logicaTx.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/alarmCycle.h"
#include "alarms/logicaTxConfig.h"
#include "alarms/telecommand.h"
#include "comtab/commandManager.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "hw/eepromManager.h"
#include "hw/frontPanelKeys.h"
#include "hw/smallDevices.h"
#include "links/comChannels.h"
#include "links/ethernetSettings.h"
#include "links/serialChannels.h"
#include "links/rfDetector.h"
#include "links/slaveLink.h"
#include "links/sysUnits.h"
#include "platform/clock.h"
#include "power/ampFm.h"
#include "power/powerManagement.h"
#include "power/powerSettings.h"

#include <atomic>
#include <new>
#include <cstdio>

namespace {

// EEPROM items of the logic state.
constexpr uint32_t kItemControlMode = 1, kItemWebControl = 2, kItemTxOn = 3, kItemLockout = 4,
                   kItemSlaveFlag = 5, kItemRetry = 6, kItemLockoutStart = 7, kItemLocalStart = 11;

// Event bits.
constexpr uint16_t kEvLocal = 1, kEvSummary1 = 3, kEvLockout = 13, kEvLockoutEvent = 14,
                   kEvWebControl = 27, kEvChangeOverLink = 28, kEvTxOn = 62, kEvCoMaster = 70,
                   kEvPowerChange = 72;

// Command-manager numbers.
constexpr int kCmdLocal = 0, kCmdRemote = 1, kCmdStart = 3, kCmdStop = 4, kCmdLockoutReset = 5;

constexpr uint32_t kSlotCount = 5;
constexpr uint32_t kLatchedMuteLockout = 128;

struct UnitSlot {
    uint32_t spare0;
    uint32_t connected;
    int32_t counter;
    int32_t connectThreshold;
    int32_t disconnectThreshold;
    uint32_t word5;
    uint32_t spare6;
    void (*onConnect)(uint32_t slot);
};

struct State {
    std::atomic<uint32_t> controlMode{0};
    std::atomic<uint32_t> webControl{0};
    std::atomic<uint32_t> startRequest{0};
    std::atomic<uint32_t> txOn{0};
    std::atomic<uint32_t> changeOverLink{0};
    std::atomic<uint32_t> coMasterMode{1};
    std::atomic<uint32_t> ltxLink{0};
    std::atomic<uint8_t> lockoutState{0};
    std::atomic<uint8_t> lockoutEvent{0};
    std::atomic<uint8_t> retryCount{0};
    std::atomic<uint32_t> lockoutStart{0};
    std::atomic<uint32_t> localStart{0};
    std::atomic<uint32_t> remainingLocal{0};
    std::atomic<uint32_t> coRestartDeadline{0};
    std::atomic<uint32_t> coLinkDeadline{0};
    std::atomic<uint32_t> ltxDeadline{0};
    std::atomic<uint8_t> summary[4] = {};
    std::atomic<uint8_t> powerChange{0};
    std::atomic<uint32_t> powerChangeDeadline{0};
    std::atomic<uint32_t> localForced{0};
    std::atomic<uint32_t> connectedUnits{0};
    std::atomic<uint32_t> keyWord{0};
    std::atomic<uint32_t> keyWordPublished{0xFFFFFFFFu};
    std::atomic<uint32_t> boardTemp{0xFFFFFFFFu};
    std::atomic<uint32_t> procState{0};
    std::atomic<uint32_t> retryDeadline{0};
    std::atomic<uint8_t> reflectedLockout{0};
    std::atomic<uint8_t> keyMode{0};
    std::atomic<uint8_t> slaveConnected{0};
    // Summary inputs of the previous step.
    uint8_t summaryBytes[9] = {};
    uint8_t summaryInputSetting = 0;
    UnitSlot slots[kSlotCount] = {};
};

State& st()
{
    static State s;
    return s;
}

uint32_t monoRawSeconds()
{
    struct timespec ts {};
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<uint32_t>(ts.tv_sec);
}

void writeItem8(uint32_t item, uint32_t v)
{
    uint8_t b = static_cast<uint8_t>(v);
    EEM_WriteData(&b, item, 1);
}

void writeItem32(uint32_t item, uint32_t v)
{
    uint8_t b[4];
    putU32LE(v, b);
    EEM_WriteData(b, item, 4);
}

uint8_t readItem8(uint32_t item)
{
    uint8_t b = 0;
    EEM_ReadData(&b, item, 1);
    return b;
}

uint32_t readItem32(uint32_t item)
{
    uint8_t b[4] = {};
    EEM_ReadData(b, item, 4);
    return getU32LE(b);
}

void printLine(const char* text)
{
    printf("%s\n", text);
    fflush(stdout);
}

// ---- keypad ----

void printKey(const char* name, uint16_t code)
{
    printf("AnalyzeKeyPadMsg : %s key pressed  [0x%04x] \n", name, code);
    fflush(stdout);
}

void localRemoteKey(uint16_t code, uint32_t mode)
{
    printKey("LOCAL", code);
    if (mode == 0) {
        printLine("AnalyzeKeyPadMsg : go to LOCAL ");
        logInfo("LOCAL key pressed\n");
        CMD_Request(kCmdLocal, 1);
        LogicaTx_SetLocalMode(1);
    } else {
        printLine("AnalyzeKeyPadMsg : go to REMOTE ");
        logInfo("REMOTE key pressed\n");
        CMD_Request(kCmdRemote, 1);
        LogicaTx_SetLocalMode(0);
    }
}

void lockoutResetKey(uint16_t code)
{
    printKey("LOCKOUT RESET", code);
    logInfo("LOCKOUT RESET key pressed\n");
    CMD_Request(kCmdLockoutReset, 1);
}

void AnalyzeKeyPadMsg(uint16_t code)
{
    uint32_t mode = st().controlMode.load();
    if (code == KEY_LOCAL) {
        if (st().localForced.load()) {
            logInfo("LOCAL forced from Change Over -- LOCAL key disabled\n");
            return;
        }
        localRemoteKey(code, mode);
        return;
    }
    if (mode != 1)
        return;
    if (code == KEY_STBY) {
        printKey("STBY", code);
        logInfo("STBY key pressed\n");
        CMD_Request(kCmdStop, 1);
    } else if (code == KEY_LOCKOUT) {
        lockoutResetKey(code);
    } else if (code == KEY_ON) {
        printKey("ON", code);
        logInfo("ON key pressed\n");
        CMD_Request(kCmdStart, 1);
    }
}

void AnalyzeKeyPadMsgSlave(uint16_t code)
{
    if (code == KEY_LOCKOUT)
        lockoutResetKey(code);
    else if (code == KEY_LOCAL && st().slaveConnected.load() == 0)
        localRemoteKey(code, st().controlMode.load());
}

void keypadStep()
{
    uint16_t code = detectKeyPress();
    if (code == 0)
        return;
    LogicaTx_SetKeyLockWord(code);
    switch (getExciterMode()) {
    case 0: AnalyzeKeyPadMsg(code); break;
    case 1: AnalyzeKeyPadMsgSlave(code); break;
    default: break;
    }
}

// ---- status summary ----

void setSummaryFlag(int n, uint8_t v)
{
    if (st().summary[n].exchange(v) != v)
        setEventBit(v, static_cast<uint16_t>(kEvSummary1 + n - 1));
}

} // namespace

void LogicaTx_StatusSummaryStep()
{
    State& s = st();
    uint8_t b[9];
    bool changed = false;
    for (uint32_t k = 0; k < 9; k++) {
        b[k] = getEventBitmapByte(k);
        changed |= b[k] != s.summaryBytes[k];
    }
    uint8_t setting = getInputAlarmVsTxStatus();
    changed |= setting != s.summaryInputSetting;
    if (changed) {
        for (int k = 0; k < 9; k++)
            s.summaryBytes[k] = b[k];
        s.summaryInputSetting = setting;
        bool inputCounts = setting == 0 || setting == 2;
        uint8_t f1 = (b[0] & 0xA0) || (b[1] & 0xA0) || (b[2] & (inputCounts ? 0xD4 : 0xD2)) || (b[3] & 0x23);
        uint8_t f2 = (b[0] & 0x40) || (b[1] & 0x59) || (b[2] & (inputCounts ? 0x2A : 0x28)) || (b[3] & 0x90);
        uint8_t f3 = (b[1] & 0x10) || (b[4] & 0x43);
        setSummaryFlag(1, f1);
        setSummaryFlag(2, f2);
        setSummaryFlag(3, f3);
    }
    // The end of a power change: the RF output reached its state, or the
    // power-up time ran out.
    uint32_t deadline = s.powerChangeDeadline.load();
    int r = checkDeadlineCs(getRfOutputState(), deadline, nullptr);
    if (r == 1 || (r == -1 && deadline != 0)) {
        s.powerChangeDeadline = 0;
        LogicaTx_SetTxStatus(0);
    }
}

namespace {

void boardTemperatureStep()
{
    uint32_t t = static_cast<uint16_t>((getPowerTableWord(7) & 0xFFFF) - getTemperatureOffset());
    if (st().boardTemp.exchange(t) != t)
        setDbAreaCell(6, 13, t);
}

// ---- lockout ----

void lockoutCheck()
{
    State& s = st();
    if (s.lockoutState.load() == 1)
        return;
    if (CMD_IsRunning(kCmdLockoutReset) == 1 || CMD_IsRunning(kCmdStop) == 1 || CMD_IsRunning(kCmdStart) == 1)
        return;
    if (LogicaTx_CheckExtLockouts() == 1) {
        LogicaTx_AllUnitsStandby();
        logEvent("LOCKOUT forced\n\n");
        LogicaTx_SetLockoutEvent(0);
        LogicaTx_SetLockoutState(1);
        LogicaTx_SetLockoutRetry(0);
        LogicaTx_SetLockoutStartTime(0);
        return;
    }
    if (s.startRequest.load() == 0)
        s.procState = 0;
    switch (s.procState.load()) {
    case 1: {
        uint32_t now = monoRawSeconds();
        if (s.lockoutStart.load() == 0) {
            logEvent("Start of the LOCKOUT test period\n");
            LogicaTx_SetLockoutStartTime(now);
            LogicaTx_SetLockoutEvent(1);
        }
        LogicaTx_AllUnitsStandby();
        s.retryDeadline = now + getWaitBeforeRetry();
        s.procState = 2;
        break;
    }
    case 2: {
        if (monoRawSeconds() <= s.retryDeadline.load())
            break;
        s.retryDeadline = 0;
        LogicaTx_AllUnitsOn();
        setAlarmState(kLatchedMuteLockout, 0);
        setAmpLockoutFlag(0);
        uint8_t n = static_cast<uint8_t>(s.retryCount.load() + 1);
        LogicaTx_SetLockoutRetry(n);
        logEvent("LOCKOUT procedure -- retry #%d\n", n);
        s.procState = 0;
        break;
    }
    case 0:
        if (LogicaTx_CheckIntLockouts() != 1) {
            uint32_t start = s.lockoutStart.load();
            if (start != 0 && monoRawSeconds() > start + 60u * getLockoutProcTime()) {
                logInfo("LOCKOUT test period expired => Clean all information\n");
                LogicaTx_SetLockoutEvent(0);
                LogicaTx_SetLockoutRetry(0);
                LogicaTx_SetLockoutStartTime(0);
            }
        } else if (s.retryCount.load() >= getRetryBeforeLockout()) {
            logEvent("Max retry reached : LOCKOUT\n");
            LogicaTx_AllUnitsStandby();
            LogicaTx_SetLockoutEvent(0);
            LogicaTx_SetLockoutState(1);
            setLastValidHpsVout(0);
            setLastValidVdac(0);
            if (s.reflectedLockout.load() == 1) {
                writeItem8(kItemSlaveFlag, 1);
                setPowerRuntimeFlag(1);
            }
            LogicaTx_SetLockoutRetry(0);
            LogicaTx_SetLockoutStartTime(0);
        } else {
            s.procState = 1;
        }
        break;
    default: break;
    }
}

// ---- power supplies ----

// Sends the mode to every present supply, then reads each back up to ten
// times, sending it again from the sixth failed read-back.
void switchSupplies(uint8_t mode)
{
    uint32_t count = getPsuCount();
    for (uint32_t i = 0; i < count && i < 3; i++) {
        if (!isPsuPresent(i))
            continue;
        setPsuOperationMode(i, mode);
        if (mode == 0)
            applySpsMinFanSpeed(i, 0);
        clockSleepUs(100);
    }
    for (uint32_t i = 0; i < count && i < 3; i++) {
        if (!isPsuPresent(i))
            continue;
        int failed = 0;
        while (failed < 10) {
            if (getPsuOperationState(i) == mode)
                break;
            failed++;
            clockSleepUs(50000);
            if (failed >= 6)
                setPsuOperationMode(i, mode);
        }
        if (failed >= 10)
            logInfo("PSU_%d: OperationMode setting fail\n", static_cast<int>(i + 1));
    }
}

// ---- LEDs ----

void ledStep()
{
    State& s = st();
    setLedBits(2, s.controlMode.load() == 1);
    uint32_t on = getTxOnState() == 1;
    setLedBits(4, on);
    setLedBits(8, !on);
    bool alarm = s.summary[2].load() || s.summary[3].load();
    setLedBits(16, alarm);
    setLedBits(4096, !alarm && s.summary[1].load());
    bool inAlarm = getInputAlarmSummary() == 1;
    setLedBits(1, inAlarm);
    setLedBits(256, !inAlarm && getInputWarningSummary() == 1);
    bool ref = (getFreqRefLockFlag() != 0 && getNetMode() == 0) || (getNetMode() == 1 && getTimeRefLocked() != 0);
    setLedBits(32, ref);
    setLedBits(512, s.webControl.load() == 1 && !hasSelectWriteBits(128));
}

// ---- back to REMOTE, links ----

void AutoBackToRemote()
{
    State& s = st();
    if (getLocalTimeEnable() == 0) {
        LogicaTx_SetLocalStartTime(0);
        return;
    }
    uint32_t start = s.localStart.load();
    if (start == 0 || s.controlMode.load() != 1)
        return;
    int64_t left = 3600LL * getLocalMaxTime() + start - static_cast<int64_t>(clockWallSeconds());
    uint32_t remaining = left < 1 ? 0 : static_cast<uint32_t>(left);
    s.remainingLocal = remaining;
    setDbAreaCell(13, 8, remaining);
    if (remaining == 0) {
        logInfo("CMD_CNTR_REMOTO request from AutoBackToRemote\n");
        CMD_Request(kCmdRemote, 1);
        LogicaTx_SetLocalStartTime(0);
    }
}

bool expired(std::atomic<uint32_t>& deadline)
{
    uint32_t d = deadline.load();
    return d != 0 && checkDeadlineCs(0, d, nullptr) == -1;
}

void changeOverLinkCheck()
{
    State& s = st();
    if (expired(s.coRestartDeadline)) {
        s.coRestartDeadline = 0;
        COM_ReopenSerialChannel(2);
        logInfo("RESTART Change Over connection \n\n");
    }
    if (expired(s.coLinkDeadline)) {
        s.coLinkDeadline = 0;
        LogicaTx_SetChangeOverLink(0);
        logInfo("Change Over disconnection detected \n\n");
    }
}

void ltxLinkCheck()
{
    State& s = st();
    if (!expired(s.ltxDeadline))
        return;
    s.ltxDeadline = 0;
    s.ltxLink = 0;
    logInfo("LTX disconnection detected \n\n");
    if (getExciterMode() == 1) {
        printLine("        {LTX}   IsolatedSlave ---  TIME-OUT --- ");
        s.slaveConnected = 0;
    }
}

} // namespace

// ---- life cycle ----

void LogicaTx_SetDefaults()
{
    LogicaTx_ApplyKeyDefaults();
    // The power settings, through their setters.
    setTransmitterNominalPower(300, 0);
    setTransmitterLowPowerAlarmThreshold(30);
    setTransmitterReflectedPowerAlarmThreshold(100);
    setTransmitterLowPowerWarningThreshold(15);
    setTransmitterReflectedPowerWarningThreshold(150);
    setTransmitterPowerUpTime(65);
    setExciterNominalPower(300, 0);
    setExciterLowPowerAlarmThreshold(30);
    setExciterLowPowerWarningThreshold(15);
    setExternalAmplifierReferencePower(400000);
    setDeratingOverride(0);
    setPwrDeratingTemperature(72);
    setPwrDeratingFactor(30);
    setPwrProgDeratingEnable(0);
    setPwrProgDeratingFactor(30);
    setPwrProgDeratingTimeStart(0);
    setPwrProgDeratingTimeStop(360);
    setPwrProgDeratingDayWeek(127);
    ETHM_SetDefaultCfgEth0();
    ETHM_SetDefaultCfgEth1();
}

void LogicaTx_Init()
{
    EEM_Init(1, 1, EEM_MODE_EMUL);
    for (UnitSlot& slot : st().slots)
        slot = UnitSlot{};
    st().connectedUnits = 0;
    setDbAreaCell(13, 15, 0);
    // Before the logic state is restored, which may set the power runtime
    // flag from its EEPROM item.
    powerManagementInit();
    LogicaTx_InitSettings();
    COM_OpenChannels();
    publishLinearNominalPower();
    CMD_Init();
    TLC_SetMode();
    if (getExciterMode() == 0) {
        SYS_Initialize();
        SYS_Configure();
    } else {
        vrlSlaveInitialized();
        vrlSlaveConfigured();
    }
}

void LogicaTx_Task()
{
    EEM_Task();
    CMD_Task();
    COM_PollChannels();
    keypadStep();
    LogicaTx_StatusSummaryStep();
    boardTemperatureStep();
    lockoutCheck();
    ledStep();
    powerManagementTask();
    AutoBackToRemote();
    TLC_InputTask();
    TLC_Task();
    switch (getExciterMode()) {
    case 0:
        SYS_UnitsTick();
        changeOverLinkCheck();
        break;
    case 1:
        vrlSlaveTic();
        ltxLinkCheck();
        break;
    default: break;
    }
}

void LogicaTx_RestoreFromEeprom()
{
    State& s = st();
    s.controlMode = readItem8(kItemControlMode);
    setEventBit(s.controlMode.load() != 0, kEvLocal);
    s.webControl = readItem8(kItemWebControl);
    setEventBit(s.webControl.load() != 0, kEvWebControl);
    s.txOn = readItem8(kItemTxOn);
    setEventBit(s.txOn.load() != 0, kEvTxOn);
    s.lockoutState = readItem8(kItemLockout);
    setEventBit(s.lockoutState.load() != 0, kEvLockout);
    setStatusBitA(s.lockoutState.load() != 0, kEvLockout);
    if (s.lockoutState.load() == 1)
        logErr("LOCKOUT detected from EEPROM\n\n");
    if (readItem8(kItemSlaveFlag) == 1)
        setPowerRuntimeFlag(1);
    s.retryCount = readItem8(kItemRetry);
    setDbAreaCell(13, 1, s.retryCount.load());
    if (s.retryCount.load() != 0) {
        s.lockoutEvent = 1;
        setEventBit(1, kEvLockoutEvent);
        setStatusBitA(1, kEvLockoutEvent);
        logInfo("LOCKOUT procedure was running -- retry #%d \n\n", s.retryCount.load());
    }
    // The start time was taken on the monotonic clock of the previous run,
    // which restarted with this one: a test period that was running starts
    // again now, so it lasts its full length after the restart.
    uint32_t start = readItem32(kItemLockoutStart);
    if (start != 0) {
        start = monoRawSeconds();
        if (start == 0)
            start = 1;
        writeItem32(kItemLockoutStart, start);
    }
    s.lockoutStart = start;
    setDbAreaCell(13, 2, start);
    s.localStart = readItem32(kItemLocalStart);
    LogicaTx_SetChangeOverLink(0);
    LogicaTx_SetChangeOverMasterMode(1);
    s.ltxLink = 0;
    for (int n = 1; n <= 3; n++) {
        s.summary[n] = 0;
        setEventBit(0, static_cast<uint16_t>(kEvSummary1 + n - 1));
    }
    s.powerChange = 0;
    setEventBit(0, kEvPowerChange);
    s.powerChangeDeadline = 0;
    s.localForced = 0;
    s.keyMode = 0;
    setDbAreaCell(13, 51, 0);
}

// ---- ON and stand-by ----

void LogicaTx_AllUnitsStandby()
{
    setTxOnState(0);
    if (getAmpFamily() == 1)
        switchSupplies(0);
    if (getVendorId() == 1)
        setAmpCmdBits(0x20, 1);
    else if (getAmplifierNumber() > 0)
        setAmpCmdBits(0x20, 0);
    logInfo("STBY command sent to all units\n");
    eventLogOnly(LVL_INFO, "STBY command sent to all units\n");
    logEvent("TX Status -> STBY \n");
}

void LogicaTx_AllUnitsOn()
{
    LogicaTx_SetTxStatus(1);
    setTxOnState(1);
    if (getAmpFamily() == 1) {
        switchSupplies(1);
        if (getHpsCode() == 1 && getHpaModelCode() == 4)
            getPsuOperationModeSummary(0, getDriverPower() > 570 ? 0 : 25);
    }
    if (getVendorId() == 1)
        setAmpCmdBits(0x20, 0);
    else if (getAmplifierNumber() > 0)
        setAmpCmdBits(0x20, 1);
    logInfo("ON command sent to all units\n");
    eventLogOnly(LVL_INFO, "ON command sent to all units\n");
    logEvent("TX Status -> ON\n");
}

void LogicaTx_SetTxStatus(uint8_t flag)
{
    State& s = st();
    if (s.powerChange.load() != flag) {
        s.powerChange = flag;
        setEventBit(flag != 0, kEvPowerChange);
        if (flag == 1)
            logEvent("TX Power Change --> START\n");
        else if (s.lockoutState.load())
            logEvent("TX Power Change <-- STOP [LOCKOUT]\n");
        else
            logEvent("TX Power Change <-- STOP [%.1f dBm]\n",
                     (getTransmitterNominalPower() - getDeratedPower()) / 10.0);
    }
    s.powerChangeDeadline = flag == 1 ? getDeadlineCs(100 * getTransmitterPowerUpTime()) : 0;
}

uint8_t LogicaTx_IsPowerChanging()
{
    return st().powerChange.load();
}

// ---- lockout causes ----

int LogicaTx_CheckExtLockouts()
{
    int r = 0;
    int32_t detectorLockout = 0;
    if (getMultiAmplifierTransmitter() == 1 && UnitSlot_IsConnected(0) && RF_DETEC_Read(0, 2, 11, &detectorLockout) == 0 &&
        detectorLockout == 1) {
        logEvent("RF DETECTOR lockout detected\n");
        r = 1;
    }
    int32_t ampLockout = -1;
    if (getAmplifierNumber() == 1 && getMultiAmplifierTransmitter() == 0 && UnitSlot_IsConnected(1) &&
        AMP_FM_ReadElem(1, 2, 17, &ampLockout) == 0 && ampLockout == 1) {
        logEvent("Ext. AMPLIFIER lockout detected\n");
        r = 1;
    }
    return r;
}

int LogicaTx_CheckIntLockouts()
{
    int r = 0;
    if (getAlarmState(kLatchedMuteLockout) == 1) {
        logEvent("VRL Internal Amplifier Mute Lockout detected\n");
        r = 1;
    }
    if (getAmplifierNumber() == 0 && getPowerRuntimeFlag() == 1) {
        st().reflectedLockout = 1;
        logEvent("VRL Reflected Power Alarm detected\n");
        r = 1;
    }
    return r;
}

// ---- accessors ----

void LogicaTx_SetLockoutState(uint8_t state)
{
    State& s = st();
    uint8_t old = s.lockoutState.exchange(state);
    setEventBit(state != 0, kEvLockout);
    setStatusBitA(state != 0, kEvLockout);
    if (old != state)
        writeItem8(kItemLockout, state);
}

uint8_t LogicaTx_GetLockoutState()
{
    return st().lockoutState.load();
}

// The lockout event is the lockout warning: event 14 and delayed bit 14,
// which the SMS alarms read as the warning (13 is the lockout itself).
void LogicaTx_SetLockoutEvent(uint8_t v)
{
    st().lockoutEvent = v;
    setEventBit(v != 0, kEvLockoutEvent);
    setStatusBitA(v != 0, kEvLockoutEvent);
}

uint8_t LogicaTx_GetLockoutEvent()
{
    return st().lockoutEvent.load();
}

void LogicaTx_SetLockoutRetry(uint8_t v)
{
    uint8_t old = st().retryCount.exchange(v);
    setDbAreaCell(13, 1, v);
    if (old != v)
        writeItem8(kItemRetry, v);
}

uint8_t LogicaTx_GetLockoutRetry()
{
    return st().retryCount.load();
}

void LogicaTx_SetLockoutStartTime(uint32_t v)
{
    uint32_t old = st().lockoutStart.exchange(v);
    setDbAreaCell(13, 2, v);
    if (old != v)
        writeItem32(kItemLockoutStart, v);
}

uint32_t LogicaTx_GetLockoutStartTime()
{
    return st().lockoutStart.load();
}

uint32_t LogicaTx_GetLockoutProcState()
{
    return st().procState.load();
}

void LogicaTx_SetLocalStartTime(uint32_t seconds)
{
    if (st().localStart.exchange(seconds) != seconds)
        writeItem32(kItemLocalStart, seconds);
}

uint32_t LogicaTx_GetLocalStartTime()
{
    return st().localStart.load();
}

void LogicaTx_ClearSlaveFlag()
{
    writeItem8(kItemSlaveFlag, 0);
    setPowerRuntimeFlag(0);
    st().reflectedLockout = 0;
}

uint8_t LogicaTx_GetSummaryFlag(uint8_t n)
{
    return n >= 1 && n <= 3 ? st().summary[n].load() : 0;
}

uint8_t LogicaTx_GetOwnLinkAddress()
{
    return static_cast<uint8_t>(getControlSerialAddress());
}

uint32_t LogicaTx_GetKeyLockWord()
{
    return st().keyWord.load();
}

void LogicaTx_SetKeyLockWord(uint32_t word)
{
    st().keyWord = word;
    if (st().keyWordPublished.exchange(word) != word)
        setDbAreaCell(13, 19, word);
}

void LogicaTx_SetKeyMode(uint32_t mode)
{
    if (mode < 3) {
        st().keyMode = static_cast<uint8_t>(mode);
        setDbAreaCell(13, 51, mode);
    }
}

uint8_t LogicaTx_GetCommandWord()
{
    return st().keyMode.load();
}

void LogicaTx_SetSlaveConnected(uint8_t v)
{
    st().slaveConnected = v;
}

uint8_t LogicaTx_GetSlaveConnected()
{
    return st().slaveConnected.load();
}

void LogicaTx_ArmLtxDeadline(uint8_t arm)
{
    uint32_t d = 0;
    if (arm) {
        d = getDeadlineCs(100u * getLTXConnectionTimeout());
        if (d == 0)
            d = 1; // 0 means not armed
    }
    st().ltxDeadline = d;
}

void LogicaTx_StartBackToRemoteTimer(uint8_t arm)
{
    LogicaTx_ArmLtxDeadline(arm);
}

void LogicaTx_SetLocalForcedByChangeOver(uint8_t v)
{
    st().localForced = v;
}

uint8_t LogicaTx_IsLocalForcedByChangeOver()
{
    return static_cast<uint8_t>(st().localForced.load());
}

uint32_t LogicaTx_GetChangeOverLink()
{
    return st().changeOverLink.load();
}

void LogicaTx_SetChangeOverLink(uint32_t v)
{
    st().changeOverLink = v;
    setEventBit(v != 0, kEvChangeOverLink);
}

void LogicaTx_ChangeOverMessageSeen()
{
    State& s = st();
    s.coLinkDeadline = getDeadlineCs(100u * getChangeOverConnectionTimeout());
    if (s.changeOverLink.load() == 0)
        LogicaTx_SetChangeOverLink(1);
    s.coRestartDeadline = getDeadlineCs(1500);
}

uint32_t LogicaTx_GetChangeOverMasterMode()
{
    return st().coMasterMode.load();
}

void LogicaTx_SetChangeOverMasterMode(uint32_t v)
{
    st().coMasterMode = v;
    setEventBit(v != 0, kEvCoMaster);
}

uint32_t LogicaTx_GetLtxLink()
{
    return st().ltxLink.load();
}

void LogicaTx_SetLtxLink(uint32_t v)
{
    st().ltxLink = v;
}

uint8_t LogicaTx_GetControlMode()
{
    return static_cast<uint8_t>(st().controlMode.load());
}

void LogicaTx_SetManagementMode(uint8_t mode)
{
    st().controlMode = mode;
    setEventBit(mode != 0, kEvLocal);
}

void LogicaTx_SetLocalMode(uint8_t mode)
{
    writeItem8(kItemControlMode, mode);
    LogicaTx_ArmLtxDeadline(mode == 1 ? 0 : 1);
}

uint32_t LogicaTx_GetTxOnState()
{
    return st().txOn.load();
}

void LogicaTx_SetTxOnState(uint32_t v)
{
    st().txOn = v;
    setEventBit(v != 0, kEvTxOn);
    writeItem8(kItemTxOn, getExciterMode() == 0 ? v : 0);
}

uint32_t LogicaTx_GetTxStartRequest()
{
    return st().startRequest.load();
}

void LogicaTx_SetTxStartRequest(uint32_t v)
{
    st().startRequest = v;
}

uint32_t LogicaTx_GetWebControl()
{
    return st().webControl.load();
}

void LogicaTx_SetWebControl(uint32_t v)
{
    st().webControl = v;
    setEventBit(v != 0, kEvWebControl);
    writeItem8(kItemWebControl, v);
}

// ---- unit slots ----

void UnitSlot_Configure(uint32_t slot, int32_t connectThreshold, int32_t disconnectThreshold,
                        void (*onConnect)(uint32_t slot))
{
    if (slot >= kSlotCount)
        return;
    UnitSlot& u = st().slots[slot];
    u.connectThreshold = connectThreshold;
    u.disconnectThreshold = disconnectThreshold;
    u.onConnect = onConnect;
}

void UnitSlot_SetConnected(uint32_t slot)
{
    if (slot >= kSlotCount)
        return;
    State& s = st();
    UnitSlot& u = s.slots[slot];
    if (u.connected) {
        if (u.counter < 0)
            u.counter = 0;
        return;
    }
    if (u.counter < u.connectThreshold)
        u.counter++;
    if (u.counter < u.connectThreshold)
        return;
    u.counter = 0;
    u.connected = 1;
    uint32_t mask = s.connectedUnits.fetch_or(1u << slot) | (1u << slot);
    setDbAreaCell(13, 15, mask);
    logInfo("Unit on slot %d CONNECTED \n\n", static_cast<int>(slot));
    if (u.onConnect)
        u.onConnect(slot);
}

void UnitSlot_SetDisconnected(uint32_t slot)
{
    if (slot >= kSlotCount)
        return;
    State& s = st();
    UnitSlot& u = s.slots[slot];
    if (!u.connected) {
        if (u.counter > 0)
            u.counter = 0;
        return;
    }
    if (u.counter > -u.disconnectThreshold)
        u.counter--;
    if (u.counter > -u.disconnectThreshold)
        return;
    u.counter = 0;
    u.connected = 0;
    u.word5 = 0;
    uint32_t mask = s.connectedUnits.fetch_and(~(1u << slot)) & ~(1u << slot);
    setDbAreaCell(13, 15, mask);
    logErr("Unit on slot %d DISCONNECTED \n\n", static_cast<int>(slot));
}

uint32_t UnitSlot_IsConnected(uint32_t slot)
{
    return slot < kSlotCount ? st().slots[slot].connected : 0;
}

uint32_t LogicaTx_GetConnectedUnits()
{
    return st().connectedUnits.load();
}

uint32_t LogicaTx_GetLtxDeadline()
{
    return st().ltxDeadline.load();
}

void LogicaTx_ResetForTest()
{
    // The state holds atomics: rebuilt in place rather than assigned.
    State& s = st();
    s.~State();
    new (&s) State();
}
