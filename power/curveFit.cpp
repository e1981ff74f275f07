// Table search, interpolation and curve fitting; the frequency power offset.
#include "power/curveFit.h"

#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "power/powerThresholds.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int bisection(const int32_t* t, int32_t v, uint32_t low, uint32_t high)
{
    if (low > high) {
        fprintf(stderr, "'Warning!  Function 'bisection' returned -10 because low > high.\n");
        return -10;
    }
    uint32_t mid = (low + high) / 2;
    int lo = static_cast<int>(low), hi = static_cast<int>(high);
    if (t[high] < t[low]) { // falling
        if (v > t[low])
            return lo - 1;
        if (v <= t[high])
            return hi + 1;
        if (high - low == 1)
            return lo;
        return t[mid] >= v ? bisection(t, v, mid, high) : bisection(t, v, low, mid);
    }
    if (v < t[low])
        return lo - 1;
    if (v >= t[high])
        return hi + 1;
    if (high - low == 1)
        return lo;
    return t[mid] <= v ? bisection(t, v, mid, high) : bisection(t, v, low, mid);
}

int interpolateLinear(const int32_t* y, const int32_t* x, uint32_t low, uint32_t n, int32_t v, int32_t* result,
                      int32_t* error)
{
    *error = 0;
    int j = bisection(y, v, low, n);
    int last = static_cast<int>(n);
    if (j >= 1 && j <= last - 1 && y[j + 1] != y[j]) {
        // 64-bit steps: detector counts times 10000 may leave 32 bits.
        int64_t f = 10000LL * (static_cast<int64_t>(y[j + 1]) - v) / (static_cast<int64_t>(y[j + 1]) - y[j]);
        *result = static_cast<int32_t>(((10000 - f) * x[j + 1] + f * x[j]) / 10000);
        return 0;
    }
    if (j == last + 1 && y[n] >= v) {
        *result = x[n];
        return 0;
    }
    return -1;
}

namespace {

// Index of the table point closest to x (the first of equals).
int closest(const float* xa, int n, float x)
{
    int ns = 1;
    float best = std::fabs(x - xa[1]);
    for (int i = 2; i <= n; i++) {
        float h = std::fabs(x - xa[i]);
        if (h < best) {
            ns = i;
            best = h;
        }
    }
    return ns;
}

} // namespace

int interpolateRational(float* xa, float* ya, int n, float* result, float* error, float x)
{
    constexpr float kTiny = 0.0001f;
    xa[0] = 0;
    ya[0] = 0;
    if (n < 1)
        return -1;
    std::vector<float> c(n + 1), d(n + 1);
    for (int i = 1; i <= n; i++) {
        if (x == xa[i]) {
            *result = ya[i];
            *error = 0;
            return 0;
        }
        c[i] = ya[i];
        d[i] = ya[i] + kTiny;
    }
    int ns = closest(xa, n, x);
    float y = ya[ns--];
    float dy = 0;
    for (int m = 1; m < n; m++) {
        for (int i = 1; i <= n - m; i++) {
            float w = c[i + 1] - d[i];
            float h = xa[i + m] - x;
            float t = (xa[i] - x) * d[i] / h;
            float dd = t - c[i + 1];
            if (dd == 0.0f)
                return -1;
            dd = w / dd;
            d[i] = c[i + 1] * dd;
            c[i] = t * dd;
        }
        dy = 2 * ns < n - m ? c[ns + 1] : d[ns--];
        y += dy;
    }
    *result = y;
    *error = dy;
    return 0;
}

int interpolatePolynomial(float* xa, float* ya, int n, float* result, float* error, float x)
{
    if (n < 1)
        return -1;
    std::vector<float> c(n + 1), d(n + 1);
    for (int i = 1; i <= n; i++)
        c[i] = d[i] = ya[i];
    int ns = closest(xa, n, x);
    float y = ya[ns--];
    float dy = 0;
    for (int m = 1; m < n; m++) {
        for (int i = 1; i <= n - m; i++) {
            float ho = xa[i] - x;
            float hp = xa[i + m] - x;
            float w = c[i + 1] - d[i];
            float den = ho - hp;
            if (den == 0.0f)
                return -1;
            den = w / den;
            d[i] = hp * den;
            c[i] = ho * den;
        }
        dy = 2 * ns < n - m ? c[ns + 1] : d[ns--];
        y += dy;
    }
    *result = y;
    *error = dy;
    return 0;
}

int interpolateBest(float* xa, float* ya, int n, float* result, float* error, float x)
{
    float yr = 0, er = 0, yp = 0, ep = 0;
    int rr = interpolateRational(xa, ya, n, &yr, &er, x);
    if (rr == 0 && std::fabs(er) < 0.2f) {
        *result = yr;
        *error = er;
        return 0;
    }
    int rp = interpolatePolynomial(xa, ya, n, &yp, &ep, x);
    if (rp == 0 && std::fabs(ep) < 15.0f) {
        *result = yp;
        *error = ep;
        return 0;
    }
    // The smaller error of the runs that gave a result; a failed run has
    // none to offer.
    bool rational = rr == 0 && (rp != 0 || std::fabs(er) < std::fabs(ep));
    if (rational) {
        *result = yr;
        *error = er;
    } else if (rp == 0) {
        *result = yp;
        *error = ep;
    }
    return rp;
}

int lineThroughPoints(float* y, float x, float x1, float x2, float y1, float y2)
{
    if (x2 == x1)
        return -1;
    float slope = (y2 - y1) / (x2 - x1);
    *y = slope * x + (y1 - slope * x1);
    return 0;
}

uint32_t swapBytes32(uint32_t v)
{
    return (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
}

namespace {

constexpr uint32_t kCentreHz = 98000000;
constexpr uint32_t kCentreKHz = 98000;

// offset x along the span toward `end`, never beyond it.
int offsetToward(int16_t end, double x)
{
    if (!(x > 0))
        return 0;
    int offset = static_cast<int>(end * x);
    if ((end < 0 && offset < end) || (end > 0 && offset > end))
        offset = end;
    return offset;
}

} // namespace

int adjustPowerOffsetForFreq(int recompute)
{
    uint32_t family = getAmpFamily();
    if (family == 0)
        return -1;
    uint32_t f = getOutputRFfrequency() + getFrequencyOffset() + getFrequencyCalibOffset();
    int offset = 0;
    if (f > kCentreHz)
        offset = offsetToward(getPowerOffsetLastFreq(), (f / 1000 - kCentreKHz) / 10000.0);
    else if (f < kCentreHz)
        offset = offsetToward(getPowerOffsetFirstFreq(), (kCentreKHz - f / 1000) / 10500.0);
    setFreqPowerOffset(static_cast<int16_t>(offset));
    // The sign is printed once, so -0.5 dB is not "0.-5".
    logInfo("Freq.changed: Adjust power offset to %s%d.%d\n", offset < 0 ? "-" : "", std::abs(offset) / 10,
            std::abs(offset) % 10);
    if (recompute) {
        if (family == 1) {
            calcOverPowerThreshold_VASK();
            calcRefPowerThreshold_VASK();
        } else if (family == 2) {
            calcOverPowerThreshold_TREL();
            calcRefPowerThreshold_TREL();
        }
    }
    return 0;
}
