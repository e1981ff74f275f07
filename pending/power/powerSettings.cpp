// Stand-in for the derating enable of the power settings: the byte is kept
// in memory and a change marks group 0x2000; no derating is applied.
#include "power/powerSettings.h"

#include "Config/configCycle.h"

#include <atomic>

namespace {

struct PendingPowerState {
    std::atomic<uint8_t> deratingEnable{0};
};

PendingPowerState& st()
{
    static PendingPowerState s;
    return s;
}

} // namespace

void setPwrDeratingEnable(uint32_t flag)
{
    uint8_t v = static_cast<uint8_t>(flag & 255);
    if (st().deratingEnable.exchange(v) != v)
        markConfigChanged(0x2000);
}
