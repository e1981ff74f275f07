// Transmitter-logic settings: Select_Write bits, the unkeyed table-3 words,
// the reserve configuration (N+1) and the start-up of the logic settings.
#include "alarms/logicaTxConfig.h"

#include "Config/alarmIds.h"
#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/keyIds.h"
#include "alarms/logicaTx.h"
#include "comtab/comtab.h"
#include "comtab/dbPool.h"
#include "hw/eepromManager.h"

#include <atomic>
#include <cstring>

namespace {

constexpr uint32_t kTable3Section = 3;
constexpr uint32_t kTable3Items[4] = {1, 2, 4, 7};
constexpr uint32_t kTable3StartValues[4] = {1, 1, 1, 5};
// EEPROM items of the reserve configuration.
constexpr uint32_t kItemReserveState = 16;
constexpr uint32_t kItemReserveMismatch = 17;
constexpr uint32_t kReserveStateSection = 15, kReserveStateItem = 4;

struct State {
    std::atomic<uint32_t> table3[4] = {};
    std::atomic<uint8_t> reserveState{0};
    std::atomic<uint8_t> reserveMismatch{0};
};

State& st()
{
    static State s;
    return s;
}

int table3Slot(uint32_t item)
{
    for (int k = 0; k < 4; k++)
        if (kTable3Items[k] == item)
            return k;
    return -1;
}

void resetLocalSettings()
{
    cfgStore(KEYROW(LocalMaxTime), 0, 1);
    cfgStore(KEYROW(ChangeOverConnectionTimeout), 0, 20);
    cfgStore(KEYROW(LTXConnectionTimeout), 0, 20);
    LogicaTx_ArmLtxDeadline(1);
    setControlSerialAddress(getExciterMode() != 0 ? 89 : 10);
    dbUpdateLocalMaxTime();
}

void loadReserveConfiguration()
{
    uint8_t state = 0, mismatch = 0;
    EEM_ReadData(&state, kItemReserveState, 1);
    EEM_ReadData(&mismatch, kItemReserveMismatch, 1);
    st().reserveState = state == 0 ? 1 : state;
    setDbAreaCell(kReserveStateSection, kReserveStateItem, st().reserveState);
    st().reserveMismatch = mismatch;
    setAlarmInput(ALARM_RESERVE_CONFIG_MISMATCH, mismatch);
}

} // namespace

void setSelectWriteBits(uint32_t bits, uint32_t flag)
{
    const CfgKeyDesc* row = KEYROW(SelectWrite);
    uint32_t mask = getSelectWrite();
    mask = flag == 1 ? mask | bits : mask & ~bits;
    cfgStore(row, 0, mask);
    cfgPublish(row, 0);
    cfgMark(row);
}

int hasSelectWriteBits(uint32_t bits)
{
    return (getSelectWrite() & bits) == bits ? 1 : 0;
}

void LogicaTx_FixFunctionalType()
{
    if (getFunctionalType() != 0)
        return;
    cfgStore(KEYROW(FunctionalType), 0, 11);
    dbUpdateFunctionalType();
}

void LogicaTx_PublishFskTxId()
{
    dbUpdateFSKTxId(0);
    dbUpdateFSKTxId(1);
}

void LogicaTx_SetTable3Word(uint32_t item, uint32_t v)
{
    int k = table3Slot(item);
    if (k < 0)
        return;
    if (st().table3[k].exchange(v) != v)
        markConfigChanged(CONFIG_GROUP_NETWORK);
    setDbAreaCell(kTable3Section, item, v);
}

uint32_t LogicaTx_GetTable3Word(uint32_t item)
{
    int k = table3Slot(item);
    return k < 0 ? 0 : st().table3[k].load();
}

int LogicaTx_WriteTable3Word(uint32_t item, uint32_t v)
{
    if (table3Slot(item) < 0)
        return 1;
    if (item != 2)
        return 15;
    if (v < 1 || v > 3)
        return 11;
    LogicaTx_SetTable3Word(item, v);
    return 0;
}

uint8_t LogicaTx_GetReserveConfigState()
{
    return st().reserveState;
}

void LogicaTx_SetReserveConfigState(uint8_t n)
{
    st().reserveState = n;
    EEM_WriteData(&n, kItemReserveState, 1);
    setDbAreaCell(kReserveStateSection, kReserveStateItem, n);
    checkConkDirs();
}

uint8_t LogicaTx_GetReserveConfigMismatch()
{
    return st().reserveMismatch;
}

void LogicaTx_SetReserveConfigMismatch(uint8_t v)
{
    st().reserveMismatch = v;
    EEM_WriteData(&v, kItemReserveMismatch, 1);
    setAlarmInput(ALARM_RESERVE_CONFIG_MISMATCH, v);
}

void LogicaTx_ApplyKeyDefaults()
{
    for (int id = KEY_FunctionalType; id <= KEY_Nplus1CoDisableTlc; id++)
        cfgApplyDefault(&cfgKeyTable[id]);
}

void LogicaTx_InitSettings()
{
    for (int k = 0; k < 4; k++)
        LogicaTx_SetTable3Word(kTable3Items[k], kTable3StartValues[k]);
    LogicaTx_RestoreFromEeprom();
    resetLocalSettings();
    loadReserveConfiguration();
}
