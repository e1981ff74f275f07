// FM-receiver down-converter on the board with every option fitted.
#include "hw/downConverter.h"

#include "hw/tests/rfFixture.h"

namespace {

constexpr uint16_t kExp = 0x2E;

class DownConverter : public RfFixture {
protected:
    DownConverter() : RfFixture("full") {}
};

int64_t monoNs()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

TEST_F(DownConverter, FrequencyPlan)
{
    const struct {
        uint32_t f, lo, n, num, den;
    } cases[] = {
        {87500, 153500, 61, 2, 5},
        {98000, 164000, 65, 3, 5},
        {100000, 166000, 66, 2, 5},
        {108500, 174500, 69, 4, 5},
        {97100, 163100, 65, 6, 25},
        {88050, 154050, 61, 31, 50},
    };
    for (auto c : cases) {
        uint32_t lo = 0, n = 0, num = 0, den = 0;
        EXPECT_EQ(downConvFreqPlan(c.f, &lo, &n, &num, &den), 1) << c.f;
        EXPECT_EQ(lo, c.lo) << c.f;
        EXPECT_EQ(n, c.n) << c.f;
        EXPECT_EQ(num, c.num) << c.f;
        EXPECT_EQ(den, c.den) << c.f;
    }
    uint32_t lo, n, num, den;
    EXPECT_EQ(downConvFreqPlan(87499, &lo, &n, &num, &den), 0);
    EXPECT_EQ(downConvFreqPlan(108501, &lo, &n, &num, &den), 0);
    EXPECT_EQ(downConvSetFreq(87499), -3);
    EXPECT_EQ(downConvSetFreq(108501), -3);
    EXPECT_TRUE(spiWrites(DOWNCONV_CS).empty());
}

TEST_F(DownConverter, RetuneWritesThe44RowsLocksAndReleasesTheEnable)
{
    EXPECT_EQ(downConvSetFreq(98000), 0);
    auto w = spiWrites(DOWNCONV_CS);
    ASSERT_EQ(w.size(), 44u);
    EXPECT_EQ(w[0], (Bytes{0x00, 0x22, 0x06}));
    EXPECT_EQ(w[43], (Bytes{0x00, 0x22, 0x1C}));
    EXPECT_EQ(w[28], (Bytes{0x26, 0x00, 0x82}));
    EXPECT_EQ(w[30], (Bytes{0x28, 0x00, 0x00}));
    EXPECT_EQ(w[31], (Bytes{0x29, 0x00, 0x05}));
    EXPECT_EQ(w[35], (Bytes{0x2D, 0x00, 0x03}));
    EXPECT_EQ(w[12], (Bytes{0x13, 0x09, 0x65})); // a constant row
    EXPECT_EQ(reg(kExp, 1) & 0x04, 0x04);
    EXPECT_EQ(downConvIsLocked(), 1);
    EXPECT_EQ(downConvCheckLock(), -8); // not initialised
}

TEST_F(DownConverter, InitWithoutLockGivesUpAfterThreeTimesSevenWaits)
{
    testing::internal::CaptureStdout();
    uint8_t knob = 1;
    spiModel(DOWNCONV_CS)->poke(1, &knob, 1);
    int64_t t0 = monoNs();
    EXPECT_EQ(downConvInit(), -9);
    int64_t took = monoNs() - t0;
    EXPECT_GE(took, 2'100'000'000);
    EXPECT_LT(took, 2'300'000'000);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("PCA Power Offset ON"), std::string::npos);
    EXPECT_EQ(downConvIsDetected(), 1);
    EXPECT_EQ(downConvIsInitialised(), 0);
    EXPECT_EQ(spiWrites(DOWNCONV_CS).size(), 3u * 44u);
    EXPECT_EQ(reg(kExp, 3), 0xF3);
    EXPECT_EQ(reg(kExp, 1) & 0x04, 0x04);

    knob = 0;
    spiModel(DOWNCONV_CS)->poke(1, &knob, 1);
    EXPECT_EQ(downConvInit(), 0);
    EXPECT_EQ(downConvIsInitialised(), 1);
    EXPECT_EQ(downConvCheckLock(), 0);
    EXPECT_EQ(downConvSetPreAmp(1), 0);
    EXPECT_EQ(reg(kExp, 1) & 0x08, 0x08);
    EXPECT_EQ(downConvPowerOffsetStrap(), 1);
}

TEST_F(DownConverter, ExpanderErrors)
{
    device(kExp)->absent = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(downConvInit(), -7);
    EXPECT_EQ(downConvSetPreAmp(1), -16);
    EXPECT_EQ(downConvSetFreq(98000), -18);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(">> WRITE (a=Reg, b=Data) >> FALLITA LA READ !!! err = "), std::string::npos);
    EXPECT_EQ(downConvIsLocked(), 0);
    EXPECT_TRUE(spiWrites(DOWNCONV_CS).empty());
}

} // namespace
