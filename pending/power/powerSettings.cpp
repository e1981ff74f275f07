// Stand-in for the unit's power limits: indices 500 and 630 by default
// (100 W and 2000 W), plain values that tests set through
// standInSetPowerLimits.
#include "power/powerSettings.h"

#include <atomic>

namespace {

struct PendingPowerState {
    std::atomic<int32_t> minIndex{500};
    std::atomic<int32_t> maxIndex{630};
};

PendingPowerState& st()
{
    static PendingPowerState s;
    return s;
}

} // namespace

int32_t getMinPowerIndex()
{
    return st().minIndex;
}

int32_t getMaxPowerIndex()
{
    return st().maxIndex;
}

void standInSetPowerLimits(int32_t minIndex, int32_t maxIndex)
{
    st().minIndex = minIndex;
    st().maxIndex = maxIndex;
}
