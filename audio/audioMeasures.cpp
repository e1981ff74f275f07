// Audio level measures.
#include "audio/audioMeasures.h"

#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/inputKeys.h"
#include "audio/conversions.h"
#include "audio/inputSwitch.h"
#include "platform/clock.h"

#include <cstdlib>
#include <initializer_list>

namespace {

constexpr double kFull = 1.0;
constexpr double kPilotAux = 0.1;
constexpr long kSwitchSettleSeconds = 5;

enum RawAlarm : uint32_t { ALM_MPX = 54, ALM_AUX = 55, ALM_LEFT = 56, ALM_RIGHT = 57, ALM_PILOT = 58, ALM_MPX_B = 64 };

bool inList(uint32_t v, std::initializer_list<uint32_t> list)
{
    for (uint32_t x : list)
        if (x == v)
            return true;
    return false;
}

// A reading is processed when it changed, and always when it is 0 (so a
// stuck-at-zero input keeps its alarm and cells fresh). Stores the reading.
bool takeReading(const CfgKeyDesc* row, uint32_t stored, uint32_t raw)
{
    if (raw == stored && raw != 0)
        return false;
    cfgStore(row, 0, raw & 0xFFFF);
    return true;
}

void setAlarm(uint32_t id, int32_t db, int16_t threshold)
{
    setAlarmInput(id, db < threshold ? 1 : 0);
}

// The code on air has no such channel: deviation 0, -180 dB, alarm clear.
void forceQuiet(const CfgKeyDesc* devRow, void (*setDb)(uint32_t), uint32_t alarm)
{
    cfgStore(devRow, 0, 0);
    cfgPublish(devRow, 0);
    setDb(static_cast<uint32_t>(-180));
    setAlarmInput(alarm, 0);
}

void publishDeviation(const CfgKeyDesc* devRow, uint32_t hz)
{
    cfgStore(devRow, 0, hz);
    cfgPublish(devRow, 0);
}

void setDeviationOnAir(uint32_t hz)
{
    if (getOnAirInput() == 0)
        setPrimDeviation(hz);
    else
        setSecDeviation(hz);
}

void setDeviationNotOnAir(uint32_t hz)
{
    if (getOnAirInput() == 0)
        setSecDeviation(hz);
    else
        setPrimDeviation(hz);
}

// The MPX deviation and its level; then the deviation of the configuration
// on air, MPX less the auxiliary deviation measured before this reading.
void mpxDeviation(uint32_t hz, bool changed, uint32_t aux)
{
    if (changed) {
        int32_t db = convToDb(hz, kFull);
        publishDeviation(KEYROW(MeasuredMpxDeviation), hz);
        setMeasuredMpxLevel_dB(static_cast<uint32_t>(db));
        setAlarm(ALM_MPX, db, getTotAudioAlmThreshold());
    }
    // An auxiliary deviation above the MPX one reads as no deviation, not as
    // the wrapped difference.
    setDeviationOnAir(getMeasuredMpxDeviation() > aux ? getMeasuredMpxDeviation() - aux : 0);
}

// Codes on air whose left (or right) channel is not measured.
bool channelIsMpx(uint32_t code, bool right)
{
    if (code == 25 || code == 29 || code == 32 || (code >= 48 && code <= 62))
        return true;
    return right && inList(code, {0, 2, 4, 6});
}

void audioChannel(uint32_t raw, bool right)
{
    const CfgKeyDesc* rawRow = right ? KEYROW(MeasuredRightLevelRaw) : KEYROW(MeasuredLeftLevelRaw);
    const CfgKeyDesc* devRow = right ? KEYROW(MeasuredRightDeviation) : KEYROW(MeasuredLeftDeviation);
    void (*setDb)(uint32_t) = right ? setMeasuredRightLevel_dB : setMeasuredLeftLevel_dB;
    uint32_t alarm = right ? ALM_RIGHT : ALM_LEFT;
    if (channelIsMpx(getOutputCfgCode(), right)) {
        cfgStore(rawRow, 0, raw & 0xFFFF);
        forceQuiet(devRow, setDb, alarm);
        return;
    }
    if (!takeReading(rawRow, right ? getMeasuredRightLevelRaw() : getMeasuredLeftLevelRaw(), raw))
        return;
    uint32_t hz = convDeviationToCode(static_cast<uint16_t>(raw), 1);
    int32_t db = convToDb(hz, getAuxChSrc() != 0 ? 0.81 : 0.9);
    publishDeviation(devRow, hz);
    setDb(static_cast<uint32_t>(db));
    setAlarm(alarm, db, right ? getAudioRightAlmThreshold() : getAudioLeftAlmThreshold());
}

void auxDeviation(uint32_t hz, double k)
{
    int32_t db = convToDb(hz, k);
    publishDeviation(KEYROW(MeasuredAuxDeviation), hz);
    setMeasuredAuxLevel_dB(static_cast<uint32_t>(db));
    setAlarm(ALM_AUX, db, getAudioAuxAlmThreshold());
}

void pilotDeviation(uint32_t hz)
{
    int32_t db = convToDb(hz, kPilotAux);
    publishDeviation(KEYROW(MeasuredPilotDeviation), hz);
    setMeasuredPilotLevel_dB(static_cast<uint32_t>(db));
    setAlarm(ALM_PILOT, db, getAudioPilotAlmThreshold());
}

// Whole seconds since the last automatic input switch, either sign; a unit
// that has not switched yet is not settling.
bool settlingAfterSwitch()
{
    struct timespec now, last = getInputSwitchStamp();
    if (last.tv_sec == 0 && last.tv_nsec == 0)
        return false;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    return labs(static_cast<long>(now.tv_sec - last.tv_sec)) < kSwitchSettleSeconds;
}

void configDeviation(const CfgKeyDesc* devRow, uint32_t stored, void (*setDb)(uint32_t), uint32_t hz)
{
    if (settlingAfterSwitch() || hz == stored)
        return;
    cfgStore(devRow, 0, hz);
    cfgPublish(devRow, 0);
    setDb(static_cast<uint32_t>(convToDb(hz, kFull)));
}

} // namespace

void setMeasuredMpxLevelRaw(uint32_t raw)
{
    uint32_t aux = getMeasuredAuxDeviation();
    bool changed = takeReading(KEYROW(MeasuredMpxLevelRaw), getMeasuredMpxLevelRaw(), raw);
    mpxDeviation(changed ? convDeviationToCode(static_cast<uint16_t>(raw), 0) : getMeasuredMpxDeviation(), changed,
                 aux);
}

void setMeasuredMpxDeviation(uint32_t hz)
{
    uint32_t aux = getMeasuredAuxDeviation();
    mpxDeviation(hz, hz != getMeasuredMpxDeviation() || hz == 0, aux);
}

void setMeasuredLeftLevelRaw(uint32_t raw)
{
    audioChannel(raw, false);
}

void setMeasuredRightLevelRaw(uint32_t raw)
{
    audioChannel(raw, true);
}

void setMeasuredAuxLevelRaw(uint32_t raw)
{
    double k = getRdsDevHz() / (getFrequencyDeviation() * 1000.0);
    if (inList(getOutputCfgCode(), {0, 2, 22, 23, 25, 42, 43, 48, 50, 53, 55, 57, 59})) {
        cfgStore(KEYROW(MeasuredAuxLevelRaw), 0, raw & 0xFFFF);
        forceQuiet(KEYROW(MeasuredAuxDeviation), setMeasuredAuxLevel_dB, ALM_AUX);
        return;
    }
    if (takeReading(KEYROW(MeasuredAuxLevelRaw), getMeasuredAuxLevelRaw(), raw))
        auxDeviation(convDeviationToCode(static_cast<uint16_t>(raw), 1), k);
}

void setMeasuredAuxDeviation(uint32_t hz)
{
    if (hz != getMeasuredAuxDeviation() || hz == 0)
        auxDeviation(hz, kPilotAux);
}

void setMeasuredPilotLevelRaw(uint32_t raw)
{
    if (takeReading(KEYROW(MeasuredPilotLevelRaw), getMeasuredPilotLevelRaw(), raw))
        pilotDeviation(convDeviationToCode(static_cast<uint16_t>(raw), 1));
}

void setMeasuredPilotDeviation(uint32_t hz)
{
    if (hz != getMeasuredPilotDeviation() || hz == 0)
        pilotDeviation(hz);
}

void setMeasuredMpxDeviationB(uint32_t hz)
{
    if (hz != getMeasuredMpxDeviationB() || hz == 0) {
        int32_t db = convToDb(hz, kFull);
        publishDeviation(KEYROW(MeasuredMpxDeviationB), hz);
        setMeasuredMpxLevelB_dB(static_cast<uint32_t>(db));
        setAlarm(ALM_MPX_B, db, getTotAudioAlmThreshold());
    }
    setDeviationNotOnAir(hz);
}

void setPrimDeviation(uint32_t hz)
{
    configDeviation(KEYROW(PrimDeviation), getPrimDeviation(), setPrimLevel_dB, hz);
}

void setSecDeviation(uint32_t hz)
{
    configDeviation(KEYROW(SecDeviation), getSecDeviation(), setSecLevel_dB, hz);
}

void setMeasuredFmDeviationRaw(uint32_t raw)
{
    if (takeReading(KEYROW(MeasuredFmDeviationRaw), getMeasuredFmDeviationRaw(), raw))
        setMeasuredFmDeviation(convDeviationRatioToCode(static_cast<uint16_t>(raw)));
}

void setBackupLFreqDevRaw(uint32_t raw)
{
    cfgStore(KEYROW(BackupLFreqDevRaw), 0, raw & 0xFFFF);
    uint16_t v = convMulDeviationScale(static_cast<uint16_t>(raw), getMtxBackupLLevel());
    setBackupLFreqDev(v);
    setBackupLFreqDevHz(convDeviationToCode(v, 0));
}

void setBackupRFreqDevRaw(uint32_t raw)
{
    cfgStore(KEYROW(BackupRFreqDevRaw), 0, raw & 0xFFFF);
    uint16_t v = convMulDeviationScale(static_cast<uint16_t>(raw), getMtxBackupRLevel());
    setBackupRFreqDev(v);
    setBackupRFreqDevHz(convDeviationToCode(v, 0));
}
