// Hand-written code of the transmitter-logic region: the setters with
// behaviour of their own and the hooks of its rows.
#include "Config/keys/logicaTx.h"

#include "Config/keyTable.h"
#include "Config/keys/logicaTxKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandManager.h"
#include "comtab/comtab.h"
#include "core/base/logs.h"
#include "hw/eepromManager.h"
#include "hw/fpgaMaintenance.h"
#include "links/serialChannels.h"
#include "power/ampFm.h"

#include <atomic>

namespace {

// Serial-port records of the links.
constexpr int kPortControl = 0;
constexpr int kPortChangeOver = 2;
constexpr int kPortParamAddress = 1;
// EEPROM item of the saved control mode (1 LOCAL).
constexpr uint32_t kItemControlMode = 1;

struct State {
    std::atomic<const LogicServices*> services{nullptr};
};

State& st()
{
    static State s;
    return s;
}

} // namespace

void registerLogicServices(const LogicServices* services)
{
    st().services = services;
}

void setFunctionalType(uint32_t v, uint32_t refresh)
{
    const CfgKeyDesc* row = KEYROW(FunctionalType);
    if (cfgStore(row, 0, v) != 1)
        return;
    if (refresh == 1) {
        const LogicServices* s = st().services.load();
        if (s && s->linkFpgaImage)
            s->linkFpgaImage(0, 1);
        else
            logErr("setFunctionalType - no FPGA image link service registered");
    }
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_FunctionalType(uint32_t, uint32_t v)
{
    setFunctionalType(v, 0);
}

void setLTXConnectionTimeout(uint32_t v)
{
    if (v < 5 || v > 60)
        return;
    const CfgKeyDesc* row = KEYROW(LTXConnectionTimeout);
    if (cfgStore(row, 0, v) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_LTXConnectionTimeout(uint32_t, uint32_t v)
{
    setLTXConnectionTimeout(v);
}

void exciterModeChanged(uint32_t, uint32_t value, uint32_t)
{
    uint8_t slave = value == 1 ? 1 : 0;
    LogicaTx_SetSlaveConnected(slave);
    LogicaTx_ArmLtxDeadline(slave);
}

void controlSerialAddressChanged(uint32_t, uint32_t value, uint32_t)
{
    COM_SetPortParam(kPortParamAddress, value & 0xff, 0, kPortControl);
}

void changeOverSerialAddressChanged(uint32_t, uint32_t value, uint32_t)
{
    COM_SetPortParam(kPortParamAddress, value & 0xff, 0, kPortChangeOver);
}

void extAmpVoltageSupplyChanged(uint32_t, uint32_t value, uint32_t)
{
    // Amplifier n is on unit slot n; the disconnected ones are skipped.
    uint32_t n = getAmplifierNumber();
    for (uint32_t slot = 1; slot <= n && slot < EXT_AMP_LINK_SLOTS; slot++)
        if (UnitSlot_IsConnected(slot) == 1)
            AMP_FM_Write(slot, 8, 8, static_cast<int32_t>(value & 0xffff), 0);
}

void localFromChangeOverChanged(uint32_t, uint32_t value, uint32_t)
{
    if (value == 0) {
        LogicaTx_SetLocalForcedByChangeOver(0);
        uint8_t saved = 0;
        EEM_ReadData(&saved, kItemControlMode, 1);
        CMD_Request(saved == 1 ? 0 : 1, 1);
    } else if (value == 1 && LogicaTx_GetChangeOverLink()) {
        logInfo("LOCAL forced from Change Over");
        LogicaTx_SetLocalForcedByChangeOver(1);
        CMD_Request(0, 1);
    }
}

void loadFskIdentity()
{
    char bytes[8];
    for (uint32_t w = 0; w < 2; w++) {
        uint32_t v = getFSKTxId(w);
        for (uint32_t k = 0; k < 4; k++)
            bytes[4 * w + k] = static_cast<char>(v >> (24 - 8 * k));
    }
    uint32_t words[5] = {};
    Fpga_EncodeRegion25Words(bytes, words);
    Fpga_LoadRegion25(words);
}

void fskTxIdEveryCall(uint32_t, uint32_t, uint32_t)
{
    if (getFSKSignEna() != 0)
        loadFskIdentity();
}

void reserveDirsChanged(uint32_t, uint32_t, uint32_t)
{
    checkConkDirs();
}
