// Tunable band-pass filter and the retune after a frequency change, on the
// board with every option fitted.
#include "hw/tunableBpf.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/locks.h"
#include "hw/fpgaWindows.h"
#include "hw/tests/rfFixture.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "sim/simState.h"

#include <algorithm>

namespace {

constexpr uint16_t kBpf = 0x15;
constexpr uint16_t kNcd = 0x60;

class TunableBpf : public RfFixture {
protected:
    TunableBpf() : RfFixture("full") {}
    void SetUp() override
    {
        RfFixture::SetUp();
        setReg(kBpf, 3, 0x00); // all pins outputs
        setReg(kBpf, 1, 0x00);
    }
    static int ncd(uint32_t r) { return reg(kNcd, r); }
};

TEST_F(TunableBpf, FineValueGoesToTheSelectedCapacitorInsideTheEnablePulse)
{
    uint64_t head = logHead();
    EXPECT_EQ(applyTunBpf(0x1A5, 1), 0);
    EXPECT_EQ(trace(head), "W 15 01\nR 15 00\nW 15 01 88\nW 60 01 A5\nR 60 01 A5 00 00\nW 15 01 08\n");
    EXPECT_EQ(ncd(2), 0x01);
    EXPECT_EQ(ncd(3), 0xA5);
    EXPECT_EQ(ncd(5), 1);
    // The value is cut to 9 bits; select 0 clears the select bit.
    EXPECT_EQ(applyTunBpfCoarse(0x3FF), 0);
    EXPECT_EQ(ncd(0), 0x01);
    EXPECT_EQ(ncd(1), 0xFF);
    EXPECT_EQ(reg(kBpf, 1), 0x00);
    // Outside the pulse the capacitors do not answer.
    uint8_t two[2] = {0, 1};
    EXPECT_EQ(ncd2400mWrite(two), -1);
    EXPECT_EQ(count(book(), "NCD2400M: Error on write!"), 1u);
    // A filter expander that does not answer: nothing is sent.
    device(kBpf)->absent = 1;
    head = logHead();
    EXPECT_LT(applyTunBpfFine(5), 0);
    EXPECT_EQ(count(book(), "FAIL reading  configuration - PCA9654_BPF"), 1u);
    EXPECT_EQ(count(trace(head), "W 60"), 0u);
}

TEST_F(TunableBpf, CoarseFieldsAndSeriesCapacitor)
{
    setReg(kBpf, 1, 0xFF);
    EXPECT_EQ(setBpfExpanderField(5, 1), 0);
    EXPECT_EQ(reg(kBpf, 1), 0xDF);
    EXPECT_EQ(setBpfExpanderFieldA(0x0A), 0);
    EXPECT_EQ(reg(kBpf, 1), 0xDA);
    EXPECT_EQ(setBpfExpanderField(3, 2), 0); // written back unchanged
    EXPECT_EQ(reg(kBpf, 1), 0xDA);
    EXPECT_EQ(setDtcValue(0x25), 0);
    EXPECT_EQ(spiWrites(DTC_CS), (std::vector<Bytes>{{0x05}}));
    EXPECT_EQ(detectTunableBpf(), 1);
    EXPECT_EQ(count(book(), "Detected Tunable BPF System"), 1u);
    device(kBpf)->absent = 1;
    EXPECT_EQ(detectTunableBpf(), 0);
    EXPECT_LT(setBpfExpanderFieldB(1), 0);
    EXPECT_EQ(count(book(), "FAIL Reading configuration - PCA9654_BPF"), 1u);
}

TEST_F(TunableBpf, BandEdgesAndPllModeTable)
{
    // Frequency, band (-1: none), and the generated band rows' selections.
    const struct {
        uint32_t hz;
        int band;
    } bands[] = {
        {87500000, 0},  {88999999, 0},  {89000000, 1},  {92999999, 4},  {93500000, 5},  {94000000, 6},
        {98000000, 10}, {103000000, 15}, {104000000, 16}, {107000000, 19}, {108000000, 19}, {108000001, -1},
    };
    for (auto c : bands)
        EXPECT_EQ(tunBpfBandOf(c.hz), c.band) << c.hz;
    const struct {
        uint32_t hz;
        int mode;
    } modes[] = {
        {87400000, -1}, {87500000, 1}, {88400000, 2}, {89700000, 4},  {97250000, 6},
        {98400000, 5},  {105000000, 5}, {107900000, 1}, {108000000, 5}, {108100000, -1},
    };
    for (auto c : modes)
        EXPECT_EQ(pllModeOfFreq(c.hz), c.mode) << c.hz;

    setTunableBpfPresent(1);
    setOutputRFfrequency(97250000, 0);
    testing::internal::CaptureStdout();
    selectPllModeForFreq();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "PLL_MODE=7 [idx=97]\n");
    EXPECT_EQ(getPllMode(), 6);
    // No table entry, or the PLL-mode bit of Select_Write: the mode stays.
    for (uint32_t hz : {87000000u, 113100000u, 4000000000u}) {
        setOutputRFfrequency(hz, 0);
        selectPllModeForFreq();
        EXPECT_EQ(getPllMode(), 6) << hz;
    }
    setOutputRFfrequency(98000000, 0);
    setSelectWriteBits(0x40000, 1);
    selectPllModeForFreq();
    EXPECT_EQ(getPllMode(), 6);
}

TEST_F(TunableBpf, RetuneRunsFilterSynthesizerAndRfDacInOrder)
{
    SemMutexInit();
    ASSERT_EQ(initAxi(), 0); // the control frames reach the FPGA
    setTunableBpfPresent(1);
    setHwReady(1);
    setTunBpfCpPreFine(10, 0x123);
    setTunBpfCpPostFine(10, 0x045);
    setTunBpfCsVeryFine(10, 17);
    struct timespec ts;
    clockPeekTime(CLOCK_MONOTONIC, &ts);
    const int64_t start = static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    setOutputRFfrequency(98000000, 0); // stores and retunes
    int out = reg(kBpf, 1);
    EXPECT_EQ(out & 0x07, 3);
    EXPECT_EQ((out >> 4) & 0x07, 0);
    EXPECT_EQ(out & 0x80, 0);
    EXPECT_EQ(ncd(0), 0x01);
    EXPECT_EQ(ncd(1), 0x23);
    EXPECT_EQ(ncd(2), 0x00);
    EXPECT_EQ(ncd(3), 0x45);
    EXPECT_EQ(getPllMode(), 0);

    // Configuration frame, filter (I2C, then chip select 16), synthesizer
    // (6), RF DAC (5), and the FPGA reset pulse's two frames last.
    int64_t firstFilter = 0, lastFilter = 0;
    for (const SimLogRecord& r : busLog(SIM_BUS_I2C1))
        if (r.addr == kBpf || r.addr == kNcd) {
            if (firstFilter == 0)
                firstFilter = r.timeNs;
            lastFilter = r.timeNs;
        }
    std::vector<SimFrameRecord> frames(kSimFrameRingSize);
    frames.resize(static_cast<size_t>(simFpgaRing(frames.data(), kSimFrameRingSize)));
    std::erase_if(frames, [start](const SimFrameRecord& f) { return f.timeNs < start; });
    ASSERT_GE(frames.size(), 3u);
    EXPECT_LE(frames.front().timeNs, firstFilter);
    std::vector<SimLogRecord> spi(kSimLogEntries);
    spi.resize(simLogRead(SIM_BUS_SPI0, 0, spi.data(), spi.size()));
    std::vector<uint16_t> order;
    for (const SimLogRecord& r : spi)
        if (r.op == SIM_OP_XFER && (order.empty() || order.back() != r.addr)) {
            order.push_back(r.addr);
            if (order.size() == 1) {
                EXPECT_GE(r.timeNs, lastFilter);
            }
        }
    EXPECT_EQ(order, (std::vector<uint16_t>{DTC_CS, 6, 5}));
    int64_t lastDac = 0;
    for (const SimLogRecord& r : spi)
        if (r.op == SIM_OP_XFER && r.addr == 5)
            lastDac = r.timeNs;
    // The reset pulse (word 6 bit 16 raised, then cleared) follows the RF DAC,
    // and only it raises the bit.
    const size_t n = frames.size();
    EXPECT_GE(frames[n - 2].timeNs, lastDac);
    EXPECT_EQ(frames[n - 2].words[6] >> 16 & 1, 1u);
    EXPECT_EQ(frames[n - 1].words[6] >> 16 & 1, 0u);
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const SimFrameRecord& f) { return f.words[6] >> 16 & 1; }), 1);
    EXPECT_EQ(spiWrites(DTC_CS), (std::vector<Bytes>{{17}}));
}

TEST_F(TunableBpf, WithoutTheFilterTheBandAndPllStepsAreSkipped)
{
    setTunableBpfPresent(0);
    setPllMode(2);
    setOutputRFfrequency(97250000, 0);
    uint64_t head = logHead();
    testing::internal::CaptureStdout();
    retuneAfterFrequencyChange();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(getPllMode(), 2);
    EXPECT_EQ(count(trace(head), " 15 "), 0u);
    EXPECT_TRUE(spiWrites(DTC_CS).empty());
    EXPECT_EQ(spiWrites(6).size(), 26u);
    EXPECT_FALSE(spiWrites(5).empty());
}

} // namespace
