#include "audio/conversions.h"

#include "Config/keys/audioKeys.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Row {
    const char* name;
    std::function<int64_t()> call;
    int64_t expected;
};

void checkRows(const std::vector<Row>& rows)
{
    for (const Row& r : rows)
        EXPECT_EQ(r.call(), r.expected) << r.name;
}

} // namespace

TEST(Conversions, LevelPercentAndPilotCodes)
{
    checkRows({
        {"convLevelToCode2047(9) clamps at 8", [] { return convLevelToCode2047(9); }, 2047},
        {"convLevelToCode2047(4) rounds 1023.5 up", [] { return convLevelToCode2047(4); }, 1024},
        {"convLevelToCode2047(0)", [] { return convLevelToCode2047(0); }, 0},
        {"convPercentToCode2194(100)", [] { return convPercentToCode2194(100); }, 2194},
        {"convPercentToCode2194(1)", [] { return convPercentToCode2194(1); }, 22},
        {"convCodeToPercent2194(2194)", [] { return convCodeToPercent2194(2194); }, 100},
        {"convCodeToPercent2194(65535)", [] { return convCodeToPercent2194(65535); }, 2987},
        {"convCodeToPercent133(66)", [] { return convCodeToPercent133(66); }, 50},
        {"convCodeToPercent133(255)", [] { return convCodeToPercent133(255); }, 192},
        {"convPercentToCode133(100)", [] { return convPercentToCode133(100); }, 133},
        {"convPercentToCode133(200) keeps the low byte of 266", [] { return convPercentToCode133(200); }, 10},
    });
}

TEST(Conversions, DeviationScaledCodes)
{
    setFrequencyDeviation(75);
    checkRows({
        {"convDivByDeviation(75000)", [] { return convDivByDeviation(75000); }, 1000},
        {"convDivByDeviation(2000)", [] { return convDivByDeviation(2000); }, 27},
        {"convDivByDeviation(37)", [] { return convDivByDeviation(37); }, 0},
        {"convDivByDeviation(38)", [] { return convDivByDeviation(38); }, 1},
        {"convMulByDeviation(1000)", [] { return convMulByDeviation(1000); }, 75000},
        {"convMulByDeviation(1)", [] { return convMulByDeviation(1); }, 75},
        {"convMulDeviationScale(1000,1000)", [] { return convMulDeviationScale(1000, 1000); }, 282},
        {"convMulDeviationScale cut to 16 bits", [] { return convMulDeviationScale(65535, 65535); }, 35039},
        {"convDeviationRatioToCode(1000)", [] { return convDeviationRatioToCode(1000); }, 14419},
        {"convDeviationRatioToCode(1)", [] { return convDeviationRatioToCode(1); }, 14},
        {"convDeviationToCode(256,0)", [] { return convDeviationToCode(256, 0); }, 1000},
        {"convDeviationToCode(65535,0)", [] { return convDeviationToCode(65535, 0); }, 255996},
        {"convDeviationToCode(256,1)", [] { return convDeviationToCode(256, 1); }, 1000},
        {"convToDb(75000,1)", [] { return convToDb(75000, 1.0); }, 0},
        {"convToDb(7500,1)", [] { return convToDb(7500, 1.0); }, -20},
        {"convToDb(750000,1)", [] { return convToDb(750000, 1.0); }, 20},
        {"convToDb(1,1)", [] { return convToDb(1, 1.0); }, -98},
        {"convToDb(0,1)", [] { return convToDb(0, 1.0); }, -180},
    });
    // The deviation is read on every call.
    setFrequencyDeviation(100);
    checkRows({
        {"convDeviationToCode(256,1) at 100 kHz", [] { return convDeviationToCode(256, 1); }, 1333},
        {"convDeviationToCode(256,0) ignores it", [] { return convDeviationToCode(256, 0); }, 1000},
        {"convMulDeviationScale cut at 100 kHz", [] { return convMulDeviationScale(65535, 65535); }, 46718},
        {"convToDb(100000,1) at 100 kHz", [] { return convToDb(100000, 1.0); }, 0},
    });
    // No deviation configured: no division by zero.
    setFrequencyDeviation(0);
    EXPECT_EQ(convDivByDeviation(75000), 0);
    EXPECT_EQ(convToDb(75000, 1.0), -180);
    setFrequencyDeviation(75);
}

TEST(Conversions, GainsAndDecibels)
{
    checkRows({
        {"convDbToGain2048(120)", [] { return convDbToGain2048(120); }, 2048},
        {"convDbToGain2048(0)", [] { return convDbToGain2048(0); }, 8153},
        {"convDbToGain2048(200)", [] { return convDbToGain2048(200); }, 815},
        {"convGain2048ToDb(2048)", [] { return convGain2048ToDb(2048); }, 120},
        {"convGain2048ToDb(1024)", [] { return convGain2048ToDb(1024); }, 60},
        {"convGain2048ToDb(1)", [] { return convGain2048ToDb(1); }, -542},
        {"convGain2048ToDb(65535)", [] { return convGain2048ToDb(65535); }, 421},
        {"convGain2048ToDb(0) is the floor", [] { return convGain2048ToDb(0); }, INT16_MIN},
        {"convAttToGain2048(0)", [] { return convAttToGain2048(0); }, 2048},
        {"convAttToGain2048(60)", [] { return convAttToGain2048(60); }, 1026},
        {"convAttToGain2048(-60)", [] { return convAttToGain2048(-60); }, 4086},
        {"convGain2048ToAtt(2048)", [] { return convGain2048ToAtt(2048); }, 0},
        {"convGain2048ToAtt(1024)", [] { return convGain2048ToAtt(1024); }, -60},
        {"convGain2048ToAtt(0) is the floor", [] { return convGain2048ToAtt(0); }, INT16_MIN},
        {"convLinearToDb200(10)", [] { return convLinearToDb200(10.0f); }, 200},
        {"convLinearToDb200(1)", [] { return convLinearToDb200(1.0f); }, 0},
        {"convLinearToDb200(0.5)", [] { return convLinearToDb200(0.5f); }, -60},
        {"convLinearToDb200(0) is the floor", [] { return convLinearToDb200(0.0f); }, INT16_MIN},
    });
    EXPECT_FLOAT_EQ(convDb200ToLinear(0), 1.0f);
    EXPECT_FLOAT_EQ(convDb200ToLinear(200), 10.0f);
    EXPECT_FLOAT_EQ(convDb200ToLinear(-200), 0.1f);
}

TEST(Conversions, DelayAndPhaseWords)
{
    checkRows({
        {"convHzToFtw(20000000) clamps", [] { return convHzToFtw(20000000); }, 16384000},
        {"convHzToFtw(1000)", [] { return convHzToFtw(1000); }, 1638},
        {"convFtwToHz(16384000)", [] { return convFtwToHz(16384000); }, 10000000},
        {"convFtwToHz(1638)", [] { return convFtwToHz(1638); }, 1000},
        {"convDegToPhaseWord(400) clamps", [] { return convDegToPhaseWord(400); }, 862},
        {"convDegToPhaseWord(360)", [] { return convDegToPhaseWord(360); }, 862},
        {"convDegToPhaseWord(180)", [] { return convDegToPhaseWord(180); }, 431},
    });
}

TEST(Conversions, OperativeModeNames)
{
    const char* names[] = {"Not Detected", "Normal", "Bank Mismatch", "Fallback"};
    for (uint32_t m = 0; m < 4; m++)
        EXPECT_STREQ(getOperativeModeName(m), names[m]);
    EXPECT_STREQ(getOperativeModeName(7), "Not Detected");
    EXPECT_STREQ(getOperativeModeName(0xFFFFFFFFu), "Not Detected");
}
