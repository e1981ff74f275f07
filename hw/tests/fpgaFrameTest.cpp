// The FPGA control frame builder: the field table, a hand-built frame, the
// output gains, the deviation and gate rules, the timed modulation-off, the
// self-shutdown warning and the level operations.
#include "hw/fpgaFrame.h"

#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/gain2048.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class FpgaFrame : public SandboxTest {
protected:
    FpgaFrame() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    uint32_t build(uint8_t mute = 0, uint8_t modOff = 0, int word = -1)
    {
        Fpga_PrepareConfig(mute, modOff, 0, 0);
        return word < 0 ? 0 : FpgaControlFrame[word];
    }

    // Moves the clock and the shared time base on by whole seconds.
    void advanceSeconds(int s)
    {
        clockAdvanceUs(s * 1000000LL);
        timeThread();
    }
};

const FpgaFrameField* findField(int word, int lo)
{
    for (int i = 0; i < kFpgaFrameFieldCount; i++)
        if (kFpgaFrameFields[i].word == word && kFpgaFrameFields[i].lo == lo)
            return &kFpgaFrameFields[i];
    return nullptr;
}

TEST(FpgaFrameFields, TableRowsAsTheFrameLayoutGivesThem)
{
    struct Row {
        int word, lo, width, input, shift;
    } rows[] = {
        {0, 0, 16, FI_rdsWord0, 0},          {3, 0, 16, FI_rdsWord3, 0},
        {8, 13, 3, FI_mpxChSrc, 0},          {9, 12, 5, FI_nClock, 0},
        {15, 0, 11, FI_clipperOvershootCode, 0}, {17, 10, 8, FI_gainA, 0},
        {18, 9, 2, FI_freqRefFpgaSource, 0}, {19, 16, 1, FI_freqRefFpgaSource, 2},
        {19, 14, 1, FI_delMeasCmd, 0},       {22, 0, 6, FI_testSigDelayWord, 18},
        {23, 13, 2, FI_addedDelaySamples, 18}, {25, 10, 6, FI_backupLLevel, 10},
        {26, 7, 1, FI_fskSignTrigger, 0},    {27, 0, 18, FI_one, 0},
    };
    for (const Row& r : rows) {
        const FpgaFrameField* f = findField(r.word, r.lo);
        ASSERT_NE(f, nullptr) << r.word << ":" << r.lo;
        EXPECT_EQ(f->width, r.width) << r.word << ":" << r.lo;
        EXPECT_EQ(f->input, r.input) << r.word << ":" << r.lo;
        EXPECT_EQ(f->shift, r.shift) << r.word << ":" << r.lo;
    }
    // Every field stays within the 18 data bits of its word.
    for (int i = 0; i < kFpgaFrameFieldCount; i++)
        EXPECT_LE(kFpgaFrameFields[i].lo + kFpgaFrameFields[i].width, 18) << i;
}

// Each input at all ones of its field sets that field whole, and any other
// bit it sets belongs to a field of the same input.
TEST(FpgaFrameFields, WalkingFieldSetsOnlyItsOwnBits)
{
    for (int i = 0; i < kFpgaFrameFieldCount; i++) {
        const FpgaFrameField& f = kFpgaFrameFields[i];
        uint32_t in[FPGA_FRAME_INPUT_COUNT] = {}, frame[FPGA_CONTROL_FRAME_WORDS];
        in[f.input] = ((1u << f.width) - 1) << f.shift;
        Fpga_PackFrame(in, frame);
        uint32_t own = ((1u << f.width) - 1) << f.lo;
        EXPECT_EQ(frame[f.word] & own, own) << "field " << i;
        uint32_t allowed[FPGA_CONTROL_FRAME_WORDS] = {};
        for (int j = 0; j < kFpgaFrameFieldCount; j++)
            if (kFpgaFrameFields[j].input == f.input)
                allowed[kFpgaFrameFields[j].word] |= ((1u << kFpgaFrameFields[j].width) - 1)
                                                     << kFpgaFrameFields[j].lo;
        for (int w = 0; w < FPGA_CONTROL_FRAME_WORDS; w++)
            EXPECT_EQ(frame[w] & ~allowed[w], 0u) << "field " << i << " word " << w;
    }
}

TEST_F(FpgaFrame, HandBuiltFrame)
{
    setLevelLeft_dBu(120); // unity gain, 2048
    setFrequencyDeviation(75);
    setKp(2);
    setKi(1);
    setNClock(10);
    setNBit(5);
    setFpgaOutGainA_ddBu(130);
    cfgSetElement(KEYROW(TestSigDelayWord), 0, 0xABCDEF);
    build(0, 0);
    const uint32_t expected[FPGA_CONTROL_FRAME_WORDS] = {
        0,       0,       0,    0,       0x10000, 1,     0x800, 0,     0,       0xA500,
        0,       0x0A,    0,    0,       0,       0x25800, 0xEE, 0x3FC00, 0x39, 0,
        0x3CDEF, 0,       0x2A, 0,       0,       0x800, 0,     1,
    };
    for (int w = 0; w < FPGA_CONTROL_FRAME_WORDS; w++)
        EXPECT_EQ(FpgaControlFrame[w], expected[w]) << "word " << w;
    EXPECT_EQ(getMtxLMpxLevel(), 2048);
    EXPECT_EQ(getMtxBackupLLevel(), 2048);
    // Muted: the carrier bit is clear.
    EXPECT_EQ(build(1, 0, 4), 0u);
}

TEST(FpgaOutputGain, ByteFromTenthsOfDbu)
{
    struct {
        int16_t ddBu;
        uint8_t byte;
    } cases[] = {{130, 255}, {-450, 0}, {0, 57}, {-10, 50}, {131, 255}, {200, 255}, {32767, 255}, {-32768, 0}};
    for (auto c : cases)
        EXPECT_EQ(fpgaOutputGainByte(c.ddBu), c.byte) << c.ddBu;
}

TEST_F(FpgaFrame, DeviationLimiterAndTheFmReceiverRoute)
{
    setMpxChSrc(4);
    setRelativeFreqDev(100);
    build();
    EXPECT_EQ(FpgaControlFrame[16] & 0xFF, 0x80u | 110u); // limiter on, code 110
    EXPECT_EQ(FpgaControlFrame[15] >> 11, 75u);            // 100 % of 75 kHz
    EXPECT_EQ(FpgaControlFrame[25] >> 16 & 1, 1u);
    EXPECT_EQ(FpgaControlFrame[8] >> 13 & 7, 4u);

    setClipperStatus(1);
    setRelativeDevLimit(50); // 37.5 rounds to 38
    build();
    EXPECT_EQ(FpgaControlFrame[16] & 0xFF, 0x80u | 38u);

    setMpxChSrc(0);
    setClipperStatus(0);
    setNetMode(1);
    build();
    EXPECT_EQ(FpgaControlFrame[16] & 0xFF, 110u); // limiter off in synchronised operation
    EXPECT_EQ(FpgaControlFrame[11] >> 6 & 1, 1u); // KpH forced
}

TEST_F(FpgaFrame, PreEmphasisGateClosesOnQuietInputs)
{
    setPreEnphasisEn(1);
    struct {
        int16_t left, right;
        uint32_t gate;
    } cases[] = {{-47, -47, 0}, {-46, -47, 1}, {-47, -46, 1}, {0, 0, 1}};
    for (auto c : cases) {
        setMeasuredLeftLevel_dB(c.left);
        setMeasuredRightLevel_dB(c.right);
        EXPECT_EQ(build(0, 0, 11) >> 7 & 1, c.gate) << c.left << " " << c.right;
    }
    setTestSigEna(1);
    EXPECT_EQ(build(0, 0, 11) >> 7 & 1, 0u);
}

TEST_F(FpgaFrame, TimedModulationOffHoldsTheLevelsForItsDuration)
{
    setLevelLeft_dBu(120);
    cfgSetElement(KEYROW(PilotLevelCode), 0, 90);
    setRdsLevelCode(500);
    setModulationOffSec(5);
    timeThread();
    for (int s = 0; s <= 5; s++) {
        build();
        EXPECT_EQ(FpgaControlFrame[6] & 0xFFFF, 0u) << s;
        EXPECT_EQ(FpgaControlFrame[11] >> 8 & 0xFF, 0u) << s;
        EXPECT_EQ(FpgaControlFrame[4] & 0xFFFF, 0u) << s;
        EXPECT_EQ(getMtxLMpxLevel(), 2048) << s; // the stored level keeps its value
        EXPECT_EQ(getModulationOffSec(), 5u) << s;
        advanceSeconds(1);
    }
    build(); // 6 s: the duration is over
    EXPECT_EQ(getModulationOffSec(), 0u);
    build();
    EXPECT_EQ(FpgaControlFrame[6] & 0xFFFF, 2048u);
    EXPECT_EQ(FpgaControlFrame[11] >> 8 & 0xFF, 90u);
    EXPECT_EQ(FpgaControlFrame[4] & 0xFFFF, 500u);
    // The modulation-off argument zeroes them for one frame.
    EXPECT_EQ(build(0, 1, 6) & 0xFFFF, 0u);
}

TEST_F(FpgaFrame, SelfShutdownCountsDownThenSetsItsBit)
{
    timeThread();
    setSelfShutdownPending(1);
    advanceSeconds(54);
    EXPECT_EQ(build(0, 0, 18) >> 16 & 1, 0u);
    for (int s = 55; s <= 60; s++) {
        advanceSeconds(1);
        EXPECT_EQ(build(0, 0, 18) >> 16 & 1, 0u) << s;
    }
    advanceSeconds(1);
    EXPECT_EQ(build(0, 0, 18) >> 16 & 1, 1u);
    std::string log = book();
    for (int left = 5; left >= 0; left--)
        EXPECT_NE(log.find("INFO: WARNING: Self Shutdown in " + std::to_string(left) + " sec\n"), std::string::npos)
            << left;
    EXPECT_EQ(log.find("Self Shutdown in 6 sec"), std::string::npos);
}

TEST_F(FpgaFrame, SynchronisedInputGateFollowsTheInputEvent)
{
    setNetMode(1);
    cfgSetElement(KEYROW(OutputCfgCode), 0, 25);
    EXPECT_EQ(build(0, 0, 25) >> 17 & 1, 1u); // event bit 76 clear
    cfgSetElement(KEYROW(OutputCfgCode), 0, 22);
    EXPECT_EQ(build(0, 0, 25) >> 17 & 1, 0u); // another output code
    setSynchroCtrlFlag17(1);
    EXPECT_EQ(build(0, 0, 25) >> 17 & 1, 1u);
    setNetMode(0);
    EXPECT_EQ(build(0, 0, 25) >> 17 & 1, 0u);
}

TEST_F(FpgaFrame, LevelOperationsByDescriptor)
{
    setLevelLeft_dBu(120);
    setLevelMpx_dBu(100);
    setLevelMpxOffset_dBu(20);  // MPX 120 as well, through its offset
    setLevelLeft_dBFS(0);
    setLevelRight_dBu(320);     // 10^-1 x 2048
    setLevelMpx2_dBu(-80);      // 10^1 x 2048 kept to 16 bits
    setLevelMpxDigOffset_dBFS(-85);
    uint32_t r[8] = {}, s[4] = {};
    EXPECT_EQ(Fpga_MatrixLevelMain(r, s), 2048);
    r[0] = 2;
    EXPECT_EQ(Fpga_MatrixLevelMain(r, s), 2048);
    r[2] = 1;
    EXPECT_EQ(Fpga_MatrixLevelMain(r, s), 2048); // att(0)
    s[0] = 1;
    r[2] = 0;
    EXPECT_EQ(Fpga_MatrixLevelMain(r, s), 0); // left input absent
    setInputLeftLinePres(1);
    EXPECT_EQ(Fpga_MatrixLevelMain(r, s), 2048);

    uint32_t r2[8] = {}, s2[4] = {};
    EXPECT_EQ(Fpga_MatrixLevelSecond(r2, s2), 205);
    r2[0] = 3;
    EXPECT_EQ(Fpga_MatrixLevelSecond(r2, s2), static_cast<int16_t>(20480));
    r2[0] = 5;
    EXPECT_EQ(Fpga_MatrixLevelDigital(r2, s2), static_cast<int16_t>(20480));
    r2[7] = 3;
    EXPECT_EQ(Fpga_MatrixLevelDigital(r2, s2), static_cast<int16_t>(convDbToGain2048(0)));
}

TEST_F(FpgaFrame, AutomaticLevelScale)
{
    setLevelPilotPercentage(100);       // p = 10
    setRdsInternalLevelPercentage(50);  // r = 5, k = 0.85
    struct {
        uint32_t code;
        bool scaleA;
        int16_t l, rr, d;
        uint8_t pilot;
    } cases[] = {
        {2, true, 2048, 1000, 1000, 90},  // L x 90/90
        {4, true, 2149, 1000, 1000, 100}, // L x 100/81 x 0.85, pilot x 100/90
        {6, false, 2528, 10000, 1000, 100},
        {32, true, 2162, 500, 1000, 90},  // L x 95/90, R x 5/10
        {49, true, 2048, 1000, 1056, 90},
        {54, false, 2048, 1111, 1000, 90},
        {58, true, 2048, 1000, 1000, 90},
        {58, false, 2048, 1000, 1111, 90},
        {7, true, 2048, 1000, 1000, 90},
    };
    for (auto c : cases) {
        cfgSetElement(KEYROW(OutputCfgCode), 0, c.code);
        int16_t l = 2048, rr = 1000, d = 1000;
        uint8_t pilot = 90;
        uint16_t rds = 77;
        if (c.scaleA)
            Fpga_AutoLevelScaleA(&l, &rr, &d, &pilot, &rds);
        else
            Fpga_AutoLevelScaleB(&l, &rr, &d, &pilot, &rds);
        EXPECT_EQ(l, c.l) << c.code << c.scaleA;
        EXPECT_EQ(rr, c.rr) << c.code << c.scaleA;
        EXPECT_EQ(d, c.d) << c.code << c.scaleA;
        EXPECT_EQ(pilot, c.pilot) << c.code << c.scaleA;
        EXPECT_EQ(rds, 77);
    }
}

} // namespace
