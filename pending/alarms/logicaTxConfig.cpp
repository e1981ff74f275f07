// Stand-in for the transmitter-logic configuration items that other
// subsystems use: the unit is a plain exciter (functional type 11), and the
// Select_Write mask and the SWR foldback setting are kept in memory, marking
// group 0x2000 as their setters do.
#include "alarms/logicaTxConfig.h"

#include "Config/configCycle.h"

#include <atomic>

namespace {

struct PendingLogicState {
    std::atomic<uint32_t> selectWrite{0};
    std::atomic<uint32_t> swrFoldback{0};
    std::atomic<uint32_t> nplus1Mode{0};
};

PendingLogicState& st()
{
    static PendingLogicState s;
    return s;
}

} // namespace

uint32_t getFunctionalType()
{
    return 11;
}

void setSelectWriteBits(uint32_t bits, uint32_t flag)
{
    if ((flag & 255) == 1)
        st().selectWrite.fetch_or(bits);
    else
        st().selectWrite.fetch_and(~bits);
    markConfigChanged(0x2000);
}

int hasSelectWriteBits(uint32_t bits)
{
    return (st().selectWrite.load() & bits) == bits ? 1 : 0;
}

void setSWRFoldback(uint32_t value)
{
    if (st().swrFoldback.exchange(value) != value)
        markConfigChanged(0x2000);
}

// The functional type is no stored key yet: there is nothing to fix.
void LogicaTx_FixFunctionalType() {}

// The unit is no N+1 reserve until told otherwise.
uint32_t getNplus1Mode()
{
    return st().nplus1Mode.load();
}

void setNplus1Mode(uint32_t v)
{
    st().nplus1Mode = v;
}
