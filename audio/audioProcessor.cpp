// Audio-processor coefficient engine: conversions, frame packing, the stage
// writers, the economy word and the meter step.
#include "audio/audioProcessor.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/inputKeys.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kSampleRate = 54000.0;
constexpr double kLn9 = 2.1972245773362196;
constexpr uint32_t kCmpBlocks = 5;
constexpr uint32_t kLimiterBlocks = 3;
constexpr uint32_t kEqBands = 6;
constexpr uint32_t kEqFrames = 31;
constexpr uint32_t kMeterBands = 5;
constexpr uint16_t kRfOutputEvent = 54;
constexpr uint32_t kStrobeHoldUs = 100;
constexpr uint32_t kMeterSettleUs = 1000;

struct State {
    uint32_t meterBand = 0; // the band the next meter step reads
};

State& st()
{
    static State s;
    return s;
}

void writeWindow(uint8_t window, uint32_t word)
{
    fpgaWriteWords(&word, 1, 2, window, 0);
}

uint32_t readWindow(uint8_t window)
{
    uint32_t word = 0;
    fpgaReadWords(&word, 1, 2, window, 0);
    return word;
}

// Rounds half away from zero into a signed 32-bit word; values beyond the
// word saturate and a value that is not a number gives 0, so a degenerate
// setting never reaches the FPGA as an undefined conversion.
int32_t roundS32(double v)
{
    if (std::isnan(v))
        return 0;
    double r = std::round(v);
    if (r >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// A band gain or Q setting kept in a 32-bit item holds a signed 16-bit
// value (tenths of dB).
int32_t signed16(uint32_t v)
{
    return static_cast<int16_t>(v & 0xFFFF);
}

// The five coefficients of one equaliser band.
void eqBand(double gainDb, double q, double fc, bool lowShelf, bool highShelf, double c[5])
{
    double K = std::tan(M_PI * fc / kSampleRate);
    double K2 = K * K;
    double V = std::pow(10.0, std::fabs(gainDb) / 20.0);
    double s2 = std::sqrt(2.0), s2V = std::sqrt(2.0 * V);
    bool boost = gainDb >= 0;
    double b0, b1, b2, a1, a2;
    if (lowShelf) {
        if (boost) {
            double D = 1 + s2 * K + K2;
            b0 = (1 + s2V * K + V * K2) / D;
            b1 = 2 * (V * K2 - 1) / D;
            b2 = (1 - s2V * K + V * K2) / D;
            a1 = 2 * (K2 - 1) / D;
            a2 = (1 - s2 * K + K2) / D;
        } else {
            double E = 1 + s2V * K + V * K2;
            b0 = (1 + s2 * K + K2) / E;
            b1 = 2 * (K2 - 1) / E;
            b2 = (1 - s2 * K + K2) / E;
            a1 = 2 * (V * K2 - 1) / E;
            a2 = (1 - s2V * K + V * K2) / E;
        }
    } else if (highShelf) {
        if (boost) {
            double D = 1 + s2 * K + K2;
            b0 = (V + s2V * K + K2) / D;
            b1 = 2 * (K2 - V) / D;
            b2 = (V - s2V * K + K2) / D;
            a1 = 2 * (K2 - 1) / D;
            a2 = (1 - s2 * K + K2) / D;
        } else {
            double E = V + s2V * K + K2;
            b0 = (1 + s2 * K + K2) / E;
            b1 = 2 * (K2 - 1) / E;
            b2 = (1 - s2 * K + K2) / E;
            double s2oV = std::sqrt(2.0 / V);
            double F = 1 + s2oV * K + K2 / V;
            a1 = 2 * (K2 / V - 1) / F;
            a2 = (1 - s2oV * K + K2 / V) / F;
        }
    } else if (boost) {
        double D = 1 + K / q + K2;
        b0 = (1 + V * K / q + K2) / D;
        b1 = a1 = 2 * (K2 - 1) / D;
        b2 = (1 - V * K / q + K2) / D;
        a2 = (1 - K / q + K2) / D;
    } else {
        double E = 1 + V * K / q + K2;
        b0 = (1 + K / q + K2) / E;
        b1 = a1 = 2 * (K2 - 1) / E;
        b2 = (1 - K / q + K2) / E;
        a2 = (1 - V * K / q + K2) / E;
    }
    c[0] = b0;
    c[1] = b1;
    c[2] = b2;
    c[3] = a1;
    c[4] = a2;
}

} // namespace

int16_t apGainLog2S(int32_t g)
{
    double v = std::log2(std::pow(10.0, g / 200.0) * 14500.0 / 256.0) * 4096.0;
    return static_cast<int16_t>(static_cast<uint16_t>(roundS32(v) & 0xFFFF));
}

uint16_t apGainLog2U(int32_t g)
{
    double v = std::log2(std::pow(10.0, g / 200.0)) * 4096.0;
    return static_cast<uint16_t>(roundS32(v) & 0xFFFF);
}

uint32_t apGainLinearQ12(int32_t g)
{
    return static_cast<uint32_t>(roundS32(std::pow(10.0, g / 200.0) * 4096.0));
}

void apRatio(uint32_t r, uint32_t* linRt, uint32_t* extRtDyn)
{
    double x = r / 100.0;
    uint32_t v;
    if (x >= 16.0) {
        v = static_cast<uint32_t>(std::lround(static_cast<float>(x)));
        *extRtDyn = 1;
    } else {
        // 15.97 and above round to 256: the field's largest value is kept.
        v = static_cast<uint32_t>(std::lround(16.0 * x));
        *extRtDyn = 0;
    }
    *linRt = v > 255 ? 255 : v;
}

uint32_t apTimeConstant(uint32_t us)
{
    if (us == 0)
        return 1;
    double n = std::round(1.0 / (1.0 - std::exp(-kLn9 / (kSampleRate * us / 1000000.0))));
    // The count has a 16-bit field: a longer time constant takes the
    // longest count instead of spilling into the neighbouring field.
    return n >= 65535.0 ? 65535u : static_cast<uint32_t>(n);
}

uint32_t apControlWord(const AudioProcessorBlock& block, uint32_t type, uint32_t addr)
{
    const ApCommonSet& c = block.common[0];
    // With an MPX source the processor is bypassed: its switches go out as 0.
    uint32_t source = getMpxChSrc();
    bool bypass = source == 2 || source == 3;
    uint32_t w = 0;
    if (!bypass) {
        w |= c.on & 1u;
        w |= (c.eqOn & 1u) << 10;
        w |= (c.cmpOn & 1u) << 11;
        w |= (c.limGainSel & 7u) << 18;
    }
    w |= (type & 7u) << 1;
    w |= (addr & 0x3Fu) << 4;
    w |= (block.byte50 & 7u) << 13;
    w |= (c.eqPostCpr & 1u) << 16;
    w |= (c.limPostCpr & 1u) << 17;
    w |= (c.limLev & 7u) << 21;
    w |= (block.limByte & 0x1Fu) << 24;
    return w;
}

void writeApFrame(ApFrame frame, int strobe)
{
    writeWindow(AP_WIN_CONTROL, frame.word3);
    writeWindow(AP_WIN_WORD2, frame.word2);
    writeWindow(AP_WIN_WORD1, frame.word1);
    if (!strobe)
        return;
    writeWindow(AP_WIN_CONTROL, frame.word3 | AP_CTRL_STROBE);
    clockSleepUs(kStrobeHoldUs);
    writeWindow(AP_WIN_CONTROL, frame.word3 & ~AP_CTRL_STROBE);
}

void writeApControl(ApFrame frame)
{
    writeWindow(AP_WIN_CONTROL, frame.word3);
}

void AP_SetCommonStage(AudioProcessorBlock block)
{
    writeApControl({0, 0, apControlWord(block, AP_STAGE_CMPR, 0)});
}

void AP_SetCompressor(AudioProcessorBlock block)
{
    for (uint32_t b = 0; b < kCmpBlocks; b++) {
        const ApCmpBand& band = block.cmp[0].band[b];
        uint32_t linRt, extRtDyn;
        apRatio(band.linRt, &linRt, &extRtDyn);
        uint16_t logTh = static_cast<uint16_t>(apGainLog2S(band.logTh));
        uint16_t logKw = apGainLog2U(static_cast<int32_t>(band.logKw & 0xFFFF));
        ApFrame f;
        f.word1 = logTh | linRt << 16 | static_cast<uint32_t>(logKw & 0xFF) << 24;
        f.word2 = static_cast<uint32_t>(logKw >> 8) | (band.minGainDec & 7u) << 8 | extRtDyn << 11;
        f.word3 = apControlWord(block, AP_STAGE_CMPR, b);
        writeApFrame(f, 1);
    }
}

void AP_SetTimeConstants(AudioProcessorBlock block)
{
    for (uint32_t b = 0; b < kCmpBlocks; b++) {
        const ApTimeConstants& t = block.cmp[0].smoothing[b];
        ApFrame f;
        f.word1 = apTimeConstant(t.attack) | apTimeConstant(t.release) << 16;
        f.word2 = 0;
        f.word3 = apControlWord(block, AP_STAGE_SMOO, b);
        writeApFrame(f, 1);
    }
}

void AP_SetLimiter(AudioProcessorBlock block)
{
    const int16_t* ref = block.cmp[0].gainLogRef;
    for (uint32_t k = 0; k < kLimiterBlocks; k++) {
        uint32_t even = static_cast<uint16_t>(apGainLog2S(ref[2 * k]));
        uint32_t odd = 2 * k + 1 < AP_CMP_BANDS ? static_cast<uint16_t>(apGainLog2S(ref[2 * k + 1])) : 0;
        ApFrame f;
        f.word1 = even | odd << 16;
        f.word2 = 0;
        f.word3 = apControlWord(block, AP_STAGE_GREF, k);
        writeApFrame(f, 1);
    }
}

void apEqualizerWords(const AudioProcessorBlock& block, int32_t out[31])
{
    const ApEqSet& eq = block.eq[0];
    out[0] = static_cast<int32_t>(apGainLinearQ12(signed16(static_cast<uint32_t>(eq.gain))));
    for (uint32_t b = 0; b < kEqBands; b++) {
        const ApEqBand& band = eq.band[b];
        double fc = b == kEqBands - 1 ? 10000.0 : static_cast<double>(band.freqC);
        double c[5];
        eqBand(signed16(band.gain) / 10.0, band.qFactor / 100.0, fc, b == 0 && eq.llShelving != 0,
               b == kEqBands - 1 && eq.hShelving != 0, c);
        for (int k = 0; k < 5; k++)
            out[1 + 5 * b + k] = roundS32(c[k] * 67108864.0);
    }
}

void AP_SetEqualizer(AudioProcessorBlock block)
{
    int32_t words[kEqFrames];
    apEqualizerWords(block, words);
    for (uint32_t n = 0; n < kEqFrames; n++)
        writeApFrame({static_cast<uint32_t>(words[n]), 0, apControlWord(block, AP_STAGE_EQUA, n)}, 0);
}

void AP_SetEconMode(AudioProcessorBlock block)
{
    uint32_t w = 0;
    if (getEventBit(kRfOutputEvent))
        w = (block.econOn & 1u) | (block.econReference & 7u) << 1 | (block.econRatio & 3u) << 4;
    writeWindow(AP_WIN_ECON, w);
}

void AP_ReadMeters()
{
    State& s = st();
    uint32_t band = s.meterBand;
    setApMeterBandSel(band);
    clockSleepUs(kMeterSettleUs);

    uint32_t meter = readWindow(AP_WIN_METER);
    setApMeterFlag0(meter & 1);
    setApMeterFlag1(meter >> 1 & 1);
    setApMeterFlag7(meter >> 7 & 1);
    setApMeterValue(meter >> 2 & 0x1F);
    double x = static_cast<int16_t>(meter >> 8 & 0xFFFF);
    double reductionDb = 20.0 * std::log10(std::pow(2.0, x / 4096.0));
    setApBandGainReduction(band, static_cast<uint32_t>(static_cast<int32_t>(reductionDb * 10.0)));
    s.meterBand = (band + 1) % kMeterBands;

    uint32_t level = readWindow(AP_WIN_LEVEL);
    double levelDb = 10.0 * std::log10((level ? level : 1u) / 2147483647.0) + 7.809;
    setApOutputLevel(static_cast<uint32_t>(static_cast<int32_t>(levelDb * 10.0)));

    uint32_t peak = readWindow(AP_WIN_PEAK) & 0xFFFF;
    double peakDb = 20.0 * std::log10((peak ? peak : 1u) / 32767.0);
    setApPeakLevel(static_cast<uint32_t>(static_cast<int32_t>(peakDb * 10.0)));
}
