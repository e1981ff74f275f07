// Gain codes: arithmetic in double precision, rounded half away from zero,
// cut to the width of the result.
#include "core/base/gain2048.h"

#include "core/base/utils.h"

#include <cmath>

namespace {

// Rounded and truncated to a 64-bit integer, saturating far outside the
// range (the caller keeps the low bits its width holds).
int64_t roundAway(double d)
{
    d = roundHalfAway(d);
    if (std::isnan(d))
        return 0;
    if (d >= 9.2e18)
        return INT64_MAX;
    if (d <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(d);
}

} // namespace

uint16_t convDbToGain2048(int16_t v)
{
    return static_cast<uint16_t>(roundAway(pow(10.0, (120.0 - v) / 200.0) * 2048.0));
}

int16_t convGain2048ToDb(uint16_t g)
{
    // A gain of 0 is the lowest level there is.
    if (g == 0)
        return INT16_MIN;
    return static_cast<int16_t>(120 - roundAway(200.0 * log10(2048.0 / g)));
}

uint16_t convAttToGain2048(int16_t v)
{
    return static_cast<uint16_t>(roundAway(pow(10.0, -v / 200.0) * 2048.0));
}

int16_t convGain2048ToAtt(uint16_t g)
{
    if (g == 0)
        return INT16_MIN;
    return static_cast<int16_t>(0 - roundAway(200.0 * log10(2048.0 / g)));
}
