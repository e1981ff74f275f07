// Filters and conversions of the amplifier measures.
#include "power/measureFilters.h"

#include "Config/keys/hpaKeys.h"
#include "testing/sandboxTest.h"

#include <string>
#include <vector>

namespace {

class MeasureFilters : public SandboxTest {
protected:
    MeasureFilters() : SandboxTest(SANDBOX_LOGS) {}
};

struct MeanCase {
    const char* what;
    uint32_t model;
    bool third;             // the third family's copy
    uint16_t n, m;          // window and history lengths (m 0: no history)
    std::vector<uint16_t> in;
    std::string returns;    // one digit per sample
    uint16_t mean;
    uint8_t stable;
    std::vector<uint16_t> samples; // the window afterwards (empty: not checked)
};

TEST_F(MeasureFilters, MovingMeanCases)
{
    const std::vector<uint16_t> constant3500(6, 3500);
    std::vector<uint16_t> outlier = constant3500;
    outlier.push_back(100);
    std::vector<uint16_t> steady(8, 100);
    std::vector<uint16_t> jump = steady;
    jump.push_back(150);
    const MeanCase cases[] = {
        {"a model without thresholds discards every change", 0, false, 3, 0, {100, 101, 100, 100}, "0001", 100, 0,
         {100, 100, 100}},
        {"six discards in a row clear the window", 0, false, 3, 0, {100, 101, 99, 101, 99, 101, 99, 50}, "00000000", 0,
         0, {50, 0, 0}},
        {"N-1 samples give no mean, the N-th gives the first", 4, false, 4, 0, {100, 102, 104, 106}, "0001", 103, 0,
         {106, 104, 102, 100}},
        {"zeros never fill the window", 4, false, 3, 0, {0, 0, 0, 0}, "0000", 0, 0, {0, 0, 0}},
        {"third family: no jump test above the ceiling", 5, true, 3, 0, {4000, 100, 1000, 100}, "0001", 1400, 0,
         {100, 100, 4000}},
        {"third family copy ignores the second family's model", 4, true, 2, 0, {100, 101}, "00", 0, 0, {100, 0}},
        {"a steady mean becomes stable after its passes", 4, false, 2, 2, steady, "01111111", 100, 1, {}},
        {"a stable mean replaces outliers", 5, true, 2, 2, outlier, "0111111", 3500, 1, {100, 3500}},
        {"a mean leaving the unstable band is unstable again", 4, false, 2, 2, jump, "011111111", 125, 0, {}},
    };
    for (const MeanCase& c : cases) {
        SCOPED_TRACE(c.what);
        setHpaModelCode(c.model);
        std::vector<uint16_t> samples(c.n, 0), means(c.m ? c.m : 1, 0);
        uint16_t mean = 0, stableCount = 0, discard = 0;
        uint8_t stable = 0;
        std::string returns;
        for (uint16_t s : c.in) {
            auto f = c.third ? MovingMeanTrel : MovingMean;
            returns += std::to_string(
                f(s, samples.data(), c.n, &mean, c.m ? means.data() : nullptr, c.m, &stableCount, &stable, &discard));
        }
        EXPECT_EQ(returns, c.returns);
        EXPECT_EQ(mean, c.mean);
        EXPECT_EQ(stable, c.stable);
        if (!c.samples.empty()) {
            EXPECT_EQ(samples, c.samples);
        }
    }
}

TEST_F(MeasureFilters, MovingMeanDiscardIsLoggedUnderPowerDebug)
{
    debugModuleMask = 0x40000;
    debugCategoryMask = 0x8;
    setHpaModelCode(0);
    uint16_t samples[2] = {100, 0}, mean = 0, count = 0, discard = 0;
    uint8_t stable = 0;
    EXPECT_EQ(MovingMean(120, samples, 2, &mean, nullptr, 0, &count, &stable, &discard), 0);
    EXPECT_EQ(discard, 1);
    EXPECT_NE(debugLog().find("[MovingMean - POWER_MNG] >> Measure sample 120 [MeadData_0=100] -- DISCARDED"),
              std::string::npos)
        << debugLog();
}

TEST_F(MeasureFilters, FilterTemperatureCases)
{
    struct Case {
        const char* what;
        std::vector<int16_t> in, out;
    };
    const Case cases[] = {
        {"a step of +10 is held for 8 rejections, then taken",
         {20, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
         {20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 21}},
        {"rejections count over time, not in a row",
         {20, 30, 30, 30, 30, 21, 30, 30, 30, 30, 30, 30},
         {20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 21}},
        {"the mean drops its remainder toward minus infinity", {-1, 0}, {-1, -1}},
        {"small changes pass at once", {20, 23, 23}, {20, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        filterTemperatureReset();
        std::vector<int16_t> out;
        for (int16_t t : c.in) {
            FilterTemperature(&t);
            out.push_back(t);
        }
        EXPECT_EQ(out, c.out);
    }
}

TEST_F(MeasureFilters, WindowedMeanGivesTheSampleUntilTheWindowIsFull)
{
    uint16_t window[3] = {}, out = 0;
    EXPECT_EQ(windowedMean(10, 3, window, &out), 0);
    EXPECT_EQ(out, 10);
    EXPECT_EQ(windowedMean(20, 3, window, &out), 0);
    EXPECT_EQ(out, 20);
    EXPECT_EQ(windowedMean(31, 3, window, &out), 1);
    EXPECT_EQ(out, 20); // 61 / 3 truncated
    EXPECT_EQ(windowedMean(40, 3, window, &out), 1);
    EXPECT_EQ(out, 30); // 91 / 3, the oldest sample left the window
}

TEST_F(MeasureFilters, DbToLinearGoldenValues)
{
    struct Case {
        int16_t tenths;
        uint32_t whole, hundredths;
    };
    const Case cases[] = {
        {0, 1, 100},
        {-10, 0, 79},
        {470, 50118, 5011872},
        {100, 10, 1000},
        {-1000, 0, 0},
        {32767, 4294967295u, 4294967295u}, // beyond 32 bits: saturated, not undefined
    };
    for (const Case& c : cases) {
        uint32_t whole = 7, hundredths = 7;
        dbToLinear(c.tenths, &whole, &hundredths);
        EXPECT_EQ(whole, c.whole) << c.tenths;
        EXPECT_EQ(hundredths, c.hundredths) << c.tenths;
    }
}

} // namespace
