// Table search, interpolation and the frequency power offset.
#include "power/curveFit.h"

#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "testing/sandboxTest.h"

#include <cmath>

namespace {

class CurveFit : public SandboxTest {
protected:
    CurveFit() : SandboxTest(SANDBOX_LOGS) {}
};

TEST_F(CurveFit, BisectionOnRisingAndFallingTables)
{
    const int32_t rising[] = {0, 100, 200, 300, 400};
    const int32_t falling[] = {0, 400, 300, 200, 100};
    struct Case {
        const int32_t* t;
        int32_t v;
        int j;
    };
    const Case cases[] = {
        {rising, 99, 0},   {rising, 100, 1},  {rising, 250, 2},  {rising, 399, 3},
        {rising, 400, 5},  {falling, 401, 0}, {falling, 400, 1}, {falling, 250, 2},
        {falling, 101, 3}, {falling, 100, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bisection(c.t, c.v, 1, 4), c.j) << (c.t == rising ? "rising " : "falling ") << c.v;
    EXPECT_EQ(bisection(rising, 100, 2, 1), -10);
}

TEST_F(CurveFit, InterpolateLinearGoldenTable)
{
    const int32_t y[] = {0, 100, 200, 300};
    const int32_t x[] = {0, 0, 10, 20};
    const int32_t yFalling[] = {0, 300, 200, 100};
    struct Case {
        const int32_t* y;
        int32_t v;
        int status;
        int32_t result;
    };
    const Case cases[] = {
        {y, 250, 0, 15},         {y, 300, 0, 20},         {y, 100, 0, 0},        {y, 99, -1, -77},
        {y, 301, -1, -77},       {yFalling, 250, 0, 5},   {yFalling, 100, 0, 20}, {yFalling, 50, 0, 20},
        {yFalling, 301, -1, -77},
    };
    for (const Case& c : cases) {
        int32_t result = -77, error = 5;
        EXPECT_EQ(interpolateLinear(c.y, x, 1, 3, c.v, &result, &error), c.status) << c.v;
        EXPECT_EQ(result, c.result) << c.v;
        EXPECT_EQ(error, 0);
    }
    int32_t result = -77, error;
    EXPECT_EQ(interpolateLinear(y, x, 1, 0, 100, &result, &error), -1) << "an empty table fails";
    EXPECT_EQ(result, -77);
}

TEST_F(CurveFit, PolynomialIsExactOnQuadraticDataAndRationalOnReciprocalData)
{
    float xa[6], quad[6], recip[6];
    for (int i = 1; i <= 5; i++) {
        xa[i] = static_cast<float>(i);
        quad[i] = 2 * xa[i] * xa[i] - 3 * xa[i] + 1;
        recip[i] = 1.0f / (xa[i] + 2.0f);
    }
    float y = 0, dy = 0;
    ASSERT_EQ(interpolatePolynomial(xa, quad, 5, &y, &dy, 2.5f), 0);
    EXPECT_NEAR(y, 6.0f, 1e-4);
    xa[0] = 9;
    recip[0] = 9;
    ASSERT_EQ(interpolateRational(xa, recip, 5, &y, &dy, 3.3f), 0);
    // Within the bias of the 0.0001 that starts the d column.
    EXPECT_NEAR(y, 1.0f / 5.3f, 1e-4);
    EXPECT_EQ(xa[0], 0.0f);
    EXPECT_EQ(recip[0], 0.0f);

    ASSERT_EQ(interpolateRational(xa, recip, 5, &y, &dy, 4.0f), 0) << "an exact point";
    EXPECT_EQ(y, recip[4]);
    EXPECT_EQ(dy, 0.0f);

    ASSERT_EQ(interpolateBest(xa, recip, 5, &y, &dy, 1.5f), 0);
    EXPECT_NEAR(y, 1.0f / 3.5f, 1e-4);
    ASSERT_EQ(interpolateBest(xa, quad, 5, &y, &dy, 4.5f), 0);
    EXPECT_NEAR(y, 2 * 4.5f * 4.5f - 3 * 4.5f + 1, 1e-3);
}

TEST_F(CurveFit, PolynomialFailsOnCoincidentPoints)
{
    float xa[] = {0, 1, 2, 2, 3};
    float ya[] = {0, 1, 4, 5, 9};
    float y = -1, dy = -1;
    EXPECT_EQ(interpolatePolynomial(xa, ya, 4, &y, &dy, 2.5f), -1);
    EXPECT_EQ(y, -1.0f);
}

TEST_F(CurveFit, BestTakesTheRunThatGaveAResult)
{
    // Coincident x: the polynomial fails; the rational run succeeds with an
    // error above its acceptance limit and is the only result there is.
    float xa[] = {0, 1, 2, 2, 3};
    float ya[] = {0, 1, 4, 5, 9};
    float y = -1, dy = -1;
    EXPECT_EQ(interpolateBest(xa, ya, 4, &y, &dy, 1.5f), -1) << "the polynomial run's status";
    EXPECT_NEAR(y, 1.2857f, 1e-3);
    EXPECT_NEAR(dy, 0.2858f, 1e-3);
}

TEST_F(CurveFit, LineThroughPointsAndByteSwap)
{
    float y = -1;
    EXPECT_EQ(lineThroughPoints(&y, 2.0f, 1.0f, 3.0f, 2.0f, 6.0f), 0);
    EXPECT_FLOAT_EQ(y, 4.0f);
    y = -1;
    EXPECT_EQ(lineThroughPoints(&y, 2.0f, 1.0f, 1.0f, 2.0f, 6.0f), -1);
    EXPECT_EQ(y, -1.0f);
    EXPECT_EQ(swapBytes32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swapBytes32(0xFF000001u), 0x010000FFu);
}

TEST_F(CurveFit, FrequencyPowerOffsetTable)
{
    struct Case {
        uint32_t family, hz, freqOffset;
        int16_t first, last;
        int status;
        int16_t stored;
        const char* printed;
    };
    const Case cases[] = {
        {1, 108000000, 0, 0, 20, 0, 20, "2.0"},
        {1, 103000000, 0, 0, 20, 0, 10, "1.0"},
        {2, 87500000, 0, -30, 0, 0, -30, "-3.0"},
        {2, 96000000, 0, -30, 0, 0, -5, "-0.5"},      // the sign printed once
        {1, 98000000, 0, -30, 20, 0, 0, "0.0"},
        {1, 110000000, 0, 0, 20, 0, 20, "2.0"},       // never beyond the end offset
        {1, 80000000, 0, 30, 0, 0, 30, "3.0"},
        {2, 98000000, 5000000, 0, 20, 0, 10, "1.0"},  // the frequency offsets count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        setAmpFamily(c.family);
        setOutputRFfrequency(c.hz, 0);
        setFrequencyOffset(c.freqOffset);
        setPowerOffsetFirstFreq(c.first);
        setPowerOffsetLastFreq(c.last);
        EXPECT_EQ(adjustPowerOffsetForFreq(1), c.status);
        EXPECT_EQ(getFreqPowerOffset(), c.stored);
        std::string book = SandboxTest::book();
        std::string line = std::string("INFO: Freq.changed: Adjust power offset to ") + c.printed + "\n";
        EXPECT_NE(book.rfind(line), std::string::npos) << book;
    }
    setFrequencyOffset(0);
    setAmpFamily(0);
    setFreqPowerOffset(7);
    EXPECT_EQ(adjustPowerOffsetForFreq(1), -1) << "the first family has no frequency power offset";
    EXPECT_EQ(getFreqPowerOffset(), 7);
}

} // namespace
