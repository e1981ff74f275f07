// The audio-processor engine at the simulated FPGA: frames and strobes in
// the windows' write log, the equaliser against an independent reference,
// the conversions, the control word, the economy word and the meter step.
#include "Config/eventBitmaps.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/inputKeys.h"
#include "audio/audioProcessor.h"
#include "comtab/dbPool.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kWindow18 = 0xFF200B80;

class ApEngine : public SandboxTest {
protected:
    ApEngine() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        ASSERT_EQ(initAxi(), 0);
    }
    static std::vector<SimApWrite> since(uint32_t mark)
    {
        std::vector<SimApWrite> out(kSimApLogSize);
        out.resize(static_cast<size_t>(simFpgaApLog(mark, out.data(), kSimApLogSize)));
        return out;
    }
    static void setWindow(uint8_t window, uint32_t v) { simFpgaWrite(kWindow18 + 4u * (window - 18), v); }
    static uint32_t window(uint8_t w)
    {
        uint32_t v = 0;
        simFpgaRead(kWindow18 + 4u * (w - 18), &v);
        return v;
    }
};

struct RefCase {
    std::string name;
    int master = 0;
    int low = 0, high = 0;
    uint32_t freq[6] = {}, q[6] = {};
    int gain[6] = {};
    std::vector<uint32_t> words; // 31 x (word1, word2, word3)
};

std::vector<RefCase> readReference()
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/audio/tests/golden/apEqFrames.txt");
    std::vector<RefCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ls(line);
        if (line.rfind("case ", 0) == 0) {
            RefCase c;
            std::string word;
            ls >> word >> c.name >> word >> c.master >> word >> c.low >> c.high >> word;
            for (int b = 0; b < 6; b++) {
                char comma;
                ls >> c.freq[b] >> comma >> c.gain[b] >> comma >> c.q[b];
            }
            cases.push_back(c);
            continue;
        }
        for (int k = 0; k < 3; k++) {
            std::string hex;
            ls >> hex;
            cases.back().words.push_back(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
        }
    }
    return cases;
}

TEST_F(ApEngine, EqualizerFramesMatchTheReferenceBitForBit)
{
    std::vector<RefCase> cases = readReference();
    ASSERT_EQ(cases.size(), 3u);
    for (const RefCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.words.size(), 31u * 3);
        AudioProcessorBlock b = {};
        b.common[0].on = 1;
        b.common[0].eqOn = 1;
        b.common[0].cmpOn = 1;
        b.common[0].limGainSel = 5;
        b.common[0].limPostCpr = 1;
        b.common[0].limLev = 3;
        b.byte50 = 2;
        b.limByte = 31;
        b.eq[0].gain = c.master;
        b.eq[0].llShelving = static_cast<uint8_t>(c.low);
        b.eq[0].hShelving = static_cast<uint8_t>(c.high);
        for (int k = 0; k < 6; k++)
            b.eq[0].band[k] = {c.freq[k], static_cast<uint32_t>(c.gain[k]), c.q[k]};
        uint32_t mark = simFpgaApWrites();
        AP_SetEqualizer(b);
        std::vector<SimApWrite> w = since(mark);
        ASSERT_EQ(w.size(), 31u * 3);
        for (size_t n = 0; n < 31; n++) {
            SCOPED_TRACE(n);
            // No strobe: word 3 to window 20, word 2 to 19, word 1 to 18.
            EXPECT_EQ(w[3 * n].window, 20u);
            EXPECT_EQ(w[3 * n].value, c.words[3 * n + 2]);
            EXPECT_EQ(w[3 * n + 1].window, 19u);
            EXPECT_EQ(w[3 * n + 1].value, c.words[3 * n + 1]);
            EXPECT_EQ(w[3 * n + 2].window, 18u);
            EXPECT_EQ(w[3 * n + 2].value, c.words[3 * n]);
        }
    }
}

TEST_F(ApEngine, StrobedFramesHoldTheStrobeForAHundredMicroseconds)
{
    AudioProcessorBlock b = {};
    b.cmp[0].band[3].logTh = -200;
    b.cmp[0].band[3].linRt = 1600;
    b.cmp[0].band[3].logKw = 60;
    b.cmp[0].band[3].minGainDec = 0xF;
    uint32_t mark = simFpgaApWrites();
    AP_SetCompressor(b);
    std::vector<SimApWrite> w = since(mark);
    ASSERT_EQ(w.size(), 25u);
    for (uint32_t band = 0; band < 5; band++) {
        const SimApWrite* f = &w[5 * band];
        uint32_t control = band << 4; // type 0, addr = band
        EXPECT_EQ(f[0].window, 20u);
        EXPECT_EQ(f[0].value, control);
        EXPECT_EQ(f[1].window, 19u);
        EXPECT_EQ(f[2].window, 18u);
        EXPECT_EQ(f[3].window, 20u);
        EXPECT_EQ(f[3].value, control | AP_CTRL_STROBE);
        EXPECT_EQ(f[4].window, 20u);
        EXPECT_EQ(f[4].value, control);
        EXPECT_GE(f[4].timeNs - f[3].timeNs, 100000);
    }
    // Band 3: log_th, lin_rt 16 with ext_rt_dyn 1, log_kw split over the words,
    // min_gain_dec masked to 3 bits.
    uint16_t kw = apGainLog2U(60);
    EXPECT_EQ(w[17].value, static_cast<uint32_t>(static_cast<uint16_t>(apGainLog2S(-200))) | 16u << 16 |
                               static_cast<uint32_t>(kw & 0xFF) << 24);
    EXPECT_EQ(w[16].value, static_cast<uint32_t>(kw >> 8) | 7u << 8 | 1u << 11);

    // Limiter: three frames, pairs of bands, the third with an empty upper half.
    b.cmp[0].gainLogRef[4] = 30;
    mark = simFpgaApWrites();
    AP_SetLimiter(b);
    w = since(mark);
    ASSERT_EQ(w.size(), 15u);
    EXPECT_EQ(w[10].value, 2u << 1 | 2u << 4);
    EXPECT_EQ(w[12].value, static_cast<uint32_t>(static_cast<uint16_t>(apGainLog2S(30))));

    // Time constants: attack in the low half, release in the high half.
    b.cmp[0].smoothing[1] = {0, 1000};
    mark = simFpgaApWrites();
    AP_SetTimeConstants(b);
    w = since(mark);
    ASSERT_EQ(w.size(), 25u);
    EXPECT_EQ(w[5].value, 1u << 1 | 1u << 4);
    EXPECT_EQ(w[7].value, 1u | apTimeConstant(1000) << 16);
}

TEST_F(ApEngine, Conversions)
{
    struct {
        uint32_t r, linRt, ext;
    } ratios[] = {{1600, 16, 1}, {800, 128, 0}, {100, 16, 0}, {1597, 255, 0}, {1599, 255, 0}, {2000, 20, 1},
                  {0, 0, 0}};
    for (auto c : ratios) {
        uint32_t lin, ext;
        apRatio(c.r, &lin, &ext);
        EXPECT_EQ(lin, c.linRt) << c.r;
        EXPECT_EQ(ext, c.ext) << c.r;
    }
    EXPECT_EQ(apTimeConstant(0), 1u);
    // 1 ms at 54 kHz: 1 / (1 - exp(-ln 9 / 54)).
    EXPECT_EQ(apTimeConstant(1000), 25u);
    EXPECT_EQ(apTimeConstant(100000000), 65535u);
    EXPECT_EQ(apGainLinearQ12(0), 4096u);
    EXPECT_EQ(apGainLinearQ12(60), 8173u); // +6 dB: 4096 x 10^0.3
    EXPECT_EQ(apGainLog2U(0), 0u);
    EXPECT_EQ(apGainLog2U(60), 4082u); // log2(10^0.3) x 4096 = 4081.5
    EXPECT_EQ(apGainLog2S(0), 23854);  // log2(14500 / 256) x 4096
}

TEST_F(ApEngine, ControlWordFieldsAndTheBypassOfMpxSources)
{
    AudioProcessorBlock b = {};
    b.common[0] = {};
    b.common[0].on = 3; // only bit 0 counts
    b.common[0].eqOn = 1;
    b.common[0].cmpOn = 1;
    b.common[0].limGainSel = 0xF;
    b.common[0].limPostCpr = 1;
    b.common[0].eqPostCpr = 1;
    b.common[0].limLev = 9;
    b.byte50 = 4;
    b.limByte = 0x3F;
    AP_SetCommonStage(b);
    uint32_t expect = 1u | 1u << 10 | 1u << 11 | 4u << 13 | 1u << 16 | 1u << 17 | 7u << 18 | 1u << 21 | 0x1Fu << 24;
    EXPECT_EQ(window(20), expect);
    const uint32_t switches = 1u | 1u << 10 | 1u << 11 | 7u << 18;
    for (uint32_t source : {2u, 3u}) {
        getSystemImage()->input.mpxChSrc = source;
        AP_SetCommonStage(b);
        EXPECT_EQ(window(20), expect & ~switches) << source;
    }
    getSystemImage()->input.mpxChSrc = 5;
    AP_SetCommonStage(b);
    EXPECT_EQ(window(20), expect);
}

TEST_F(ApEngine, EconomyWordFollowsTheRfOutputEvent)
{
    AudioProcessorBlock b = {};
    b.econOn = 3;
    b.econReference = 0xF;
    b.econRatio = 0x7;
    setWindow(24, 0xFFFF);
    AP_SetEconMode(b);
    EXPECT_EQ(window(24), 0u);
    setEventBit(1, 54);
    AP_SetEconMode(b);
    EXPECT_EQ(window(24), 1u | 7u << 1 | 3u << 4);
}

TEST_F(ApEngine, MeterStepReadsOneBandPerCall)
{
    // Meter word: flags in bits 0, 1 and 7, value 0b10110 in bits 2-6, gain
    // reduction -4096 (-6.02 dB) in bits 8-23.
    setWindow(21, 1u | 0u << 1 | 1u << 7 | 0x16u << 2 | 0xF000u << 8);
    setWindow(22, 1073741824); // half of full scale: -3.01 + 7.809 dB
    setWindow(23, 0);          // counts as 1
    uint32_t mark = simFpgaApWrites();
    AP_ReadMeters();
    EXPECT_EQ(getApMeterFlag0(), 1);
    EXPECT_EQ(getApMeterFlag1(), 0);
    EXPECT_EQ(getApMeterFlag7(), 1);
    EXPECT_EQ(getApMeterValue(), 0x16);
    EXPECT_EQ(getApBandGainReduction(0), -60);
    EXPECT_EQ(static_cast<int32_t>(getApOutputLevel()), 47);
    EXPECT_EQ(static_cast<int32_t>(getApPeakLevel()), -903);
    // The band selector was 0 already: no control word yet.
    EXPECT_EQ(simFpgaApWrites(), mark);

    setWindow(21, 0x1000u << 8); // +6.02 dB
    AP_ReadMeters();
    EXPECT_EQ(getApMeterBandSel(), 1);
    EXPECT_EQ(window(20) >> 13 & 7, 1u);
    EXPECT_EQ(getApBandGainReduction(1), 60);
    EXPECT_EQ(readDbAreaCell(57, 50), 1u);
    for (int k = 0; k < 4; k++)
        AP_ReadMeters();
    EXPECT_EQ(getApMeterBandSel(), 0); // wrapped after band 4
}

} // namespace
