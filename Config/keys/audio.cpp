// The clipper settings: the limiter and overshoot setters and what they
// derive; the re-apply of the external output stage.
#include "Config/keys/audioKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "audio/conversions.h"
#include "audio/extAnalog.h"
#include "core/base/logs.h"
#include "hw/fpgaWindows.h"

#include <bit>

namespace {

constexpr uint32_t kMaxDeviation = 110;
// FPGA region of the digital MPX gain word.
constexpr uint8_t kDigMpxGainRegion = 17;

struct State {
    bool gainWritten = false; // a gain word was written to the FPGA
    uint32_t lastGainBits = 0;
};

State& st()
{
    static State s;
    return s;
}

AudioRegion& audio()
{
    return getSystemImage()->audio;
}

float digMpxGainOf(int16_t level)
{
    return convDb200ToLinear(static_cast<int16_t>(-43 - level));
}

void logSwitch(const char* what, uint32_t value)
{
    const char* text = value != 0 ? "Enable" : "Disable";
    logInfo("%s: %s", what, text);
    eventLogOnly(LVL_INFO, "%s: %s", what, text);
}

// The setters of the clipper keys: a low byte above 110 is refused (0); a
// changed value is stored, the clipper settings recomputed, published and
// marked (1).
int setClipperKey(const CfgKeyDesc* row, uint32_t v)
{
    if ((v & 255) > kMaxDeviation)
        return 0;
    if (cfgStore(row, 0, v) == 1) {
        updateClipperLimiter();
        cfgPublish(row, 0);
        cfgMark(row);
    }
    return 1;
}

} // namespace

uint16_t clipperScale(uint32_t x)
{
    uint32_t v = x & 0xffff;
    if (v > 8)
        v = 8;
    return static_cast<uint16_t>(v * 2047.0 / 8.0 + 0.5);
}

void updateClipperLimiter()
{
    uint32_t limiter = getClipperDeviationLimiter();
    uint32_t effective = limiter < kMaxDeviation + 1 ? limiter : kMaxDeviation;
    setClipperEffectiveLimiter(effective);
    uint32_t overshoot = getClipperOvershoot();
    if (overshoot + effective > kMaxDeviation) {
        setClipperOvershootCode(clipperScale(kMaxDeviation - effective));
        setClipperLimitedFlag(1);
    } else {
        setClipperOvershootCode(clipperScale(overshoot));
    }
}

int setClipperDeviationLimiter(uint32_t v)
{
    return setClipperKey(KEYROW(ClipperDeviationLimiter), v);
}

void cfgHandSet_ClipperDeviationLimiter(uint32_t, uint32_t v)
{
    setClipperDeviationLimiter(v);
}

int setClipperOvershoot(uint32_t v)
{
    return setClipperKey(KEYROW(ClipperOvershoot), v);
}

void cfgHandSet_ClipperOvershoot(uint32_t, uint32_t v)
{
    setClipperOvershoot(v);
}

void reapplyOutputStage()
{
    ExtAnalog_SetFrequency(getOutputRFfrequency());
    if (getMatrixLMpx() == 1)
        ExtAnalog_SetLevel(1, static_cast<int8_t>(getLevelMpx_dBu()), getFrequencyDeviation());
    else
        ExtAnalog_SetLevel(0, 0, getFrequencyDeviation());
}

// ---- Levels and deviations ----

void updatePilotOutputCode()
{
    audio().pilotLevelCode = getAudioOutFlagA() == 0 && getAudioOutFlagB() == 0 ? 0 : audio().pilotCode;
}

void setPilotCode(uint32_t code)
{
    if (cfgStore(KEYROW(PilotCode), 0, code) != 1)
        return;
    audio().levelPilotPercentage = static_cast<uint8_t>(convCodeToPercent133(getPilotCode()));
    updatePilotOutputCode();
}

void pilotPercentageChanged(uint32_t, uint32_t value, uint32_t)
{
    audio().pilotCode = convPercentToCode133(static_cast<uint16_t>(value));
    audio().pilotDevHz = convMulByDeviation(static_cast<uint16_t>(value));
    updatePilotOutputCode();
}

void pilotDevHzChanged(uint32_t, uint32_t value, uint32_t)
{
    uint16_t p = convDivByDeviation(value);
    audio().levelPilotPercentage = static_cast<uint8_t>(p);
    audio().pilotCode = convPercentToCode133(p);
    updatePilotOutputCode();
}

void rdsDevHzChanged(uint32_t, uint32_t value, uint32_t)
{
    uint16_t p = convDivByDeviation(value);
    getSystemImage()->synchro.rdsInternalLevelPercentage = p;
    getSystemImage()->synchro.rdsLevelCode = convPercentToCode2194(p);
}

void publishPilotDevHz(uint32_t, uint32_t, uint32_t)
{
    cfgPublish(KEYROW(PilotDevHz), 0);
}

void publishPilotPercentage(uint32_t, uint32_t, uint32_t)
{
    cfgPublish(KEYROW(LevelPilotPercentage), 0);
}

void publishRdsPercentage(uint32_t, uint32_t, uint32_t)
{
    cfgPublish(KEYROW(RdsInternalLevelPercentage), 0);
}

void levelRxChanged(uint32_t, uint32_t value, uint32_t)
{
    setLevelRxCode(convDbToGain2048(static_cast<int16_t>(value)));
}

void writeDigMpxGain(float g)
{
    uint32_t bits = std::bit_cast<uint32_t>(g);
    if (st().gainWritten && st().lastGainBits == bits)
        return;
    if (fpgaWriteWords(&bits, 1, 2, kDigMpxGainRegion, 0) != 0)
        return; // not written: the next call tries again
    st().gainWritten = true;
    st().lastGainBits = bits;
}

void setLevelCodDigMpx_dBFS(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(LevelCodDigMpx_dBFS);
    if (cfgStore(row, 0, v) == 1) {
        cfgStore(KEYROW(DigMpxGain), 0, std::bit_cast<uint32_t>(digMpxGainOf(getLevelCodDigMpx_dBFS())));
        cfgPublish(row, 0);
        cfgMark(row);
    }
    if (getHwReady() == 1)
        writeDigMpxGain(digMpxGainOf(static_cast<int16_t>(v)));
}

void cfgHandSet_LevelCodDigMpx_dBFS(uint32_t, uint32_t v)
{
    setLevelCodDigMpx_dBFS(v);
}

void setDigMpxGain(float g)
{
    cfgStore(KEYROW(DigMpxGain), 0, std::bit_cast<uint32_t>(g));
    if (getHwReady() == 1)
        writeDigMpxGain(g);
}

void reapplyLevelOnFlag()
{
    if (getHwReady() == 1)
        writeDigMpxGain(digMpxGainOf(getLevelCodDigMpx_dBFS()));
}

void setAesEbuAlCode(uint32_t v)
{
    if (v == 3 && getAesEbuAl() == 0)
        v = 0;
    if (cfgStore(KEYROW(AesEbuAlCode), 0, v) == 1)
        cfgPublish(KEYROW(AesEbuAlCode), 0);
}

void updateRightChannelGain()
{
    uint16_t gain = getRouteWord5() != 0 ? 0 : convDbToGain2048(getLevelRight_dBu());
    setRightChannelGain(gain);
}

int isValidMpxOptionA(uint32_t v)
{
    return cfgIsValidRow(KEYROW(MpxOptionA), v);
}

int isValidMpxOptionB(uint32_t v)
{
    return cfgIsValidRow(KEYROW(MpxOptionB), v);
}

int isValidMpxOptionC(uint32_t v)
{
    return cfgIsValidRow(KEYROW(MpxOptionC), v);
}

// ---- Audio alarms ----

void logTotAudioAlmEnable(uint32_t, uint32_t value, uint32_t)
{
    logSwitch("Audio Mpx Alarm", value);
}

void logAudioLeftAlmEnable(uint32_t, uint32_t value, uint32_t)
{
    logSwitch("Audio Left Alarm", value);
}

void logAudioRightAlmEnable(uint32_t, uint32_t value, uint32_t)
{
    logSwitch("Audio Right Alarm", value);
}

void logAudioAuxAlmEnable(uint32_t, uint32_t value, uint32_t)
{
    logSwitch("Audio Aux Alarm", value);
}

void logInputPresAlmEnable(uint32_t, uint32_t value, uint32_t)
{
    logSwitch("Input Presence Alarm", value);
}

void copyInputPresThresholds(uint32_t, uint32_t value, uint32_t)
{
    setInputPresThresholdC(value);
    setInputPresThresholdA(value);
    setInputPresThresholdB(value);
}
