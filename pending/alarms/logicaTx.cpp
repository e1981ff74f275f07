// Stand-in for the transmitter logic: no defaults of its own yet, nothing to
// start and nothing to run; the ON state, the power change, the lockout state
// and the summary flags are plain bytes (stand-by, no change, no lockout at
// start). The summary flags have no setter of the logic yet: tests write
// them through standInSetTxSummaryFlag.
#include "alarms/logicaTx.h"

void LogicaTx_SetDefaults() {}

void LogicaTx_Init() {}

void LogicaTx_Task() {}

namespace {

struct State {
    uint8_t txOn = 0;
    uint8_t powerChange = 0;
    uint8_t lockout = 0;
    uint8_t summary[4] = {};
};

State& st()
{
    static State s;
    return s;
}

} // namespace

uint8_t getTxOnState()
{
    return st().txOn;
}

void setTxOnState(uint8_t on)
{
    st().txOn = on;
}

void LogicaTx_SetTxStatus(uint8_t flag)
{
    st().powerChange = flag;
}

uint8_t LogicaTx_IsPowerChanging()
{
    return st().powerChange;
}

void LogicaTx_SetLockoutState(uint8_t state)
{
    st().lockout = state;
}

uint8_t LogicaTx_GetLockoutState()
{
    return st().lockout;
}

uint8_t LogicaTx_GetSummaryFlag(uint8_t n)
{
    return n >= 1 && n <= 3 ? st().summary[n] : 0;
}

void standInSetTxSummaryFlag(uint8_t n, uint8_t v)
{
    if (n >= 1 && n <= 3)
        st().summary[n] = v;
}
