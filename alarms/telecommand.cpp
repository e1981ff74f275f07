// Telecommand inputs and telesignal outputs. Every 10 ms the input lines are
// read; continuous lines pass a three-sample filter, impulsive lines are
// recognised as pulses of 6 to 179 hundredths; the changed bits go to the
// role of the unit (master, slave, change-over, EXTERN). The outputs report
// the transmitter's state on the telesignal lines.
#include "alarms/telecommand.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "hw/eepromManager.h"
#include "hw/smallDevices.h"
#include "links/comChannels.h"
#include "power/powerManagement.h"

#include <cstdio>

namespace {

constexpr int kCmdLocal = 0, kCmdRemote = 1, kCmdStart = 3, kCmdStop = 4, kCmdLockoutReset = 5,
              kCmdReserveConfig = 9;
// Debug-mask bit of the telecommand lines on standard output.
constexpr uint32_t kDebugTlc = 1u << 29;
// Pulse lengths in hundredths of a second.
constexpr uint32_t kPulseMin = 6, kPulseMax = 179, kPulseBlocked = 1500;

struct State {
    uint32_t impulsiveMask = 0;
    uint32_t pending = 0;
    bool firstPass = true;
    uint32_t lastRaw = 0;
    uint32_t samples[3] = {};
    uint32_t index = 0;
    uint32_t filtered = 0;
    uint32_t input = 0;
    uint32_t blocked = 0;
    uint32_t pulseStart = 0;
    uint32_t pulseCode = 0;
};

State& st()
{
    static State s;
    return s;
}

bool debugTlc()
{
    return (debugModuleMask.load() & kDebugTlc) != 0;
}

bool extensionPresent()
{
    return getTlcTlsExtended() == 1 && getTlcTlsExtDetected() == 1;
}

bool changeOverExtension()
{
    return getVendorId() == 1 && getNplus1CoExtension() == 1;
}

// The line level of a bit of the current input word.
bool active(uint32_t bit)
{
    return (st().input >> bit & 1u) != 0;
}

void notInRemote()
{
    logErr("Tx not in REMOTE -- Cannot execute TLC\n");
}

// The ON condition of the slave and change-over roles: stopped, or ON with
// no start request.
bool mayStart()
{
    uint32_t on = LogicaTx_GetTxOnState(), req = LogicaTx_GetTxStartRequest();
    return on == 0 || (on == 1 && req == 0);
}

bool mayStop()
{
    uint32_t on = LogicaTx_GetTxOnState(), req = LogicaTx_GetTxStartRequest();
    return on == 1 || (on == 0 && req == 1);
}

void requestIfIdle(int n)
{
    if (CMD_IsRunning(n) != 1)
        CMD_Request(n, 1);
}

void masterRole(uint32_t& pending)
{
    uint8_t mode = LogicaTx_GetControlMode();
    for (uint32_t bit = 1; bit <= 9 && pending != 0; bit++) {
        if (!(pending >> bit & 1u))
            continue;
        pending &= ~(1u << bit);
        bool on = active(bit);
        switch (bit) {
        case 1:
            logInfo("TLC TX_ON requested\n");
            if (mode == 1) {
                notInRemote();
            } else {
                logInfo("CMD_AVVIO requested from TLC [MASTER]\n");
                CMD_Request(kCmdStart, 1);
            }
            break;
        case 2:
            logInfo("TLC TX_STBY requested\n");
            if (debugTlc())
                printf("TLC TX_STBY requested\n");
            if (mode == 1) {
                notInRemote();
                if (debugTlc())
                    printf("Tx not in REMOTE -- Cannot execute TLC\n");
            } else {
                logInfo("CMD_ARRESTO requested from TLC [MASTER]\n");
                CMD_Request(kCmdStop, 1);
            }
            break;
        case 3: logInfo("TLC TX_HR requested\n"); break;
        case 4:
            if (getLocalFromChangeOver() == 1) {
                if (on) {
                    logInfo("LOCAL forced from Change Over\n");
                    LogicaTx_SetChangeOverLink(1);
                    setDbAreaCell(3, 2, 2);
                    LogicaTx_SetLocalForcedByChangeOver(1);
                    CMD_Request(kCmdLocal, 1);
                } else {
                    logInfo("LOCAL NOT forced from Change Over\n");
                    LogicaTx_SetLocalForcedByChangeOver(0);
                    uint8_t item = 0;
                    EEM_ReadData(&item, 1, 1);
                    CMD_Request(item == 1 ? kCmdLocal : kCmdRemote, 1);
                }
            } else if (on) {
                logInfo("CO_PRES present\n");
                LogicaTx_SetChangeOverLink(1);
                setDbAreaCell(3, 2, 2);
            } else {
                logInfo("CO_PRES absent\n");
                LogicaTx_SetChangeOverLink(0);
                setDbAreaCell(3, 2, 1);
            }
            break;
        case 5:
            logInfo(on ? "Change Over in MASTER Mode\n" : "Change Over in NO MASTER Mode\n");
            LogicaTx_SetChangeOverMasterMode(on ? 1 : 0);
            break;
        case 6:
            if (getInputSelFromTlc() == 1) {
                logInfo(on ? "Input selection SECONDARY from TLC\n" : "Input selection PRIMARY from TLC\n");
                setInputSelection(on ? 1 : 0);
            }
            break;
        case 7: logErr("unknown TLC\n"); break;
        default: break;
        }
    }
}

void slaveRole(uint32_t& pending)
{
    for (uint32_t bit = 1; bit <= 6; bit++) {
        if (!(pending >> bit & 1u))
            continue;
        pending &= ~(1u << bit);
        bool on = active(bit);
        if (bit == 1 && !hasSelectWriteBits(0x4000)) {
            if (on && mayStart()) {
                logInfo("CMD_AVVIO requested from TLC [SLAVE]\n");
                requestIfIdle(kCmdStart);
            } else if (!on && mayStop()) {
                logInfo("CMD_ARRESTO requested from TLC [SLAVE]\n");
                requestIfIdle(kCmdStop);
            }
        } else if (bit == 2) {
            printf("ADDR_TLC\n");
            uint32_t addr = on ? 0x58 : 0x59;
            logInfo("Addr 0x%X requested\n", addr);
            printf("Addr 0x%X requested\n", addr);
            COM_OpenSocketChannel(on ? 1 : 0);
            logInfo("Slave socket channel opened for %s\n", on ? "DRV_B" : "DRV_A");
            printf("Slave socket channel opened for %s\n", on ? "DRV_B" : "DRV_A");
            setControlSerialAddress(addr);
        } else if (bit == 3) {
            logInfo("TLC TX_HR requested\n");
        }
    }
    fflush(stdout);
}

void changeOverRole(uint32_t& pending)
{
    if (pending == 0)
        return;
    if (LogicaTx_GetControlMode() == 1) {
        notInRemote();
        pending = 0;
        return;
    }
    if (pending & 1u) {
        logInfo(active(0) ? "INTERLOCK present\n" : "INTERLOCK absent\n");
        pending &= ~1u;
    }
    if ((pending & 0x20u) && getNplus1CoDisableTlc() == 0) {
        if (active(5) && mayStart()) {
            logInfo("CMD_AVVIO requested from CHANGEOVER\n");
            requestIfIdle(kCmdStart);
        } else if (!active(5) && mayStop()) {
            logInfo("CMD_ARRESTO requested from CHANGEOVER\n");
            requestIfIdle(kCmdStop);
        }
    }
    pending &= ~0x20u;
    if (pending & 0x40u) {
        logInfo("CMD_SBLOCCO requested from CHANGEOVER\n");
        requestIfIdle(kCmdLockoutReset);
        pending &= ~0x40u;
    }
    if (pending & 0x16u) {
        // Preset id from the line levels of bits 1, 2 and 4 (bit 1 lowest),
        // a line counting when it is inactive.
        uint32_t id = (active(1) ? 0 : 1) | (active(2) ? 0 : 2) | (active(4) ? 0 : 4);
        printf("PRESET_TLC_BRELKA -- preset_id %u [tlc_req=0x%X]\n", id, pending);
        fflush(stdout);
        if (id >= 1 && id <= 6 && CMD_IsRunning(kCmdReserveConfig) != 1) {
            logInfo("CMD_RSV_CFG_LOAD [Tx %u] requested from CHANGEOVER\n", id);
            CMD_SetResult(kCmdReserveConfig, id);
            CMD_Request(kCmdReserveConfig, 1);
        }
        pending &= ~0x16u;
    }
}

void externRole(uint32_t& pending)
{
    if ((pending >> 10) == 0)
        return;
    if (LogicaTx_GetControlMode() == 1) {
        notInRemote();
        pending &= 0x3FFu;
        return;
    }
    if (getNplus1CoDisableTlc() == 0) {
        if ((pending & (1u << 11)) && mayStart()) {
            logInfo("CMD_AVVIO requested from EXTERN\n");
            requestIfIdle(kCmdStart);
        }
        if ((pending & (1u << 12)) && mayStop()) {
            logInfo("CMD_ARRESTO requested from EXTERN\n");
            requestIfIdle(kCmdStop);
        }
    }
    if ((pending & (1u << 10)) && active(10)) {
        logInfo("CMD_SBLOCCO requested from EXTERN\n");
        requestIfIdle(kCmdLockoutReset);
    }
    uint32_t presetMask = 0x3E000u;
    if (getRegionalDSFromTLC() == 1) {
        presetMask = 0x1E000u;
        if (pending & (1u << 17)) {
            if (active(17)) {
                if (getRegionalDSN() != getCurrentRDSDSN()) {
                    logInfo("TLC: Switch RDS DataSet to Regional\n");
                    setStandbyRDSDSN(getCurrentRDSDSN());
                    setCurrentRDSDSN(getRegionalDSN());
                }
            } else {
                logInfo("TLC: Switch RDS DataSet to Normal\n");
                setCurrentRDSDSN(getStandbyRDSDSN());
            }
        }
    }
    uint32_t preset = pending & presetMask;
    if (preset != 0 && (preset & (preset - 1)) == 0) {
        uint32_t id = static_cast<uint32_t>(__builtin_ctz(preset)) - 12;
        printf("PRESET_TLC_EXT -- preset_id %u [tlc_req=0x%X]\n", id, pending);
        fflush(stdout);
        if (CMD_IsRunning(kCmdReserveConfig) != 1) {
            logInfo("CMD_RSV_CFG_LOAD [Tx %u] requested from EXTERN\n", id);
            CMD_SetResult(kCmdReserveConfig, id);
            CMD_Request(kCmdReserveConfig, 1);
        }
    }
    pending &= 0x3FFu;
}

} // namespace

void TLC_SetMode()
{
    State& s = st();
    s = State{};
    s.firstPass = true;
    uint8_t exciterMode = getExciterMode();
    if (exciterMode == 0 && changeOverExtension()) {
        s.impulsiveMask = 0x48;
    } else if (exciterMode == 0 && getTLCType() != 1) {
        logInfo("TLC set to impulsive\n");
        s.impulsiveMask = 0x0E;
        if (extensionPresent())
            s.impulsiveMask |= 0x1800;
    } else if (exciterMode == 0) {
        logInfo("TLC set to continuous\n");
        s.impulsiveMask = 0x08;
    } else {
        s.impulsiveMask = 0x08;
    }
}

uint32_t TLC_GetImpulsiveMask()
{
    return st().impulsiveMask;
}

uint32_t TLC_GetFilteredInputs()
{
    return st().filtered;
}

void ImpulsiveTlcMng(uint32_t code, uint32_t* pending)
{
    State& s = st();
    uint32_t now = getDeadlineCs(0);
    uint32_t released = s.blocked & ~code;
    if (released) {
        logErr("TLC %x unblocked\n", released);
        if (debugTlc())
            printf(" TLC %x unblocked\n", released);
        s.blocked &= ~released;
    }
    code &= ~s.blocked;
    uint32_t elapsed = now - s.pulseStart;
    uint32_t accepted = 0;
    if (s.pulseStart != 0) {
        code &= s.pulseCode;
        if (code == 0) {
            if (elapsed >= kPulseMin && elapsed <= kPulseMax) {
                printf("[ImpulsiveTlcMng()] Impulsive TLC %x\n", s.pulseCode);
                accepted = s.pulseCode;
            } else {
                logErr("Invalid TLC %x\n", s.pulseCode);
                if (debugTlc())
                    printf("[ImpulsiveTlcMng()] Invalid TLC %x\n", s.pulseCode);
            }
            s.pulseStart = 0;
            s.pulseCode = 0;
        } else if (elapsed > kPulseBlocked) {
            s.blocked |= s.pulseCode;
            logErr("TLC %x blocked\n", s.blocked);
            if (debugTlc())
                printf("[ImpulsiveTlcMng()] TLC %x blocked\n", s.blocked);
        }
    } else if (code != 0 && code <= 0x20000u && (code & (code - 1)) == 0) {
        s.pulseStart = now == 0 ? 1 : now;
        s.pulseCode = code;
    }
    fflush(stdout);
    if (accepted)
        *pending |= accepted;
}

void TLC_ProcessInputs(uint32_t input)
{
    State& s = st();
    if (input != s.lastRaw) {
        uint32_t changed = input ^ s.lastRaw;
        s.lastRaw = input;
        if (changeOverExtension() && (changed & 0x40u))
            input ^= 0x40u;
    }
    s.input = input;
    uint8_t exciterMode = getExciterMode();
    if (s.firstPass) {
        s.pending |= 0xFFu & ~s.impulsiveMask;
        s.firstPass = false;
        uint32_t cont = input & ~s.impulsiveMask;
        for (uint32_t& sample : s.samples)
            sample = cont;
        s.filtered = cont;
    } else {
        s.samples[s.index] = input & ~s.impulsiveMask;
        s.index = (s.index + 1) % 3;
        uint32_t all1 = s.samples[0] & s.samples[1] & s.samples[2];
        uint32_t all0 = ~(s.samples[0] | s.samples[1] | s.samples[2]);
        uint32_t filtered = (s.filtered | all1) & ~all0;
        s.pending |= filtered ^ s.filtered;
        s.filtered = filtered;
    }
    if (exciterMode != 0)
        s.pending |= 1u;
    ImpulsiveTlcMng(input & s.impulsiveMask, &s.pending);
    // The roles read line levels: the filtered levels of the continuous
    // lines, and for a pulse the line as it was pressed.
    s.input = (s.filtered & ~s.impulsiveMask) | (s.pending & s.impulsiveMask);
    switch (exciterMode) {
    case 1: slaveRole(s.pending); break;
    case 0:
        if (changeOverExtension())
            changeOverRole(s.pending);
        else
            masterRole(s.pending);
        if (getTlcTlsExtended() == 1 && getTlcTlsExtDetected() == 1)
            externRole(s.pending);
        break;
    default: break;
    }
}

void TLC_InputTask()
{
    uint32_t input = getTlcStatusBits() | static_cast<uint32_t>(getTlcExtStatusBits()) << 10;
    TLC_ProcessInputs(input);
}

void TLC_Task()
{
    uint8_t f1 = LogicaTx_GetSummaryFlag(1), f2 = LogicaTx_GetSummaryFlag(2), f3 = LogicaTx_GetSummaryFlag(3);
    uint32_t started = LogicaTx_GetTxStartRequest() == 1;
    bool local = LogicaTx_GetControlMode() == 1;
    uint8_t vendor = getVendorId();
    int b1 = 0, b2 = 0, b4 = 0;
    if (vendor == 2) {
        b2 = !(f2 || f3);
        b4 = started;
    } else if (vendor == 1 && getNplus1CoExtension() == 1) {
        b4 = (getEventBitmapByte(0) & 0x40) || (getEventBitmapByte(1) & 0x59) || (getEventBitmapByte(2) & 0x28) ||
             (getEventBitmapByte(3) & 0x90) || f3;
        b1 = getPowerAlarmFlag() != 0;
        b2 = local;
    } else if (getExciterMode() == 0 && local) {
        b1 = b2 = 1;
    } else if (f3) {
        b4 = 1;
    } else if (f2) {
        b2 = 1;
    } else if (f1) {
        b1 = 1;
        b4 = started;
    } else {
        b2 = b4 = 1;
        b1 = !started;
    }
    setTlsCfgBits(1, b1);
    setTlsCfgBits(2, b2);
    setTlsCfgBits(4, b4);
    if (!extensionPresent())
        return;
    setTlsCfgBpBits(1, started);
    setTlsCfgBpBits(2, getExciterMode() == 0 && local);
    setTlsCfgBpBits(4, f2 != 0);
    setTlsCfgBpBits(8, getPowerAlarmFlag() != 0);
    setTlsCfgBpBits(16, getAlarmState(101) != 0);
    setTlsCfgBpBits(32, f3 || LogicaTx_GetLockoutState());
    setTlsCfgBpBits(64, getInputAlarmSummary() == 1);
    setTlsCfgBpBits(128, getAlarmField5(144) != 0);
}
