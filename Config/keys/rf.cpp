// The RF region: the driver-power and frequency setters, the RF output and
// mute states, the APC voltage and the hooks of its rows.
#include "Config/keys/rfKeys.h"

#include "Config/eventBitmaps.h"
#include "Config/eventIds.h"
#include "Config/keyTable.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/audioProcessor.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "hw/rfDac.h"
#include "hw/spiConverters.h"
#include "hw/tunableBpf.h"
#include "power/curveFit.h"
#include "power/powerCalibration.h"
#include "power/powerThresholds.h"

#include <cmath>
#include <cstdlib>

const CfgDefaultBy kDefaultVoltageApcByHpsCode = {KEY_HpsCode, 2, {{1, 1100}, {3, 1500}}, 700};
const CfgDefaultBy kMaxVoltageApcByHpsType = {
    KEY_HpsTypeCode, 6, {{18, 1150}, {19, 1250}, {20, 1250}, {22, 1800}, {23, 1800}, {24, 1800}}, 2500};

namespace {

constexpr uint32_t kApcDac = 3;

bool hwReady()
{
    return getHwReady() == 1;
}

void clearLastValid()
{
    setLastValidVdac(0);
    setLastValidHpsVout(0);
}

// The family's recalculation after a driver-power change; `raise` when the
// power went up or the forward power is not calibrated.
void followDriverPower(bool raise)
{
    switch (getPsuTypeCode()) {
    case 0: calcDetectorCalibration(raise ? 1 : 0); break;
    case 1:
        if (raise) {
            calcOverPowerThreshold_VASK();
            calcRefPowerThreshold_VASK();
        }
        break;
    case 2:
        if (raise) {
            calcOverPowerThreshold_TREL();
            calcRefPowerThreshold_TREL();
        }
        break;
    default: break;
    }
}

// Stores a changed driver power; the raise flag of the recalculation, or -1
// when nothing changed.
int storeDriverPower(uint32_t p)
{
    int16_t old = getDriverPower();
    int16_t v = static_cast<int16_t>(p);
    if (cfgStore(KEYROW(DriverPower), 0, p) != 1)
        return -1;
    return v > old || getFwdPowerCalibrated() == 0 ? 1 : 0;
}

// The frequency change once the hardware is ready: the line (megahertz with
// six decimals), the marks, the mute and the retune.
void frequencyChanged(const CfgKeyDesc* row, uint32_t hz, bool resetLastValid)
{
    logInfo("Frequency: %u.%06u Mhz", hz / 1000000u, hz % 1000000u);
    eventLogOnly(LVL_INFO, "Frequency: %u.%06u Mhz", hz / 1000000u, hz % 1000000u);
    cfgMark(row);
    if (resetLastValid)
        clearLastValid();
    globalMute = 1;
    retuneAfterFrequencyChange();
}

void setOffset(const CfgKeyDesc* row, uint32_t o)
{
    if (cfgStore(row, 0, o) != 1)
        return;
    if (hwReady())
        frequencyChanged(row, getOutputRFfrequency() + o, false);
    cfgPublish(row, 0);
}

} // namespace

void setDriverPower(uint32_t p, uint32_t resetLastValid)
{
    const CfgKeyDesc* row = KEYROW(DriverPower);
    int raise = storeDriverPower(p);
    if (raise < 0)
        return;
    if (hwReady()) {
        // Tenths with their sign: -5 is "-0.5".
        int v = static_cast<int16_t>(p);
        const char* sign = v < 0 ? "-" : "";
        logInfo("DriverPower: %s%i.%i dB", sign, std::abs(v) / 10, std::abs(v) % 10);
        eventLogOnly(LVL_INFO, "DriverPower: %s%i.%i dB", sign, std::abs(v) / 10, std::abs(v) % 10);
        if (getPsuTypeCode() == 1 && getHpsCode() == 1 && getHpaModelCode() == 4)
            setPsuMinFanSpeed(0, v > 570 ? 0 : 25);
        followDriverPower(raise == 1);
        setRfOutputEvent(0);
        if (resetLastValid)
            clearLastValid();
    }
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_DriverPower(uint32_t, uint32_t v)
{
    setDriverPower(v, 0);
}

void setDriverPowerQuiet(uint32_t p)
{
    int raise = storeDriverPower(p);
    if (raise < 0)
        return;
    if (hwReady()) {
        followDriverPower(raise == 1);
        setRfOutputEvent(0);
    }
    cfgMark(KEYROW(DriverPower));
}

void setOutputRFfrequency(uint32_t f, uint32_t resetLastValid)
{
    const CfgKeyDesc* row = KEYROW(OutputRFfrequency);
    if (cfgStore(row, 0, f) != 1)
        return;
    if (hwReady())
        frequencyChanged(row, f, resetLastValid != 0);
    cfgPublish(row, 0);
}

void cfgHandSet_OutputRFfrequency(uint32_t, uint32_t v)
{
    setOutputRFfrequency(v, 0);
}

void setFrequencyOffset(uint32_t o)
{
    setOffset(KEYROW(FrequencyOffset), o);
}

void cfgHandSet_FrequencyOffset(uint32_t, uint32_t v)
{
    setFrequencyOffset(v);
}

void setFrequencyCalibOffset(uint32_t o)
{
    setOffset(KEYROW(FrequencyCalibOffset), o);
}

void cfgHandSet_FrequencyCalibOffset(uint32_t, uint32_t v)
{
    setFrequencyCalibOffset(v);
}

void setRfOutputEvent(uint32_t v)
{
    uint8_t b = static_cast<uint8_t>(v);
    if (cfgStore(KEYROW(RfOutputState), 0, b) != 1)
        return;
    setEventBit(b, EVENT_RF_OUTPUT);
    AP_SetEconMode(getSystemImage()->ap);
    if (getUnitStateByte() != 0)
        setRfLoopFlag(b == 1 ? 0 : 1);
    else
        setRfLoopFlag(1);
}

void setRfMuteState(uint32_t v)
{
    uint8_t b = static_cast<uint8_t>(v);
    if (cfgStore(KEYROW(RfMuteState), 0, b) != 1)
        return;
    cfgStore(KEYROW(RfMuteCopy), 0, b);
    setRfOutputEvent(0);
}

void applyDriverPowerOffset()
{
    if (hwReady() && getPsuTypeCode() == 2)
        setHpaPowerLimitLow(static_cast<uint32_t>(getDriverPower() - getPowerDynamicRange()));
}

void setVoltageAPC(uint32_t v, uint8_t apply)
{
    const CfgKeyDesc* row = KEYROW(VoltageAPC);
    if (cfgStore(row, 0, v) != 1 && apply == 0)
        return;
    if (apply != 0)
        driveApcDac(v);
    cfgPublish(row, 0);
}

void cfgHandSet_VoltageAPC(uint32_t, uint32_t v)
{
    setVoltageAPC(v, 0);
}

void applyVoltageAPC()
{
    if (getVoltageAPC() != 0)
        return;
    uint32_t code = getHpsCode();
    driveApcDac(code == 1 || code == 3 ? getDefaultVoltageAPC() : 0);
}

int driveApcDac(uint32_t v)
{
    double scale;
    switch (getPsuTypeCode()) {
    case 1: scale = 13.1072; break;
    case 2: scale = 19.8594; break;
    default: return 0;
    }
    double code = std::floor(v * scale + 0.5);
    setDacOutput(static_cast<uint16_t>(code > 65535.0 ? 65535.0 : code), kApcDac);
    return 0;
}

void initDefaultVoltageAPC()
{
    const CfgKeyDesc* row = KEYROW(DefaultVoltageAPC);
    cfgStore(row, 0, static_cast<uint32_t>(cfgDefaultValue(row)));
    cfgPublish(row, 0);
}

void setDefaultVoltageAPCQuiet(uint32_t v)
{
    cfgStore(KEYROW(DefaultVoltageAPC), 0, v);
}

void initMaxVoltageAPC()
{
    const CfgKeyDesc* row = KEYROW(MaxVoltageAPC);
    cfgStore(row, 0, static_cast<uint32_t>(cfgDefaultValue(row)));
    cfgPublish(row, 0);
}

uint32_t getVoltageAPCLimit(uint32_t k)
{
    if (getHpsCode() == 3) {
        if (k == 2)
            return 800;
        if (k == 0 || k == 1)
            return 500;
    }
    return getDefaultVoltageAPC();
}

void recalibrateDetector(uint32_t, uint32_t, uint32_t)
{
    calcDetectorCalibration(1);
}

void reinterpolatePowerOffset(uint32_t, uint32_t, uint32_t)
{
    adjustPowerOffsetForFreq(1);
}

void powerLimitsFromRange(uint32_t, uint32_t, uint32_t)
{
    if (getPsuTypeCode() != 2 || getFwdPowerCalibrated() != 1)
        return;
    int32_t nominal = getHpaNomDrvPow();
    setHpaPowerLimitLow(static_cast<uint32_t>(nominal - getPowerDynamicRange()));
    setHpaPowerLimitHigh(static_cast<uint32_t>(nominal));
}

void reprogramQm(uint32_t, uint32_t, uint32_t)
{
    UpdateQM();
}

void recomputeOverPowerThreshold(uint32_t, uint32_t, uint32_t)
{
    calcOverPowerThreshold_VASK();
}

void publishHpaWords(uint32_t, uint32_t, uint32_t)
{
    for (uint8_t k = 0; k < 12; k++)
        setDbAreaCell(40, static_cast<uint8_t>(20 + k), static_cast<uint32_t>(getHpaWordAt(k)));
    for (uint8_t k = 15; k < 27; k++)
        setDbAreaCell(40, static_cast<uint8_t>(32 + k - 15), static_cast<uint32_t>(getHpaWordAt(k)));
    setDbAreaCell(40, 48, static_cast<uint32_t>(getHpaWordAt(27)));
}

void publishPowerTableWord(uint32_t index, uint32_t value, uint32_t)
{
    switch (index) {
    case 9: setDbAreaCell(10, 1, value); break;
    case 7: setDbAreaCell(10, 2, value); break;
    case 10: setDbAreaCell(10, 6, value); break;
    case 8: setDbAreaCell(10, 11, value); break;
    default: break;
    }
}
