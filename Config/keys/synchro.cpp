// The synchronised-operation region's hand-written operations: reference
// routing, delays and pilot phase, RDS levels and status words.
#include "Config/keys/synchroKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/audioKeys.h"
#include "audio/conversions.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsTransfer.h"
#include "audio/uecpReceiver.h"
#include "hw/fpgaMaintenance.h"

#include <cmath>

namespace {

constexpr uint32_t kInputDelayWordMax = 16383;
constexpr uint32_t kFixedDelay = 9660;
// Reference source values with their own routing.
constexpr uint32_t kSourceNoFpgaA = 5;
constexpr uint32_t kSourceSix = 6;
constexpr uint32_t kSourceNoFpgaB = 7;
constexpr uint32_t kTimeRefOfSourceSix = 8;

SynchroRegion& synchro()
{
    return getSystemImage()->synchro;
}

} // namespace

void netModeBeforeStore(uint32_t, uint32_t value, uint32_t)
{
    if (value == 1 && getFreqRef() == kSourceNoFpgaA)
        setFreqRef(1);
}

void netModeAfterMark(uint32_t, uint32_t, uint32_t)
{
    Fpga_ResetPulse();
}

void inputDelayChanged(uint32_t, uint32_t value, uint32_t)
{
    uint32_t w = convHzToFtw(value);
    synchro().inputDelayWord = w < kInputDelayWordMax ? w : kInputDelayWordMax;
}

void updateTotalDelay()
{
    setTotalDelay(getInputDelay() + getAddedDelay() + kFixedDelay);
}

void updateTotalDelayHook(uint32_t, uint32_t, uint32_t)
{
    updateTotalDelay();
}

void addedDelayEveryCall(uint32_t, uint32_t, uint32_t)
{
    float a = static_cast<float>(getAddedDelay());
    double samples = std::trunc(a * 0.0216);
    double fine = std::floor((a - samples / 0.0216) * 1.6384 + 0.5);
    double extra = std::trunc(samples * 31.66666668 + 0.5);
    setAddedDelaySamples(static_cast<uint32_t>(samples));
    setAddedDelayFine(static_cast<uint32_t>(static_cast<int64_t>(fine)));
    setPilotPhaseExtra(static_cast<uint32_t>(extra));
    updateTotalDelay();
}

void pilotPhaseHook(uint32_t, uint32_t, uint32_t)
{
    synchro().pilotPhaseWord = convDegToPhaseWord((getPilPhOffs() + getPilotPhaseExtra()) % 360u);
}

void testSigEnaChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().testSigEnaCopy = static_cast<uint8_t>(value);
}

void testSigDelayChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().testSigDelayWord = convHzToFtw(value);
}

void timeRefSourceChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().timeRefFpgaSource = value;
}

void setFreqRefSource(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(FreqRefSource);
    if (cfgStore(row, 0, v) != 1)
        return;
    if (v == kSourceNoFpgaA || v == kSourceNoFpgaB) {
        synchro().freqRefFpgaSource = 0;
        synchro().freqRefSource6Flag = 0;
    } else if (v == kSourceSix) {
        synchro().freqRefSource6Flag = 1;
        setTimeRef(kTimeRefOfSourceSix);
        setTimeRefSource(kSourceSix);
        setPilotPhaseExtra(0);
    } else {
        synchro().freqRefFpgaSource = v;
        synchro().freqRefSource6Flag = 0;
    }
    cfgPublish(row, 0);
}

void rdsPercentageChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().rdsLevelCode = convPercentToCode2194(static_cast<uint16_t>(value));
    getSystemImage()->audio.rdsDevHz = convMulByDeviation(static_cast<uint16_t>(value));
}

void publishRdsDevHz(uint32_t, uint32_t, uint32_t)
{
    cfgPublish(KEYROW(RdsDevHz), 0);
}

void rdsExternalLevelChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().rdsExternalGain = convDbToGain2048(static_cast<int16_t>(value));
}

void rdsOutputEnableChanged(uint32_t, uint32_t value, uint32_t)
{
    if ((value & 255) != 1)
        return;
    initRdsFifo();
    UECP_InitRxRing();
    clearRdsDataSet();
}

void rdsLevelCodeChanged(uint32_t, uint32_t value, uint32_t)
{
    synchro().rdsInternalLevelPercentage = convCodeToPercent2194(static_cast<uint16_t>(value));
}

void setRdsFpgaBlockWords(const uint16_t words[4])
{
    for (uint32_t k = 0; k < 4; k++)
        setRdsFpgaBlockWord(k, words[k]);
}
