// Measurement toolbox of the amplifier measures.
#include "power/measureFilters.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/logs.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"

#include <cmath>
#include <cstdlib>

namespace {

struct MeanThresholds {
    int jump;         // a sample this far from samples[0] is discarded
    int ceiling;      // ... while samples[0] is at most this
    int outlier;      // entries this far from the mean count as the mean once stable
    int stableBand;   // |history mean - mean| within this: one more stable pass
    int stablePasses; // stable once the count exceeds this
    int unstableBand; // |history mean - mean| at least this: unstable again
};

struct ModelThresholds {
    uint32_t model;
    MeanThresholds t;
};

// Second family: models 3 and 4; any other model gets the last row.
constexpr ModelThresholds kSecondFamily[] = {
    {3, {3000, 55000, 8000, 30, 7, 50}},
    {4, {185, 55000, 500, 2, 5, 3}},
    {~0u, {0, 55000, 0, 0, 0, 0}},
};
// Third family: model 5.
constexpr ModelThresholds kThirdFamily[] = {
    {5, {180, 3437, 500, 2, 3, 4}},
    {~0u, {0, 3437, 0, 0, 0, 0}},
};

template <size_t N>
const MeanThresholds& thresholdsFor(const ModelThresholds (&rows)[N])
{
    uint32_t model = getHpaModelCode();
    for (const ModelThresholds& r : rows)
        if (r.model == model)
            return r.t;
    return rows[N - 1].t;
}

// Moves entries 0..n-2 one place down; an empty (0) entry does not overwrite
// its successor.
void shiftNonZero(uint16_t* a, uint16_t n)
{
    for (int i = n - 2; i >= 0; i--)
        if (a[i] != 0)
            a[i + 1] = a[i];
}

int movingMean(const char* func, const MeanThresholds& t, uint16_t sample, uint16_t* samples, uint16_t n, uint16_t* mean,
               uint16_t* means, uint16_t m, uint16_t* stableCount, uint8_t* stable, uint16_t* discardCount)
{
    int head = samples[0], s = sample;
    if (head != 0 && head <= t.ceiling && (s + t.jump < head || s - t.jump > head)) {
        debugPrintf(func, DBG_POWER_MNG, DBG_POWER_MNG, "Measure sample %d [MeadData_0=%d] -- DISCARDED\n", s, head);
        if (++*discardCount >= 6) {
            for (uint16_t i = 0; i < n; i++)
                samples[i] = 0;
            for (uint16_t i = 0; means && i < m; i++)
                means[i] = 0;
            *discardCount = 0;
            *stable = 0;
        }
        return 0;
    }
    *discardCount = 0;
    shiftNonZero(samples, n);
    samples[0] = sample;
    if (samples[n - 1] == 0)
        return 0;

    int current = *mean;
    bool replace = current != 0 && *stable;
    uint32_t sum = 0;
    for (uint16_t i = 0; i < n; i++) {
        int e = samples[i];
        sum += replace && (e > current + t.outlier || e < current - t.outlier) ? current : e;
    }
    *mean = static_cast<uint16_t>(sum / n);
    if (!means)
        return 1;
    shiftNonZero(means, m);
    means[0] = *mean;

    if (means[m - 1] != 0) {
        uint32_t hist = 0;
        for (uint16_t i = 0; i < m; i++)
            hist += means[i];
        int d = static_cast<int>(hist / m) - *mean;
        if (d >= -t.stableBand && d <= t.stableBand) {
            if (++*stableCount > t.stablePasses)
                *stable = 1;
            return 1;
        }
        if (d > -t.unstableBand && d < t.unstableBand)
            return 1;
    }
    *stable = 0;
    *stableCount = 0;
    return 1;
}

constexpr int kTempHistory = 16;
constexpr int kTempMaxRejections = 8;
constexpr int kTempMaxStep = 3;

struct State {
    int16_t tempHistory[kTempHistory] = {};
    bool tempFilled = false;
    uint8_t tempRejections = 0;
};

State& st()
{
    static State s;
    return s;
}

} // namespace

int MovingMean(uint16_t sample, uint16_t* samples, uint16_t n, uint16_t* mean, uint16_t* means, uint16_t m,
               uint16_t* stableCount, uint8_t* stable, uint16_t* discardCount)
{
    return movingMean(__func__, thresholdsFor(kSecondFamily), sample, samples, n, mean, means, m, stableCount, stable,
                      discardCount);
}

int MovingMeanTrel(uint16_t sample, uint16_t* samples, uint16_t n, uint16_t* mean, uint16_t* means, uint16_t m,
                   uint16_t* stableCount, uint8_t* stable, uint16_t* discardCount)
{
    return movingMean(__func__, thresholdsFor(kThirdFamily), sample, samples, n, mean, means, m, stableCount, stable,
                      discardCount);
}

void FilterTemperature(int16_t* temperature)
{
    State& s = st();
    int16_t* h = s.tempHistory;
    if (!s.tempFilled) {
        for (int i = 0; i < kTempHistory; i++) {
            h[i] = *temperature;
            DEBUG_PRINT(DBG_TEMPERATURE, "TempMeasures[%d] %d\n", i, h[i]);
        }
        s.tempFilled = true;
    }
    int diff = *temperature - h[0];
    if (s.tempRejections < kTempMaxRejections) {
        if (std::abs(diff) > kTempMaxStep) {
            *temperature = h[0];
            s.tempRejections++;
        }
    } else {
        s.tempRejections = 0;
    }
    DEBUG_PRINT(DBG_TEMPERATURE, "TempDiff %d,*TempMeasureSample %d,  TempMeasures[0] %d, TempStabilize %d\n", diff,
                *temperature, h[0], s.tempRejections);
    int sum = 0;
    for (int i = kTempHistory - 1; i > 0; i--) {
        h[i] = h[i - 1];
        sum += h[i];
    }
    h[0] = *temperature;
    sum += h[0];
    *temperature = static_cast<int16_t>(sum >> 4);
}

void filterTemperatureReset()
{
    st() = State{};
}

int windowedMean(uint16_t sample, uint16_t n, uint16_t* window, uint16_t* output)
{
    for (int i = n - 1; i > 0; i--)
        window[i] = window[i - 1];
    window[0] = sample;
    if (window[n - 1] == 0) {
        *output = sample;
        return 0;
    }
    double sum = 0;
    for (uint16_t i = 0; i < n; i++)
        sum += window[i];
    *output = static_cast<uint16_t>(sum / n);
    return 1;
}

namespace {

// Truncation of a non-negative double into 32 bits; values beyond the range
// saturate instead of being undefined.
uint32_t truncU32(double v)
{
    if (!(v >= 0))
        return 0;
    return v >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(v);
}

} // namespace

void dbToLinear(int16_t tenthsDb, uint32_t* wholeOut, uint32_t* hundredthsOut)
{
    double p = std::pow(10.0, tenthsDb / 100.0);
    *wholeOut = p < 1.0 ? 0 : truncU32(p);
    *hundredthsOut = truncU32(p * 100.0);
}

// readAmpAdcChannel --------------------------------------------------------

namespace {

constexpr uint8_t kMuxExpander = 0x24;  // multiplexer byte, output register 1
constexpr uint8_t kBankExpander = 0x23; // model 5: bank select on bit 4
constexpr uint8_t kRegInput = 0;
constexpr uint8_t kRegOutput = 1;
constexpr uint8_t kRfStateBit = 0x08;

// Bit 3 of the multiplexer byte: the RF state, inverted on model 4.
uint8_t withRfState(uint8_t byte, uint32_t model)
{
    bool on = getTxOnState() == 1;
    if (model == 4)
        on = !on;
    return static_cast<uint8_t>(on ? byte | kRfStateBit : byte & ~kRfStateBit);
}

// First-family signals: multiplexer byte of model 0 and channel of models 1
// and 2 (-1: the model has no such channel).
struct FirstFamilyRow {
    AmpAdcChannel signal;
    int model0;
    int model1;
    int model2;
};
constexpr FirstFamilyRow kFirstFamily[] = {
    {AMP_ADC_FWD, 0, 1, 1},
    {AMP_ADC_REF, 1, -1, 3},
    {AMP_ADC_CURRENT, 6, -1, 2},
    {AMP_ADC_TEMP, 4, 0, 0},
};

int readModel0(uint16_t channel, uint16_t* dest)
{
    for (const FirstFamilyRow& r : kFirstFamily) {
        if (r.signal != channel)
            continue;
        // The port is written whole: bits 3-4 cleared, then the RF state.
        uint8_t byte = withRfState(static_cast<uint8_t>(r.model0 & ~0x18), 0);
        int err = ioExpWrite(byte, kRegOutput, kMuxExpander);
        if (err < 0)
            return err;
        return readAdcRaw(dest);
    }
    return -1;
}

int readModel12(uint32_t model, uint16_t channel, uint16_t* dest)
{
    for (const FirstFamilyRow& r : kFirstFamily) {
        if (r.signal != channel)
            continue;
        int ch = model == 1 ? r.model1 : r.model2;
        if (ch < 0)
            return 0; // not wired on this model: the caller keeps its value
        uint8_t port;
        int err = pca9655Read(&port, kRegInput, kMuxExpander);
        if (err < 0)
            return err;
        // Channel bits 0-1, the ADC chip select (bit 4) high until the read.
        uint8_t byte = withRfState(static_cast<uint8_t>((port & ~0x03) | 0x10 | ch), model);
        err = ioExpWrite(byte, kRegOutput, kMuxExpander);
        if (err < 0)
            return err;
        clockSleepUs(1);
        return readAdc(dest);
    }
    return -1;
}

int readSecondFamily(uint32_t model, uint16_t channel, uint16_t* dest)
{
    bool noLeadPause = channel & AMP_ADC_NO_LEAD_PAUSE;
    uint16_t byte = channel & ~AMP_ADC_NO_LEAD_PAUSE;
    if ((byte & 0x78) != 0 || byte > 0x87)
        return -1;
    int err = ioExpWrite(withRfState(static_cast<uint8_t>(byte), model), kRegOutput, kMuxExpander);
    if (err < 0)
        return err;
    if (model == 4) {
        clockSleepUs(1);
        return readAdc(dest);
    }
    // LTC2451: the first conversion still holds the previous channel; it is
    // read and dropped.
    uint16_t v;
    if (!noLeadPause)
        clockSleepUs(25000);
    LTC2451_Read(&v);
    clockSleepUs(25000);
    err = LTC2451_Read(&v);
    if (err == 0)
        *dest = v;
    return err;
}

int readModel5(uint16_t channel, uint16_t* dest)
{
    if ((channel & 0xFF00) != 0x200)
        return -1;
    unsigned bank = channel >> 4 & 1, ch = channel & 3;
    uint8_t port;
    int err = pca9655Read(&port, kRegInput, kBankExpander);
    if (err < 0)
        return err;
    err = ioExpWrite(static_cast<uint8_t>(bank ? port | 0x10 : port & ~0x10), kRegOutput, kBankExpander);
    if (err < 0)
        return err;
    err = pca9655Read(&port, kRegInput, kMuxExpander);
    if (err < 0)
        return err;
    err = ioExpWrite(withRfState(static_cast<uint8_t>((port & ~0x03) | ch), 5), kRegOutput, kMuxExpander);
    if (err < 0)
        return err;
    clockSleepUs(20000);
    return readAdc(dest);
}

} // namespace

int readAmpAdcChannel(uint16_t channel, uint16_t* dest)
{
    uint32_t model = getHpaModelCode();
    switch (model) {
    case 0: return readModel0(channel, dest);
    case 1:
    case 2: return readModel12(model, channel, dest);
    case 3:
    case 4: return readSecondFamily(model, channel, dest);
    case 5: return readModel5(channel, dest);
    default: return -1;
    }
}
