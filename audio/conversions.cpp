// Value conversions. All arithmetic is in double precision; "round" adds 0.5
// and truncates (the values are non-negative), and results are cut to the
// width of their type.
#include "audio/conversions.h"

#include "Config/keys/audioKeys.h"
#include "core/base/utils.h"

#include <algorithm>
#include <cmath>

namespace {

// A double as a 64-bit integer, truncated, saturating far outside the range
// (the caller then keeps the low bits its width holds).
int64_t toInt(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9.2e18)
        return INT64_MAX;
    if (d <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(d);
}

int64_t roundUp(double d)
{
    return toInt(d + 0.5);
}

int64_t roundAway(double d)
{
    return toInt(roundHalfAway(d));
}

double dev()
{
    return getFrequencyDeviation();
}

// Operative-mode names, four rows of 32 characters.
char operativeModeNames[4][32] = {"Not Detected", "Normal", "Bank Mismatch", "Fallback"};

} // namespace

uint16_t convLevelToCode2047(uint16_t x)
{
    return static_cast<uint16_t>(roundUp(std::min<double>(x, 8) * 2047.0 / 8.0));
}

uint16_t convCodeToPercent2194(uint16_t code)
{
    return static_cast<uint16_t>(roundUp(code * 100.0 / 2194.0));
}

uint16_t convPercentToCode2194(uint16_t percent)
{
    return static_cast<uint16_t>(roundUp(percent * 2194.0 / 100.0));
}

uint16_t convDivByDeviation(uint32_t x)
{
    // No deviation configured: no code rather than a division by zero.
    if (dev() == 0)
        return 0;
    return static_cast<uint16_t>(roundAway(x / (dev() * 1000.0) * 1000.0));
}

uint32_t convMulByDeviation(uint16_t x)
{
    return static_cast<uint32_t>(roundAway(dev() * 1000.0 * (x / 1000.0)));
}

uint16_t convCodeToPercent133(uint8_t code)
{
    return static_cast<uint16_t>(roundUp(code * 100.0 / 133.0));
}

uint8_t convPercentToCode133(uint16_t percent)
{
    return static_cast<uint8_t>(roundUp(percent * 133.0 / 100.0));
}

uint16_t convMulDeviationScale(uint16_t x, uint16_t y)
{
    return static_cast<uint16_t>(toInt(static_cast<double>(x) * y * dev() * 3.771e-06));
}

uint32_t convDeviationRatioToCode(uint16_t x)
{
    return static_cast<uint32_t>(toInt(x * 14.4195556640625 * dev() / 75.0));
}

uint32_t convDeviationToCode(uint16_t x, uint8_t flag)
{
    double v = flag ? x * dev() * 1000.0 : x * 75000.0;
    return static_cast<uint32_t>(toInt(v / 19200.0));
}

int32_t convToDb(uint32_t x, double reference)
{
    double full = dev() * reference * 1000.0;
    // No level, or no reference to measure it against.
    if (x == 0 || !(full > 0))
        return -180;
    return static_cast<int32_t>(std::clamp<int64_t>(toInt(floor(20.0 * log10(x / full) + 0.5)), INT32_MIN, INT32_MAX));
}

uint32_t convHzToFtw(uint32_t x)
{
    return static_cast<uint32_t>(roundUp(std::min<double>(x, 10000000) * 1.6384));
}

uint32_t convFtwToHz(uint32_t w)
{
    return static_cast<uint32_t>(roundUp(w / 1.6384));
}

uint32_t convDegToPhaseWord(uint32_t degrees)
{
    return static_cast<uint32_t>(roundUp(std::min<double>(degrees, 360) * 2.395322222));
}

float convDb200ToLinear(int16_t v)
{
    return static_cast<float>(pow(10.0, v / 200.0));
}

int16_t convLinearToDb200(float x)
{
    // No gain is the lowest level there is.
    if (!(x > 0))
        return INT16_MIN;
    return static_cast<int16_t>(roundHalfAwayF(static_cast<float>(200.0 * log10(static_cast<double>(x)))));
}

char* getOperativeModeName(uint32_t mode)
{
    return operativeModeNames[mode > 3 ? 0 : mode];
}

void notifyPortRecordA(uint8_t) {}

void notifyPortRecordB(uint8_t) {}
