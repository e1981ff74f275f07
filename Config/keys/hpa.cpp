// The amplifier region: hooks of its rows, the hardware code bytes, and the
// operations on the power supplies.
#include "Config/keys/hpaKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/hwCodesKeys.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "power/cplShelf.h"
#include "power/powerThresholds.h"
#include "power/spsModule.h"

namespace {

constexpr uint32_t kSerialShelf = 1;
constexpr int kLockAttempts = 3;

bool validSupply(uint32_t i)
{
    return i < static_cast<uint32_t>(PSU_RECORDS);
}

bool serialShelf()
{
    return getPsuInterface(0) == kSerialShelf;
}

// The supply lock is taken around every PMBus exchange when the three-slot
// shelf shares its bus.
bool lockRequired()
{
    return getHpsCode() == 3 && getCplSharedBus() == 1;
}

int lockSupply(uint32_t j)
{
    int r = -1;
    for (int a = 0; a < kLockAttempts && r < 0; a++)
        r = CPL_Lock(static_cast<uint8_t>(j));
    return r < 0 ? r : 0;
}

void unlockSupply(uint32_t j)
{
    for (int a = 0; a < kLockAttempts; a++) {
        if (CPL_Unlock(static_cast<uint8_t>(j)) >= 0)
            return;
    }
}

void storeVout(uint32_t j, uint32_t v)
{
    setPsuVoutSetpoint(j, v);
}

} // namespace

void convFactorFromModel(uint32_t, uint32_t value, uint32_t)
{
    switch (value) {
    case 3: setHpaDrvCurrConvFactor(660); break;
    case 4: setHpaDrvCurrConvFactor(3230); break;
    case 5: setHpaDrvCurrConvFactor(250); break;
    default: break;
    }
}

void publishHwCodeWord(uint32_t, uint32_t, uint32_t)
{
    uint32_t word = 0;
    for (uint32_t k = 0; k < 4; k++)
        word |= static_cast<uint32_t>(getHwCodeByte(k)) << (8 * k);
    setDbAreaCell(40, 1, word);
}

void recomputeRefPowerThreshold(uint32_t, uint32_t, uint32_t)
{
    switch (getPsuTypeCode()) {
    case 0: calcRefPowerThreshold_OSK(); break;
    case 1: calcRefPowerThreshold_VASK(); break;
    case 2: calcRefPowerThreshold_TREL(); break;
    default: break;
    }
}

void setHwCodeByte(uint32_t v, uint32_t i)
{
    cfgSet(KEYROW(HwCodeByte), i, v);
}

uint8_t getHwCodeByte(uint32_t i)
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(HwCodeByte), i));
}

int16_t getHpaMinPower()
{
    return static_cast<int16_t>(getHpaPowerLimitLow());
}

void setHpaMinPower(int16_t v)
{
    setHpaPowerLimitLow(static_cast<uint32_t>(static_cast<int32_t>(v)));
}

int16_t getHpaDriverLevel()
{
    return static_cast<int16_t>(getHpaPowerLimitHigh());
}

void setHpaDriverLevel(int16_t v)
{
    setHpaPowerLimitHigh(static_cast<uint32_t>(static_cast<int32_t>(v)));
}

int applyPsuVout(uint32_t i, uint32_t v)
{
    i &= 255u;
    if (!validSupply(i))
        return -1;
    bool ganged = getPsuCount() == 3;
    // Ganged supplies are all at the set-point or one of them still needs it.
    bool done = getPsuVoutSetpoint(i) == v;
    for (uint32_t j = 0; ganged && j < static_cast<uint32_t>(PSU_RECORDS); j++)
        done = done && getPsuVoutSetpoint(j) == v;
    if (done)
        return 0;

    if (getHpsTypeCode() == 22) {
        int r = CPL_SetVoutPinMargin(v);
        if (r != 0)
            return r;
        for (uint32_t j = 0; j < static_cast<uint32_t>(PSU_RECORDS); j++) {
            if (ganged || j == i)
                storeVout(j, v);
        }
        return 0;
    }
    if (ganged) {
        int first = 0;
        bool lock = lockRequired();
        for (uint32_t j = 0; j < getPsuCount() && validSupply(j); j++) {
            if (lock && lockSupply(j) != 0) {
                logInfo("PSU_%d: error on set Vout", static_cast<int>(j));
                if (first == 0)
                    first = -1;
                continue;
            }
            int r = CPL_SetVout(static_cast<uint8_t>(j), 0, v);
            if (lock)
                unlockSupply(j);
            if (r == 0)
                storeVout(j, v);
            else if (first == 0)
                first = r;
        }
        return first;
    }
    int r = serialShelf() ? SPS_SetVout(v) : CPL_SetVout(static_cast<uint8_t>(i), 0, v);
    if (r == 0)
        storeVout(i, v);
    return r;
}

int setPsuOperationMode(uint32_t i, uint8_t m)
{
    i &= 255u;
    if (!validSupply(i))
        return -1;
    const CfgKeyDesc* row = KEYROW(PsuOperationMode);
    if (cfgStore(row, i, m) == 1)
        cfgPublish(row, i);
    if (serialShelf())
        return SPS_SetOperationMode(m);
    if (getHPSMngMode() != 0)
        return 0;
    bool lock = lockRequired();
    if (lock && lockSupply(i) != 0) {
        logInfo("PSU_%d: error on apply operation mode", static_cast<int>(i));
        return -1;
    }
    int r = CPL_SetOperation(static_cast<uint8_t>(i), m);
    if (lock)
        unlockSupply(i);
    return r;
}

uint8_t getPsuOperationMode(uint32_t i)
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(PsuOperationMode), i));
}

int isPsuOutputOff(uint32_t i)
{
    i &= 255u;
    if (!validSupply(i))
        return 0;
    if (serialShelf() || getHPSMngMode() != 0)
        return getPsuOperationMode(i);
    bool lock = lockRequired();
    if (lock && lockSupply(i) != 0)
        return 0;
    int off = CPL_IsOff(static_cast<uint8_t>(i));
    if (lock)
        unlockSupply(i);
    return off;
}

int setPsuMinFanSpeed(uint32_t, uint32_t s)
{
    if (serialShelf())
        return SPS_SetMinFanSpeed(s);
    return static_cast<int>(getPsuInterface(0));
}

uint8_t getPsuOperationState(uint32_t i)
{
    i &= 255u;
    if (!validSupply(i))
        return 0xFF;
    if (serialShelf() || getHPSMngMode() != 0)
        return getPsuOperationMode(i);
    bool lock = lockRequired();
    if (lock && lockSupply(i) != 0)
        return 0xFF;
    int on = CPL_IsOutputOn(static_cast<uint8_t>(i));
    if (lock)
        unlockSupply(i);
    return on < 0 ? 0xFF : static_cast<uint8_t>(on);
}

void applySpsMinFanSpeed(uint32_t i, uint32_t v)
{
    setPsuMinFanSpeed(i, v);
}

void getPsuOperationModeSummary(uint32_t i, uint32_t v)
{
    setPsuMinFanSpeed(i, v);
}

namespace {

void publishStatusWords(uint32_t i)
{
    uint32_t b1 = static_cast<uint32_t>(getPsuStatusByte(i, 1)) << 8 | getPsuStatusByte(i, 0);
    uint32_t b3 = static_cast<uint32_t>(getPsuStatusByte(i, 4)) << 16 |
                  static_cast<uint32_t>(getPsuStatusByte(i, 3)) << 8 | getPsuStatusByte(i, 2);
    setDbAreaCell(static_cast<uint8_t>(34 + i), 1, b1);
    setDbAreaCell(static_cast<uint8_t>(34 + i), 3, b3);
}

// Stores element (i, k) of a per-supply array row and publishes it when it
// changed; 1 when it changed.
int storePair(const CfgKeyDesc* row, uint32_t i, uint32_t k, uint32_t v)
{
    uint32_t flat = cfgPairIndex(row, i, k);
    if (flat == CFG_NO_INDEX)
        return -1;
    int r = cfgStore(row, flat, v);
    if (r == 1)
        cfgPublish(row, flat);
    return r;
}

uint32_t getPair(const CfgKeyDesc* row, uint32_t i, uint32_t k)
{
    uint32_t flat = cfgPairIndex(row, i, k);
    return flat == CFG_NO_INDEX ? 0 : cfgGetElement(row, flat);
}

} // namespace

void setPsuStatusByte(uint32_t i, uint32_t k, uint8_t v)
{
    const CfgKeyDesc* row = KEYROW(PsuStatusByte);
    if (storePair(row, i, k, v) == 1)
        publishStatusWords(i & 255u);
}

uint8_t getPsuStatusByte(uint32_t i, uint32_t k)
{
    return static_cast<uint8_t>(getPair(KEYROW(PsuStatusByte), i, k));
}

void setPsuReadingWord(uint32_t i, uint32_t k, uint32_t v)
{
    storePair(KEYROW(PsuReadingWord), i, k, v);
}

uint32_t getPsuReadingWord(uint32_t i, uint32_t k)
{
    return getPair(KEYROW(PsuReadingWord), i, k);
}

void setPsuPlatformInfo1(uint32_t i, const uint32_t words[3])
{
    for (uint32_t k = 0; k < 3; k++)
        storePair(KEYROW(PsuPlatformInfo1), i, k, words[k]);
}

void setPsuInfoRecord(uint32_t i, const uint32_t words[3], uint16_t tail)
{
    for (uint32_t k = 0; k < 3; k++)
        storePair(KEYROW(PsuPlatformInfo4), i, k, words[k]);
    const CfgKeyDesc* row = KEYROW(PsuPlatformInfo4Tail);
    if (cfgStore(row, i, tail) == 1)
        cfgPublish(row, i);
}

void setPsuIdentityByte(uint32_t i, uint32_t k, uint8_t v)
{
    storePair(KEYROW(PsuIdentity), i, k, v);
}

uint8_t getPsuIdentityByte(uint32_t i, uint32_t k)
{
    return static_cast<uint8_t>(getPair(KEYROW(PsuIdentity), i, k));
}
