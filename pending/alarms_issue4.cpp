// Stand-ins for the transmitter-logic configuration items.
#include "Config/configCycle.h"
#include "alarms/logicaTxConfig.h"

#include <atomic>

namespace {

struct PendingLogicState {
    std::atomic<uint32_t> selectWrite{0};
    std::atomic<uint32_t> swrFoldback{0};
};

PendingLogicState st;

} // namespace

void setSelectWriteBits(uint32_t bits, uint32_t flag)
{
    if ((flag & 255) == 1)
        st.selectWrite.fetch_or(bits);
    else
        st.selectWrite.fetch_and(~bits);
    markConfigChanged(0x2000);
}

int hasSelectWriteBits(uint32_t bits)
{
    return (st.selectWrite.load() & bits) == bits ? 1 : 0;
}

void setSWRFoldback(uint32_t value)
{
    if (st.swrFoldback.exchange(value) != value)
        markConfigChanged(0x2000);
}
