// Stand-in for the transmitter logic: no defaults of its own yet, nothing to
// start and nothing to run; the ON state is a plain byte, stand-by at start.
#include "alarms/logicaTx.h"

void LogicaTx_SetDefaults() {}

void LogicaTx_Init() {}

void LogicaTx_Task() {}

namespace {

struct State {
    uint8_t txOn = 0;
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
