// Stand-in for the RF region's frequency setter: stores a changed frequency,
// publishes and marks, without the retune, the mute and the last-valid reset.
#include "Config/keys/rf.h"

#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"

void setOutputRFfrequency(uint32_t f, uint32_t)
{
    const CfgKeyDesc* row = KEYROW(OutputRFfrequency);
    if (cfgStore(row, 0, f) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_OutputRFfrequency(uint32_t, uint32_t v)
{
    setOutputRFfrequency(v, 0);
}

// Stand-ins for the frequency-offset and power-offset keys: plain values,
// zero at start; the setters store only (no publish, no mark, and the
// first/last-frequency setters do not recompute the frequency power offset).
namespace {

struct State {
    uint32_t frequencyOffset = 0;
    uint32_t frequencyCalibOffset = 0;
    int16_t powerOffsetFirstFreq = 0;
    int16_t powerOffsetLastFreq = 0;
    int16_t freqPowerOffset = 0;
};

State& st()
{
    static State s;
    return s;
}

} // namespace

uint32_t getFrequencyOffset()
{
    return st().frequencyOffset;
}

void setFrequencyOffset(uint32_t hz)
{
    st().frequencyOffset = hz;
}

uint32_t getFrequencyCalibOffset()
{
    return st().frequencyCalibOffset;
}

void setFrequencyCalibOffset(uint32_t hz)
{
    st().frequencyCalibOffset = hz;
}

int16_t getPowerOffsetFirstFreq()
{
    return st().powerOffsetFirstFreq;
}

void setPowerOffsetFirstFreq(int16_t tenthsDb)
{
    st().powerOffsetFirstFreq = tenthsDb;
}

int16_t getPowerOffsetLastFreq()
{
    return st().powerOffsetLastFreq;
}

void setPowerOffsetLastFreq(int16_t tenthsDb)
{
    st().powerOffsetLastFreq = tenthsDb;
}

int16_t getFreqPowerOffset()
{
    return st().freqPowerOffset;
}

void setFreqPowerOffset(int16_t tenthsDb)
{
    st().freqPowerOffset = tenthsDb;
}
