// Command manager: the slot table, requests and the 10 ms step, and the
// management and transmitter commands of slots 0 to 5, which are sent to the
// linked units and confirmed within 10 s (three resends).
#include "comtab/commandManager.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandSlots.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "links/rfDetector.h"
#include "platform/clock.h"
#include "power/ampFm.h"
#include "power/powerManagement.h"

#include <atomic>

namespace {

constexpr uint32_t kTimeoutS = 10;
constexpr uint32_t kTimeoutCs = kTimeoutS * 100;
constexpr uint8_t kRetries = 3;
constexpr uint32_t kSelectWriteWebLocal = 0x80;
constexpr uint16_t kEvWebControl = 27, kEvTxOnStatus = 2;

// The confirmation record of a confirmed command (slots 0 to 5).
struct Confirm {
    uint8_t noted;
    uint8_t retries;
    uint32_t deadline;
};

struct Slot {
    std::atomic<uint32_t> requested{0};
    std::atomic<uint32_t> running{0};
    std::atomic<uint32_t> parameter{0};
};

struct State {
    Slot slots[CMD_SLOT_COUNT];
    Confirm confirm[6] = {};
    std::atomic<bool> initialised{false};
};

State& st()
{
    static State s;
    return s;
}

bool inRange(int n)
{
    return n >= 0 && n < CMD_SLOT_COUNT;
}

// ---- Linked units --------------------------------------------------------

uint32_t unitCount()
{
    uint32_t n = getAmplifierNumber();
    return n < EXT_AMP_LINK_SLOTS ? n : EXT_AMP_LINK_SLOTS - 1;
}

bool unitConnected(uint32_t u)
{
    return UnitSlot_IsConnected(u) == 1;
}

// The RF-detector unit takes part with two or more amplifiers.
bool detectorTakesPart()
{
    return getAmplifierNumber() >= 2 && unitConnected(0);
}

// Writes one element to every connected unit (and the RF detector).
void writeUnits(uint32_t table, uint32_t element, uint32_t value, bool withDetector)
{
    for (uint32_t u = 1; u <= unitCount(); u++)
        if (unitConnected(u))
            AMP_FM_Write(u, table, element, value, 0);
    if (withDetector && detectorTakesPart())
        RF_DETEC_Write(0, table, element, value, 0);
}

// Every connected unit reports `value` in element `element` of its table 2.
bool unitsReport(uint32_t element, uint32_t value)
{
    for (uint32_t u = 1; u <= unitCount(); u++)
        if (unitConnected(u)) {
            int32_t reported = -1;
            if (AMP_FM_ReadElem(u, 2, element, &reported) != 0 || static_cast<uint32_t>(reported) != value)
                return false;
        }
    return true;
}

void sendLocal()
{
    writeUnits(5, 4, 1, true);
    logInfo("LOCAL command sent to all units\n");
    logEvent("TX Management Mode -> LOCAL\n");
}

// The units take the same write for REMOTE as for LOCAL.
void sendRemote()
{
    writeUnits(5, 4, 1, true);
    logInfo("REMOTE command sent to all units\n");
    logEvent("TX Management Mode -> REMOTE\n");
}

void sendUnlock()
{
    setLowPowerAlarmResetRequest(1);
    logInfo("Sblocco dell'allarme di sottopotenza\n");
    setIntAmpLockoutResetRequest(1);
    logInfo("Sblocco dell'amplificatore interno\n");
    LogicaTx_ClearSlaveFlag();
    logInfo("Sblocco del trasmettitore\n");
    writeUnits(5, 3, 1, false);
}

bool localConfirmed()
{
    return unitsReport(15, 0);
}

bool remoteConfirmed()
{
    return true;
}

bool onConfirmed()
{
    return getRfMuteState() == 1 && unitsReport(16, 1);
}

bool standbyConfirmed()
{
    return !onConfirmed();
}

bool lockoutCleared()
{
    return LogicaTx_CheckExtLockouts() != 1 && LogicaTx_CheckIntLockouts() != 1;
}

void setWords(int n, uint32_t requested, uint32_t running)
{
    st().slots[n].requested = requested;
    st().slots[n].running = running;
}

void arm(int n)
{
    st().confirm[n].deadline = getDeadlineCs(kTimeoutCs);
}

uint32_t nowSeconds()
{
    return static_cast<uint32_t>(clockWallSeconds());
}

// ---- Confirmed commands --------------------------------------------------

// What a confirmed command does besides the common loop.
struct Confirmed {
    const char* name;
    bool (*confirmed)();
    void (*resend)(int n);
    void (*succeeded)();
    void (*failed)();
    void (*cleared)();
};

void resendLocal(int n)
{
    (void)n;
    sendLocal();
}

void resendRemote(int n)
{
    (void)n;
    sendRemote();
}

void resendOn(int n)
{
    LogicaTx_AllUnitsOn();
    logInfo("Write LUM_TX_ON_CMD_REQ: Valore %d -- Ribadisco ON -- Tentativo %d di %d\n\n",
            static_cast<int>(st().slots[n].requested.load()), st().confirm[n].retries, kRetries);
}

void resendStandby(int)
{
    LogicaTx_AllUnitsStandby();
}

void resendUnlock(int n)
{
    logInfo("CMD_SBLOCCO retry #%d\n", st().confirm[n].retries);
    sendUnlock();
}

void localSucceeded()
{
    logInfo("CMD_LOCALE successfull\n");
    LogicaTx_SetManagementMode(1);
    if (!hasSelectWriteBits(kSelectWriteWebLocal)) {
        setEventBit(0, kEvWebControl);
        LogicaTx_SetWebControl(0);
        logInfo("WEB Control deactivated\n");
    }
    LogicaTx_SetLocalStartTime(nowSeconds());
}

void localFailed()
{
    logErr("CMD_LOCALE failed\n");
    LogicaTx_SetLocalMode(0);
}

void remoteSucceeded()
{
    logInfo("CMD_REMOTE successfull\n");
    LogicaTx_SetManagementMode(0);
    LogicaTx_SetLocalStartTime(0);
}

void remoteFailed()
{
    logErr("CMD_REMOTE failed\n");
    LogicaTx_SetLocalMode(1);
}

void webSucceeded()
{
    if (!hasSelectWriteBits(kSelectWriteWebLocal)) {
        setEventBit(1, kEvWebControl);
        LogicaTx_SetWebControl(1);
        logInfo("CMD_CNTR_WEB successfull\n");
        LogicaTx_SetLocalStartTime(nowSeconds());
    }
}

void webFailed()
{
    logErr("CMD_CNTR_WEB failed\n");
}

void webCleared()
{
    LogicaTx_SetWebControl(0);
    sendRemote();
}

void onSucceeded()
{
    LogicaTx_SetTxStartRequest(1);
    setEventBit(1, kEvTxOnStatus);
    logInfo("CMD_AVVIO successfull\n");
}

void onFailed()
{
    logErr("CMD_AVVIO failed\n");
}

void standbySucceeded()
{
    LogicaTx_SetTxStartRequest(0);
    setEventBit(0, kEvTxOnStatus);
    logInfo("CMD_ARRESTO successfull\n");
}

void standbyFailed()
{
    logErr("CMD_ARRESTO failed\n");
}

void unlockSucceeded()
{
    CMD_ResetLockout();
    logInfo("CMD_SBLOCCO successfull\n");
}

void unlockFailed()
{
    logErr("CMD_SBLOCCO failed\n");
}

const Confirmed kConfirmed[6] = {
    {"CMD_LOCALE", localConfirmed, resendLocal, localSucceeded, localFailed, nullptr},
    {"CMD_REMOTE", remoteConfirmed, resendRemote, remoteSucceeded, remoteFailed, nullptr},
    {"CMD_CNTR_WEB", localConfirmed, resendLocal, webSucceeded, webFailed, webCleared},
    {"CMD_AVVIO", onConfirmed, resendOn, onSucceeded, onFailed, nullptr},
    {"CMD_ARRESTO", standbyConfirmed, resendStandby, standbySucceeded, standbyFailed, nullptr},
    {"CMD_SBLOCCO", lockoutCleared, resendUnlock, unlockSucceeded, unlockFailed, nullptr},
};

// The start of each confirmed command.

// Notes the state the command finds; when the transmitter is already in
// `target` the command has succeeded at once and true is returned.
bool alreadyThere(int n, uint8_t noted, uint8_t target, const char* already)
{
    st().confirm[n].noted = noted;
    if (noted != target)
        return false;
    logInfo("%s", already);
    st().slots[n].running = 2;
    return true;
}

// Sends the command to the units and waits for their confirmation.
void sendAndArm(int n, void (*send)())
{
    st().slots[n].running = 1;
    st().confirm[n].retries = 0;
    send();
    arm(n);
}

void startLocal(int n)
{
    if (!alreadyThere(n, LogicaTx_GetControlMode(), 1, "Transmitter already in LOCAL mode\n"))
        sendAndArm(n, sendLocal);
}

void startRemote(int n)
{
    if (alreadyThere(n, LogicaTx_GetControlMode(), 0, "Transmitter already in REMOTE mode\n"))
        return;
    if (LogicaTx_IsLocalForcedByChangeOver() == 1) {
        st().slots[n].running = 3;
        LogicaTx_SetLocalMode(1);
        logInfo("Local forced from ChangeOver => CMD_REMOTO FAILED \n\n");
    } else {
        sendAndArm(n, sendRemote);
    }
}

void startWeb(int n)
{
    if (!alreadyThere(n, static_cast<uint8_t>(LogicaTx_GetWebControl()), 1, "Transmitter already in WEB CONTROL\n"))
        sendAndArm(n, sendLocal);
}

// CMD_AVVIO (slot 3) and CMD_ARRESTO (slot 4): each stops the other one
// while it runs; switching on is refused in lockout.
void startOnOrStandby(int n)
{
    const bool on = n == CMD_SLOT_AVVIO;
    const int other = on ? CMD_SLOT_ARRESTO : CMD_SLOT_AVVIO;
    st().slots[n].running = 1;
    if (st().slots[other].running == 1) {
        logInfo("%s running\n", kConfirmed[other].name);
        CMD_Request(other, 2);
        logInfo("%s stopped\n", kConfirmed[other].name);
    }
    LogicaTx_SetTxOnState(on ? 1 : 0);
    if (on && LogicaTx_GetLockoutState() == 1) {
        logErr("CMD_AVVIO failed: Tx is in lockout\n");
        st().slots[n].running = 3;
        return;
    }
    st().confirm[n].retries = 0;
    setWords(other, 0, 0);
    if (on)
        LogicaTx_AllUnitsOn();
    else
        LogicaTx_AllUnitsStandby();
    arm(n);
}

void startUnlock(int n)
{
    sendAndArm(n, sendUnlock);
}

void (*const kStart[6])(int) = {startLocal, startRemote, startWeb, startOnOrStandby, startOnOrStandby, startUnlock};

// The common step of slots 0 to 5.
void stepConfirmed(int n)
{
    Slot& s = st().slots[n];
    const Confirmed& k = kConfirmed[n];
    uint32_t req = s.requested;
    if (req == 1) {
        logInfo("%s requested\n", k.name);
        s.requested = 0;
        kStart[n](n);
        // A command sent is checked at once: with no unit to wait for it is
        // confirmed at the tick of its request.
        if (s.running != 1)
            return;
    } else if (req == 2) {
        if (s.running != 1)
            return;
        setWords(n, 0, 0);
        logInfo("%s cleared\n", k.name);
        if (k.cleared)
            k.cleared();
        return;
    } else if (req != 0 || s.running != 1) {
        return;
    }
    Confirm& c = st().confirm[n];
    int r = checkDeadlineCs(k.confirmed() ? 1 : 0, c.deadline, nullptr);
    if (r == 1) {
        k.succeeded();
        s.running = 2;
    } else if (r == -1) {
        uint8_t taken = c.retries++;
        if (taken >= kRetries) {
            k.failed();
            s.running = 3;
        } else {
            k.resend(n);
            arm(n);
        }
    }
}

// ---- Slot table ------------------------------------------------------------

struct SlotDef {
    const char* name;
    void (*step)(int n);
    uint8_t requestedCell[2]; // (section, item) or (0, 0): not published
    uint8_t runningCell[2];
};

const SlotDef kSlots[CMD_SLOT_COUNT] = {
    {"CMD_LOCALE", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_REMOTE", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_CNTR_WEB", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_AVVIO", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_ARRESTO", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_SBLOCCO", stepConfirmed, {0, 0}, {0, 0}},
    {"CMD_HARD_RESET", stepHardReset, {0, 0}, {0, 0}},
    {nullptr, nullptr, {0, 0}, {0, 0}},
    {"CMD_CFG_SAVE", stepCfgSave, {15, 5}, {15, 6}},
    {"CMD_CFG_LOAD", stepCfgLoad, {15, 7}, {15, 8}},
    {"CMD_ERASE_BOOKLOG", stepEraseLog, {7, 9}, {8, 9}},
    {"CMD_ERASE_EVENTLOG", stepEraseLog, {7, 10}, {8, 10}},
    {"CMD_ERASE_NET_CONFIGURATION", stepFactoryReset, {7, 12}, {8, 12}},
    {"CMD_ERASE_NET_CONFIGURATION", stepFactoryReset, {7, 12}, {8, 12}},
    {"CMD_ERASE_NET_CONFIGURATION", stepFactoryReset, {7, 12}, {8, 12}},
    {"CMD_BANK SWITCH", stepBankSwitch, {0, 0}, {0, 0}},
    {"CMD_LOAD_RF_EEPROM", stepLoadRfEeprom, {40, 45}, {40, 46}},
};

void publish(const uint8_t* cell, uint32_t v)
{
    if (cell[0] != 0)
        setDbAreaCell(cell[0], cell[1], v);
}

} // namespace

const char* CMD_SlotName(int n)
{
    return inRange(n) && kSlots[n].name ? kSlots[n].name : "";
}

void CMD_SetRawWords(int n, uint32_t requested, uint32_t running)
{
    if (inRange(n))
        setWords(n, requested, running);
}

uint32_t CMD_GetParameter(int n)
{
    return inRange(n) ? st().slots[n].parameter.load() : 0;
}

int CMD_Request(int n, uint32_t request)
{
    if (!inRange(n)) {
        logErr("Request for Command #%d FAILED -- No such command. \n\n", n);
        return 9;
    }
    if (!st().initialised) {
        logErr("Request for Command #%d FAILED -- Command manager was not inizialized. \n\n", n);
        return 9;
    }
    if (request != 2 && st().slots[n].running == 1) {
        logErr("Request for Command #%d FAILED -- Command already running. \n\n", n);
        return 9;
    }
    CMD_SetRequested(n, request);
    return 0;
}

void CMD_SetResult(int n, uint32_t v)
{
    if (inRange(n))
        st().slots[n].parameter = v;
}

void CMD_SetRequested(int n, uint32_t v)
{
    if (!inRange(n) || st().slots[n].requested.exchange(v) == v)
        return;
    publish(kSlots[n].requestedCell, v);
}

void CMD_SetRunning(int n, uint32_t v)
{
    if (!inRange(n) || st().slots[n].running.exchange(v) == v)
        return;
    publish(kSlots[n].runningCell, v);
}

uint32_t CMD_IsRequested(int n)
{
    return inRange(n) ? st().slots[n].requested.load() : 0;
}

int CMD_IsRunning(int n)
{
    return inRange(n) ? static_cast<int>(st().slots[n].running.load()) : 0;
}

void CMD_Init()
{
    for (int n = 0; n < CMD_SLOT_COUNT; n++)
        setWords(n, 0, 0);
    resetSystemCommands();
    st().initialised = true;
    CMD_RestoreManagementMode();
}

void CMD_Task()
{
    for (int n = 0; n < CMD_SLOT_COUNT; n++) {
        const Slot& s = st().slots[n];
        if ((s.requested == 1 || s.running == 1) && kSlots[n].step)
            kSlots[n].step(n);
    }
}

void CMD_ResetLockout()
{
    LogicaTx_SetLockoutState(0);
    LogicaTx_SetLockoutEvent(0);
    logInfo("Reset lockout events\n");
    LogicaTx_SetLockoutRetry(0);
    logInfo("Reset lockout counter\n");
    LogicaTx_SetLockoutStartTime(0);
    logInfo("Reset lockout start time\n");
    if (LogicaTx_GetTxOnState() == 1) {
        logInfo("Restore ON status\n");
        CMD_Request(CMD_SLOT_AVVIO, 1);
    }
}

void CMD_RestoreManagementMode()
{
    int slot;
    const char* failed;
    if (LogicaTx_GetControlMode() == 1) {
        logInfo("Restore LOCAL status\n");
        slot = CMD_SLOT_LOCALE;
        failed = "Restore LOCAL status FAILED\n";
    } else if (LogicaTx_GetWebControl() != 1) {
        logInfo("Restore REMOTE status\n");
        slot = CMD_SLOT_REMOTE;
        failed = "Restore REMOTE status FAILED\n";
    } else {
        logInfo("Restore REMOTE & WEB CONTROL status\n");
        slot = CMD_SLOT_CNTR_WEB;
        failed = "Restore REMOTE & WEB CONTROL statuss FAILED\n";
    }
    if (CMD_Request(slot, 1) != 0)
        logErr("%s", failed);
    else
        CMD_Task();
    if (LogicaTx_GetTxOnState() == 1) {
        logInfo("Restore ON status\n");
        if (CMD_Request(CMD_SLOT_AVVIO, 1) != 0) {
            logErr("Restore ON status FAILED\n");
            return;
        }
    } else {
        logInfo("Restore STBY status\n");
        if (CMD_Request(CMD_SLOT_ARRESTO, 1) != 0) {
            logErr("Restore STBY status FAILED\n");
            return;
        }
    }
    CMD_Task();
}
