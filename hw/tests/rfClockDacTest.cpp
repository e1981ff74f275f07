// RF clock synthesizers, RF DAC and SPI converters on the simulated board.
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/spiConverters.h"

#include "Config/keys/fpgaKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "hw/tests/rfFixture.h"

#include <cmath>
#include <cstring>

namespace {

class RfClock : public RfFixture {
protected:
    RfClock() : RfFixture() {}
};

class RfClockLowNoise : public RfFixture {
protected:
    RfClockLowNoise() : RfFixture("lownoise") {}
    void SetUp() override
    {
        RfFixture::SetUp();
        setUnitWord8(1);
    }
};

int64_t monoNs()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

Bytes b(std::initializer_list<int> v)
{
    Bytes out;
    for (int x : v)
        out.push_back(static_cast<uint8_t>(x));
    return out;
}

uint32_t word(const Bytes& x)
{
    return static_cast<uint32_t>(x[0]) << 24 | x[1] << 16 | x[2] << 8 | x[3];
}

TEST_F(RfClock, NormalBoardSends26WordsRegister3WithBit6FirstAndPlainLast)
{
    setUnitWord8(0);
    EXPECT_EQ(initRfSynth(), 0);
    auto w = spiWrites(6);
    ASSERT_EQ(w.size(), 26u);
    EXPECT_EQ(w.front(), b({0x80, 0x34, 0x67, 0x43}));
    EXPECT_EQ(w.back(), b({0x80, 0x34, 0x67, 0x03}));
    // Twice 7, 13, 12, 9, 8, 6, 5, 4, 3, 2, 1, 0 in between, as set up by
    // selector 3.
    const uint32_t seq[12] = {0x00000017, 0x0000008D, 0x0000001C, 0x28001409, 0x0111CF88, 0x001F3326,
                              0xAF000005, 0x880010A4, 0x80346703, 0x04002712, 0x00000011, 0x025B0750};
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(word(w[1 + i]), seq[i % 12]) << i;
    // A board variant flag of neither kind programs nothing and is returned.
    setUnitWord8(2);
    uint64_t head = spiHead();
    EXPECT_EQ(initRfSynth(), 2);
    EXPECT_TRUE(spiWrites(6, head).empty());
}

TEST_F(RfClock, SetupTablesByGeneratedSelectorRows)
{
    // Selector, slot 3, slot 4, slot 2, slot 0 (rows of the generated table).
    const struct {
        uint32_t sel, s3, s4, s2, s0;
    } cases[] = {
        {0, 0x80347303, 0x880010A4, 0x04002712, 0x025B0750},
        {5, 0x80346703, 0x880010A4, 0x04000642, 0x001E0760},
        {7, 0x80306F03, 0x880011C4, 0x040001C2, 0x00010540},
        {11, 0x80346F03, 0x88001104, 0x04000102, 0x000F0490},
    };
    uint32_t pairs[2 * RF_SYNTH_SLOTS], n = 0;
    for (auto c : cases) {
        RfSynth_Setup(c.sel);
        RfSynth_Dump(pairs, &n);
        ASSERT_EQ(n, 14u);
        EXPECT_EQ(pairs[2 * 3 + 1], c.s3) << c.sel;
        EXPECT_EQ(pairs[2 * 4 + 1], c.s4) << c.sel;
        EXPECT_EQ(pairs[2 * 2 + 1], c.s2) << c.sel;
        EXPECT_EQ(pairs[2 * 0 + 1], c.s0) << c.sel;
        EXPECT_EQ(pairs[2 * 10 + 1], c.s3 | 0x40) << c.sel;
    }
    // Selector 12 keeps slots 0, 2, 3 and 4; slot 11 is never touched.
    RfSynth_SetReg(3, 0x12345603);
    RfSynth_Setup(12);
    RfSynth_Dump(pairs, &n);
    EXPECT_EQ(pairs[2 * 3 + 1], 0x12345603u);
    EXPECT_EQ(pairs[2 * 10 + 1], 0x12345643u);
    EXPECT_EQ(pairs[2 * 11 + 1], 0x0000000Bu);
    // Slots beyond the shadow store nothing.
    EXPECT_EQ(RfSynth_SetReg(14, 1), -1);
    EXPECT_EQ(RfSynth_SetReg(0xFFFFFFFF, 1), -1);
    EXPECT_EQ(LTC6948_SetReg(16, 1), -1);
}

TEST_F(RfClockLowNoise, DefaultsProgramTheLtc6948OnceWhenItLocksAtOnce)
{
    int64_t t0 = monoNs();
    EXPECT_EQ(initRfSynth(), 0);
    int64_t took = monoNs() - t0;
    EXPECT_GE(took, 100'000'000);
    EXPECT_LT(took, 150'000'000);
    EXPECT_EQ(spiWrites(25), (std::vector<Bytes>{b({0x00, 0x0C, 0x80}), b({0x1F, 0x40, 0x01}), b({0x1F, 0x80, 0x92}),
                                                 b({0x1F, 0x80, 0x93}), b({0x3F, 0x40, 0x01}), b({0x1F, 0x40, 0x01})}));
    EXPECT_EQ(spiWrites(6),
              (std::vector<Bytes>{b({0x02, 0x04}), b({0x04, 0x04}), b({0x06, 0x3F}), b({0x08, 0x6F}), b({0x0A, 0x00}),
                                  b({0x0C, 0x10}), b({0x0E, 0x2F}), b({0x10, 0x00}), b({0x12, 0x00}), b({0x14, 0x10}),
                                  b({0x16, 0xF9}), b({0x18, 0x4F}), b({0x1A, 0x00}), b({0x1C, 0x21}), b({0x01, 0x00})}));
    EXPECT_EQ(count(book(), "LTC6948: Pll Locked"), 1u);
}

TEST_F(RfClockLowNoise, NeverLockingProgramsFiveTimesAndSaysSo)
{
    setSpiReg(6, 17, 255); // lock script: never
    int64_t t0 = monoNs();
    EXPECT_EQ(LTC6948_Init(), 0);
    EXPECT_GE(monoNs() - t0, 500'000'000);
    EXPECT_EQ(spiReg(6, 16), 5);
    EXPECT_EQ(count(book(), "LTC6948: Pll Unlocked after 5 retries!"), 1u);
    // Locking after the third programming stops there.
    setSpiReg(6, 16, 0);
    setSpiReg(6, 17, 3);
    LTC6948_Init();
    EXPECT_EQ(spiReg(6, 16), 3);
    EXPECT_EQ(count(book(), "LTC6948: Pll Locked"), 1u);
}

TEST_F(RfClockLowNoise, ModeTableAndChargePumpAndDump)
{
    // Generated mode rows: registers 3, 4, 6, 7, 8, 9, 10, 11.
    const struct {
        uint8_t mode;
        uint8_t regs[8];
    } cases[] = {
        {1, {0x3E, 0x6F, 0x10, 0x2F, 0x10, 0x00, 0x00, 0xF9}},
        {3, {0x3F, 0x8F, 0x08, 0x20, 0x00, 0x00, 0x10, 0xFA}},
        {6, {0x3F, 0x6F, 0x10, 0x3C, 0x00, 0x00, 0x10, 0xFA}},
    };
    const uint8_t regNo[8] = {3, 4, 6, 7, 8, 9, 10, 11};
    setLtcChargePump(9);
    for (auto c : cases) {
        setPllMode(c.mode);
        LTC6948_Init();
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(spiReg(6, regNo[i]), c.regs[i]) << int(c.mode) << " reg " << int(regNo[i]);
        EXPECT_EQ(spiReg(6, 12), 0x49); // charge pump 9 & 7 = 1 in bits 0-2
    }
    // A mode outside the table keeps the registers.
    setPllMode(7);
    LTC6948_Init();
    EXPECT_EQ(spiReg(6, 4), 0x6F);
    EXPECT_EQ(spiReg(6, 11), 0xFA);

    uint32_t pairs[30], n = 0;
    EXPECT_EQ(LTC6948_Dump(pairs, &n), 0);
    ASSERT_EQ(n, 15u);
    EXPECT_EQ(pairs[0], 0u);
    EXPECT_EQ(pairs[1], 0x04u); // status read from the device: locked
    EXPECT_EQ(pairs[2 * 14], 14u);
    EXPECT_EQ(pairs[2 * 14 + 1], 0x21u);
}

class RfDac : public RfFixture {
protected:
    void SetUp() override
    {
        RfFixture::SetUp();
        setOutputRFfrequency(98000000, 0);
    }
};

TEST_F(RfDac, At98MHzTheModelHoldsTheFrequencyWordsAndTheFineOffsetIs32)
{
    UpdateQM();
    const std::pair<uint8_t, uint8_t> regs[] = {
        {0x06, 0xD0}, {0x09, 0x2A}, {0x0A, 0x8E}, {0x0B, 0x23}, {0x0C, 0xAA}, {0x16, 0x00}, {0x17, 0x00},
        {0x18, 0x80}, {0x19, 0x00}, {0x1A, 0x00}, {0x1B, 0x48}, {0x1C, 0xA2}, {0x1D, 0x0A}, {0x25, 0x80},
        {0x31, 0xF0}, {0x32, 0x9E}, {0x00, 0x18}, {0x03, 0x0C}, {0x1E, 0x80}, {0x24, 0x80}, {0x33, 0x43},
        {0x3D, 0x03}, {0x05, 0x01}, {0x2F, 0xCE},
    };
    for (auto [r, v] : regs)
        EXPECT_EQ(spiReg(QM_CS, r), v) << std::hex << int(r);
    EXPECT_EQ(getNCOOffsetFineFreq(), 32);
    // Never written: 0x01, 0x02, 0x1F, 0x2A-0x2E, 0x34-0x38, 0x3B, 0x3E up.
    for (uint8_t r : {0x01, 0x02, 0x1F, 0x2A, 0x2E, 0x34, 0x38, 0x3B, 0x3E, 0x55})
        EXPECT_EQ(spiReg(QM_CS, r), 0) << std::hex << int(r);

    auto w = spiWrites(QM_CS);
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(w[0], b({0x00, 0x00, 0x3C}));
    EXPECT_EQ(w[1], b({0x80, 0x00, 0x00}));
    EXPECT_EQ(w[2], b({0x00, 0x00, 0x18}));
    // Register 0x33 first goes out with bit 0 clear, then restored.
    std::vector<uint8_t> r33;
    for (const Bytes& x : w)
        if (x[0] == 0x00 && x[1] == 0x33)
            r33.push_back(x[2]);
    EXPECT_EQ(r33, (std::vector<uint8_t>{0x42, 0x43}));
    EXPECT_EQ(count(debugLog(), "Error programming"), 0u);
}

TEST_F(RfDac, OutputPowerRegisterAndOffsetsAndDelta)
{
    const std::pair<int, int> power[] = {{0, 0x80}, {30, 181}, {-30, 91}, {60, 255}, {61, 255}, {-32768, 0}};
    for (auto [p, reg] : power) {
        setBoardOutputPower(static_cast<uint32_t>(p));
        uint8_t sh[QM_REGS] = {};
        SetupDataQM(sh);
        EXPECT_EQ(sh[0x25], reg) << p;
    }
    setBoardOutputPower(0);

    // QmDeltaNum moves only the NCO split: FC keeps the sum.
    setQmDeltaNum(3);
    setFrequencyOffset(static_cast<uint32_t>(-500));
    uint8_t sh[QM_REGS] = {};
    SetupDataQM(sh);
    uint32_t fdac = 2359296000u, fint = 147456000u;
    double f = 98000000.0 - 500;
    EXPECT_EQ(sh[0x1C] | sh[0x1D] << 8, static_cast<int>(std::floor(f / fdac * 65536 + 0.5)));
    uint32_t cf = static_cast<uint32_t>(f - 3 * 128000) % fint;
    uint32_t ftw = static_cast<uint32_t>(std::floor(cf / double(fint) * 16777216.0 + 0.5));
    EXPECT_EQ(sh[0x0A] | sh[0x0B] << 8 | sh[0x0C] << 16, static_cast<int>(ftw));
    double corr = cf - ftw * (fint / 16777216.0);
    int32_t nco = static_cast<int32_t>(std::floor(corr * 268435456.0 / 16384000.0 + 0.5));
    EXPECT_LE(std::fabs(corr), fint / 16777216.0 / 2);
    EXPECT_EQ(getNCOOffsetFineFreq(), static_cast<uint16_t>(nco));

    // A negative residue keeps its low 16 bits.
    setQmDeltaNum(0);
    setFrequencyOffset(0);
    setOutputRFfrequency(98000005, 0);
    SetupDataQM(sh);
    EXPECT_GT(getNCOOffsetFineFreq(), 0x8000);
}

TEST_F(RfDac, LowNoisePlanAndLockWaitGivesUpAfterTenReads)
{
    setUnitWord8(1);
    setPllMode(5);
    setNcoNbitSel(1);
    setSpiReg(QM_CS, 0x56, 1); // lock held clear
    UpdateQM();
    EXPECT_EQ(spiReg(QM_CS, 0x06), 0xD8);
    EXPECT_EQ(spiReg(QM_CS, 0x09), 0x20);
    // P = 5,400,000 = 0x5265C0.
    EXPECT_EQ(spiReg(QM_CS, 0x19), 0xC0);
    EXPECT_EQ(spiReg(QM_CS, 0x1A), 0x65);
    EXPECT_EQ(spiReg(QM_CS, 0x1B), 0x52);
    size_t lockReads = 0;
    for (const Bytes& x : spiWrites(QM_CS))
        lockReads += x == b({0x80, 0x04, 0x00});
    EXPECT_EQ(lockReads, 11u); // the read-back of the write, then ten waits
    // The read-back of register 0x04 differs while unlocked: a debug line.
    debugModuleMask = 0x20000;
    QM_ProgramShadow();
    EXPECT_GE(count(debugLog(), "Error programming RegAddr[0x04]=0xFE  [read 0xF6]"), 1u);
}

TEST_F(RfDac, MailboxShadowAccess)
{
    EXPECT_EQ(QM_SetReg(0x55, 0x1AB), 0);
    EXPECT_EQ(qmShadowByte(0x55), 0xAB);
    EXPECT_EQ(QM_SetReg(0x56, 1), -1);
    uint32_t pairs[2 * QM_REGS], n = 0;
    QM_Dump(pairs, &n);
    ASSERT_EQ(n, 86u);
    EXPECT_EQ(pairs[2 * 0x55], 0x55u);
    EXPECT_EQ(pairs[2 * 0x55 + 1], 0xABu);
    EXPECT_EQ(roundNearest(2.5), 3.0);
    EXPECT_EQ(roundNearest(-2.5), -2.0);
}

class SpiConverters : public RfFixture {};

TEST_F(SpiConverters, AdcReadsAndItsChipSelectExpander)
{
    // A 16-bit word arrives in the host's byte order.
    uint16_t word = 0x1ABC;
    uint8_t reply[2];
    memcpy(reply, &word, 2);
    spiModel(2)->poke(0, reply, 2);
    uint16_t v = 0;
    readAdcRaw(&v);
    EXPECT_EQ(v, 0x0ABC);
    setReg(0x24, 1, 0xFF);
    uint64_t head = logHead();
    readAdc(&v);
    EXPECT_EQ(v, 0x01AB);
    EXPECT_EQ(trace(head), "W 24 01\nR 24 FF\nW 24 01 EF\nW 24 01 FF\n");
    setHpaModelCode(4);
    EXPECT_EQ(adcSelectExpander(), 0x25);
    head = logHead();
    readAdcDummy();
    EXPECT_EQ(trace(head), "W 25 01\nR 25 FF\nW 25 01 EF\nW 25 01 FF\n");
}

TEST_F(SpiConverters, DacRoutingByFamilyAndModel)
{
    // family, model, logical DAC, expected frame command (0: nothing).
    const struct {
        uint32_t family, model;
        int32_t dac;
        int cmd;
    } cases[] = {
        {0, 0, 1, 0x10}, {0, 2, 1, 0x16}, {0, 1, 1, 0},    {0, 0, 2, 0x12}, {0, 1, 2, 0x10}, {0, 2, 2, 0x14},
        {0, 0, 3, 0},    {0, 0, 0, 0x14}, {0, 1, 9, 0x24}, {0, 2, -1, 0x10}, {0, 3, 0, 0},   {1, 3, 1, 0x10},
        {1, 4, 2, 0x12}, {1, 4, 3, 0x14}, {1, 3, 4, 0x16}, {1, 4, 4, 0},    {1, 2, 1, 0},    {1, 3, 0, 0},
        {2, 5, 1, 0x16}, {2, 5, 2, 0x14}, {2, 5, 3, 0x10}, {2, 5, 4, 0},    {2, 4, 1, 0},    {3, 0, 1, 0},
    };
    for (auto c : cases) {
        setPsuTypeCode(c.family);
        setHpaModelCode(c.model);
        uint64_t head = spiHead();
        EXPECT_EQ(setDacOutput(0x1234, c.dac), 0);
        auto w = spiWrites(3, head);
        if (c.cmd == 0) {
            EXPECT_TRUE(w.empty()) << c.family << "/" << c.model << "/" << c.dac;
        } else {
            ASSERT_EQ(w.size(), 1u) << c.family << "/" << c.model << "/" << c.dac;
            EXPECT_EQ(w[0], b({c.cmd, 0x12, 0x34}));
        }
    }
    EXPECT_EQ(count(book(), "DAC not exists! [0]"), 1u);
    EXPECT_EQ(dacWriteChannel(1, 4), 1);
    EXPECT_EQ(dacWriteChannelAlt(1, 2), 1);
}

TEST_F(SpiConverters, DacWordsSentAsABlockWithTheStrobeOfWord1)
{
    EXPECT_EQ(dacWordsInit(), 0);
    EXPECT_EQ(spiWrites(25), (std::vector<Bytes>{b({0x00, 0x0C, 0x80}), b({0x1F, 0x40, 0x01}), b({0x1F, 0x80, 0x92}),
                                                 b({0x1F, 0x80, 0x93}), b({0x3F, 0x40, 0x01}), b({0x1F, 0x40, 0x01})}));
    EXPECT_EQ(dacWordSetReg(3, 0x1F8000), 0);
    EXPECT_EQ(dacWordSetReg(4, 1), -1);
    uint32_t pairs[8], n = 0;
    dacWordsDump(pairs, &n);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(pairs[6], 3u);
    EXPECT_EQ(pairs[7], 0x1F8000u);
    EXPECT_EQ(pairs[3], 0x1F4001u); // the strobe bit is down again
}

} // namespace
