// Stand-in for the RF region's frequency and output-power setters: the
// frequency is stored, published and marked, and retuned once the hardware
// is ready, without the log line, the mute and the last-valid reset; the
// offsets, the board output power and the power offsets are plain values
// (the first/last-frequency setters do not recompute the frequency power
// offset).
#include "Config/keys/rf.h"

#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "hw/rfDac.h"
#include "hw/tunableBpf.h"

#include <atomic>

namespace {

struct RfValues {
    std::atomic<int32_t> frequencyOffset{0};
    std::atomic<int32_t> frequencyCalibOffset{0};
    std::atomic<int16_t> boardOutputPower{0};
    std::atomic<int16_t> powerOffsetFirstFreq{0};
    std::atomic<int16_t> powerOffsetLastFreq{0};
    std::atomic<int16_t> freqPowerOffset{0};
};

RfValues& st()
{
    static RfValues s;
    return s;
}

bool hwReady()
{
    return getHwReady() == 1;
}

} // namespace

void setOutputRFfrequency(uint32_t f, uint32_t)
{
    const CfgKeyDesc* row = KEYROW(OutputRFfrequency);
    if (cfgStore(row, 0, f) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
    if (hwReady())
        retuneAfterFrequencyChange();
}

void cfgHandSet_OutputRFfrequency(uint32_t, uint32_t v)
{
    setOutputRFfrequency(v, 0);
}

int32_t getFrequencyOffset()
{
    return st().frequencyOffset;
}

void setFrequencyOffset(uint32_t o)
{
    if (st().frequencyOffset.exchange(static_cast<int32_t>(o)) != static_cast<int32_t>(o) && hwReady())
        retuneAfterFrequencyChange();
}

int32_t getFrequencyCalibOffset()
{
    return st().frequencyCalibOffset;
}

void setFrequencyCalibOffset(uint32_t o)
{
    if (st().frequencyCalibOffset.exchange(static_cast<int32_t>(o)) != static_cast<int32_t>(o) && hwReady())
        retuneAfterFrequencyChange();
}

int16_t getBoardOutputPower()
{
    return st().boardOutputPower;
}

void setBoardOutputPower(uint32_t v)
{
    st().boardOutputPower = static_cast<int16_t>(v);
    if (hwReady())
        UpdateQM();
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
