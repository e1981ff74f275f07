// Stand-in for the common helpers until they land.
#include "core/commonUtils.h"

namespace {

uint8_t stableCount = 0;

// Shifts a history one place towards its end, moving only non-zero entries,
// and puts the new value in front.
void push(uint32_t* hist, int n, uint32_t value)
{
    for (int i = n - 2; i >= 0; i--)
        if (hist[i] != 0)
            hist[i + 1] = hist[i];
    hist[0] = value;
}

uint32_t mean(const uint32_t* hist, int n)
{
    uint64_t sum = 0;
    for (int i = 0; i < n; i++)
        sum += hist[i];
    return static_cast<uint32_t>(sum / static_cast<uint64_t>(n));
}

} // namespace

int computeLinearRegression(uint32_t sample, int n, uint32_t* hist1, uint32_t* avg1, uint32_t* hist2, int m)
{
    push(hist1, n, sample);
    if (hist1[n - 1] == 0) {
        *avg1 = sample;
        return 0;
    }
    *avg1 = mean(hist1, n);
    if (!hist2)
        return 0;
    push(hist2, m, *avg1);
    if (hist2[m - 1] != 0) {
        int64_t d = static_cast<int64_t>(mean(hist2, m)) - *avg1;
        if (d >= -300 && d <= 300) {
            stableCount++;
            return stableCount > 7 ? 1 : 0;
        }
    }
    stableCount = 0;
    return 0;
}
