// Stand-in for the power settings' derating enable.
#include "Config/configCycle.h"
#include "power/powerSettings.h"

#include <atomic>

namespace {

std::atomic<uint8_t> deratingEnable{0};

} // namespace

void setPwrDeratingEnable(uint32_t flag)
{
    uint8_t v = static_cast<uint8_t>(flag & 255);
    if (deratingEnable.exchange(v) != v)
        markConfigChanged(0x2000);
}
