// The power region: the setters of the power settings that have behaviour of
// their own (nominal powers with their linear values, mirrored thresholds,
// the reflected threshold the loops copy, the derating enable and the
// exciter-mode derating) and the ranges bounded by the amplifier.
#include "Config/keys/powerKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/utils.h"
#include "power/powerManagement.h"
#include "power/powerThresholds.h"

namespace {

bool singleAmplifier()
{
    return getAmplifierNumber() == 0;
}

int32_t asLevel(uint32_t v)
{
    return static_cast<int16_t>(v & 0xffffu);
}

// Stores level and linear value of a nominal power; true when either changed.
bool storeNominal(const CfgKeyDesc* levelRow, const CfgKeyDesc* linearRow, uint32_t level, uint32_t linear)
{
    bool changed = cfgStore(levelRow, 0, level) == 1;
    changed |= cfgStore(linearRow, 0, linear) == 1;
    return changed;
}

// A new transmitter nominal power (level and linear value, both published).
void transmitterNominalChanged(uint32_t level, uint32_t linear, uint32_t flag)
{
    cfgPublish(KEYROW(TransmitterNominalPower), 0);
    cfgPublish(KEYROW(TxNominalPowerLinear), 0);
    cfgMark(KEYROW(TransmitterNominalPower));
    if (!singleAmplifier())
        return;
    storeNominal(KEYROW(ExciterNominalPower), KEYROW(ExciterNominalPowerLinear), level, linear);
    setDriverPower(level, flag);
    applyDeratedPower();
    LogicaTx_SetTxStatus(1);
}

// A threshold and, with a single amplifier, its mirror: each stored,
// published and marked.
void setMirrored(const CfgKeyDesc* own, const CfgKeyDesc* mirror, uint32_t v)
{
    cfgSet(own, 0, v);
    if (singleAmplifier())
        cfgSet(mirror, 0, v);
}

} // namespace

int txNominalPowerInRange(uint32_t v)
{
    int32_t level = asLevel(v);
    if (getPsuTypeCode() == 1)
        return level >= getHpaMinPower() && level <= getTxMaxNomPower() ? 1 : 0;
    return level >= -999 && level <= 999 ? 1 : 0;
}

int txMaxNomPowerInRange(uint32_t v)
{
    int32_t level = asLevel(v);
    return level >= getHpaMinPower() && level <= getHpaDriverLevel() ? 1 : 0;
}

int exciterNominalPowerInRange(uint32_t v)
{
    int32_t level = asLevel(v);
    return level >= getHpaMinPowerAn() && level <= getHpaMaxPowerAn() ? 1 : 0;
}

void setTransmitterNominalPower(uint32_t level, uint32_t flag)
{
    uint32_t linear = convLogIndexToLin(asLevel(level));
    if (storeNominal(KEYROW(TransmitterNominalPower), KEYROW(TxNominalPowerLinear), level, linear))
        transmitterNominalChanged(level, linear, flag);
}

void cfgHandSet_TransmitterNominalPower(uint32_t, uint32_t v)
{
    setTransmitterNominalPower(v, 0);
}

uint32_t getTxNominalPowerLinear()
{
    return cfgGetElement(KEYROW(TxNominalPowerLinear), 0);
}

int isValidTxNominalPowerLinear(uint32_t v)
{
    return cfgIsValidRow(KEYROW(TxNominalPowerLinear), v);
}

void setTxNominalPowerLinear(uint32_t linear, uint32_t flag)
{
    uint32_t level = static_cast<uint32_t>(convLinToLogIndex(linear)) & 0xffffu;
    if (storeNominal(KEYROW(TransmitterNominalPower), KEYROW(TxNominalPowerLinear), level, linear))
        transmitterNominalChanged(level, linear, flag);
}

void setExciterNominalPower(uint32_t level, uint32_t flag)
{
    uint32_t linear = convLogIndexToLin(asLevel(level));
    if (!storeNominal(KEYROW(ExciterNominalPower), KEYROW(ExciterNominalPowerLinear), level, linear))
        return;
    cfgMark(KEYROW(ExciterNominalPower));
    setDriverPower(level, flag);
    applyDeratedPower();
    if (singleAmplifier()) {
        storeNominal(KEYROW(TransmitterNominalPower), KEYROW(TxNominalPowerLinear), level, linear);
        cfgPublish(KEYROW(TransmitterNominalPower), 0);
    }
}

void cfgHandSet_ExciterNominalPower(uint32_t, uint32_t v)
{
    setExciterNominalPower(v, 0);
}

void setTransmitterLowPowerAlarmThreshold(uint32_t v)
{
    setMirrored(KEYROW(TransmitterLowPowerAlarmThreshold), KEYROW(ExciterLowPowerAlarmThreshold), v);
}

void cfgHandSet_TransmitterLowPowerAlarmThreshold(uint32_t, uint32_t v)
{
    setTransmitterLowPowerAlarmThreshold(v);
}

void setTransmitterLowPowerWarningThreshold(uint32_t v)
{
    setMirrored(KEYROW(TransmitterLowPowerWarningThreshold), KEYROW(ExciterLowPowerWarningThreshold), v);
}

void cfgHandSet_TransmitterLowPowerWarningThreshold(uint32_t, uint32_t v)
{
    setTransmitterLowPowerWarningThreshold(v);
}

void setExciterLowPowerAlarmThreshold(uint32_t v)
{
    setMirrored(KEYROW(ExciterLowPowerAlarmThreshold), KEYROW(TransmitterLowPowerAlarmThreshold), v);
}

void cfgHandSet_ExciterLowPowerAlarmThreshold(uint32_t, uint32_t v)
{
    setExciterLowPowerAlarmThreshold(v);
}

void setExciterLowPowerWarningThreshold(uint32_t v)
{
    setMirrored(KEYROW(ExciterLowPowerWarningThreshold), KEYROW(TransmitterLowPowerWarningThreshold), v);
}

void cfgHandSet_ExciterLowPowerWarningThreshold(uint32_t, uint32_t v)
{
    setExciterLowPowerWarningThreshold(v);
}

void setTransmitterReflectedPowerAlarmThreshold(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(TransmitterReflectedPowerAlarmThreshold);
    if (cfgStore(row, 0, v) != 1)
        return;
    setReflectedAlarmThresholdCopy(static_cast<int32_t>(v));
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_TransmitterReflectedPowerAlarmThreshold(uint32_t, uint32_t v)
{
    setTransmitterReflectedPowerAlarmThreshold(v);
}

void setPwrDeratingEnable(uint32_t flag)
{
    const CfgKeyDesc* row = KEYROW(PwrDeratingEnable);
    if (cfgStore(row, 0, flag & 0xffu) != 1)
        return;
    applyDeratedPower();
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_PwrDeratingEnable(uint32_t, uint32_t v)
{
    setPwrDeratingEnable(v);
}

uint16_t getDeratingOverride()
{
    return static_cast<uint16_t>(cfgGetElement(KEYROW(DeratingOverride), 0));
}

int isValidDeratingOverride(uint32_t v)
{
    return cfgIsValidRow(KEYROW(DeratingOverride), v);
}

void setDeratingOverride(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(DeratingOverride);
    if (cfgStore(row, 0, v) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
    setDeratingInForce(getDeratingOverride());
    applyDeratedPower();
}

int isValidVapc(uint32_t v)
{
    return v <= 5000 ? 1 : 0;
}
